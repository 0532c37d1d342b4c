#include "views/shared/KeyChip.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

#include "views/shared/Style.h"

KeyChip::KeyChip(const QString& key, QWidget* parent) : QWidget(parent), m_key(key) {
    setFont(Style::font(11, QFont::Medium, true));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize KeyChip::sizeHint() const {
    const QFontMetricsF metrics(font());
    const double width = metrics.horizontalAdvance(m_key) + 2 * kHorizontalPadding;
    const double height = metrics.height() + 2 * kVerticalPadding;
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height))};
}

void KeyChip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Style::paintCapsule(painter, QRectF(rect()), Style::thinMaterial(), Style::withOpacity(Qt::white, 0.4), 0.5);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font());
    painter.setPen(Style::primary());
    painter.drawText(QRectF(rect()), Qt::AlignCenter | Qt::TextSingleLine, m_key);
}
