#include "views/shared/Card.h"

#include <QPainter>

#include "views/shared/DropShadow.h"
#include "views/shared/Style.h"

Card::Card(QWidget* parent) : QWidget(parent) {
    init(Style::controlBackground(), Style::withOpacity(Qt::black, 0.05));
}

Card::Card(const QColor& tint, double fillOpacity, double shadowOpacity, QWidget* parent)
    : QWidget(parent), m_fillOpacity(fillOpacity), m_shadowOpacity(shadowOpacity) {
    init(Style::withOpacity(tint, fillOpacity), Style::withOpacity(tint, shadowOpacity));
}

void Card::init(const QColor& fill, const QColor& shadow) {
    m_fill = fill;
    m_shadow = Style::applyShadow(this, shadow, 4, 2, m_radius);
    m_shadow->setShapeOpacity(fill.alphaF());
}

void Card::setTint(const QColor& tint) {
    const QColor previous = m_fill;
    m_fill = Style::withOpacity(tint, m_fillOpacity);
    if (m_shadow) {
        m_shadow->setColor(Style::withOpacity(tint, m_shadowOpacity));
    }
    if (m_fill != previous) {
        update();
    }
}

QColor Card::shadowColor() const {
    return m_shadow ? m_shadow->color() : QColor();
}

void Card::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Style::paintRoundedRect(painter, QRectF(rect()), m_radius, m_fill);
}
