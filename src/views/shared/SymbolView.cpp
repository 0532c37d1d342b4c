#include "views/shared/SymbolView.h"

#include <QPainter>

#include "views/shared/SymbolIcons.h"

SymbolView::SymbolView(const QString& name, double size, const QColor& color, QWidget* parent)
    : QWidget(parent), m_name(name), m_size(size), m_color(color) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

bool SymbolView::hasGlyph() const {
    return SymbolIcons::contains(m_name);
}

void SymbolView::setName(const QString& name) {
    if (name != m_name) {
        m_name = name;
        update();
    }
}

void SymbolView::setColor(const QColor& color) {
    if (color != m_color) {
        m_color = color;
        update();
    }
}

QSize SymbolView::sizeHint() const {
    // Material glyphs are square em boxes; a symbol takes a little more than its font size.
    const int side = qRound(m_size * 1.2);
    return {side, side};
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    SymbolIcons::paint(painter, QRectF(rect()), m_name, m_color, m_size * 1.15);
}
