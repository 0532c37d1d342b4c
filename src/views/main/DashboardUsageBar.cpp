#include "views/main/DashboardUsageBar.h"

#include <QPainter>

#include "views/main/DashboardInsights.h"
#include "views/shared/Style.h"

DashboardUsageBar::DashboardUsageBar(qint64 count, qint64 maximum, QWidget* parent)
    : QWidget(parent), m_count(count), m_maximum(maximum) {
    setFixedHeight(5);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

double DashboardUsageBar::fillWidth() const {
    return DashboardInsights::fillWidth(width(), m_count, m_maximum);
}

void DashboardUsageBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF track(rect());
    Style::paintRoundedRect(painter, track, 3, Style::withOpacity(Style::accent(), 0.1));
    const double fill = fillWidth();
    if (fill > 0) {
        Style::paintRoundedRect(painter, QRectF(0, 0, fill, track.height()), 3, Style::accent());
    }
}
