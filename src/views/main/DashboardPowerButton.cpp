#include "views/main/DashboardPowerButton.h"

#include <QPainter>

#include "views/shared/Style.h"
#include "views/shared/SymbolIcons.h"

DashboardPowerButton::DashboardPowerButton(QWidget* parent) : QAbstractButton(parent) {
    setFixedSize(52, 52);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void DashboardPowerButton::setLook(const QString& symbol, const QColor& color) {
    m_symbol = symbol;
    m_color = color;
    update();
}

void DashboardPowerButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Style::withOpacity(m_color, 0.12));
    painter.drawEllipse(QRectF(rect()));
    if (const auto glyph = SymbolIcons::glyph(m_symbol)) {
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(SymbolIcons::font(22 * 1.15));
        painter.setPen(isDown() ? m_color.darker(130) : m_color);
        painter.drawText(QRectF(rect()), Qt::AlignCenter, QString(*glyph));
    }
}
