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
    if (symbol == m_symbol && color == m_color) {
        return;  // the dashboard restates its status at every refresh
    }
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
    SymbolIcons::paint(painter, QRectF(rect()), m_symbol, isDown() ? m_color.darker(130) : m_color, 22 * 1.15);
}
