#include "views/main/DashboardPulseRing.h"

#include <QEasingCurve>
#include <QPainter>
#include <QPropertyAnimation>
#include <cmath>

#include "views/shared/Style.h"

DashboardPulseRing::DashboardPulseRing(QWidget* parent) : QWidget(parent) {
    const int side = static_cast<int>(std::ceil(kDiameter * kMaxScale)) + 2;
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);

    m_animation = new QPropertyAnimation(this, "progress", this);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    m_animation->setDuration(kDurationMs);
    m_animation->setLoopCount(-1);
    // The Mac's ease-out timing curve.
    QEasingCurve easeOut(QEasingCurve::BezierSpline);
    easeOut.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    m_animation->setEasingCurve(easeOut);
}

void DashboardPulseRing::setColor(const QColor& color) {
    m_color = color;
    update();
}

void DashboardPulseRing::setActive(bool active) {
    m_active = active;
    update();
}

void DashboardPulseRing::setPulsing(bool pulsing) {
    m_pulsing = pulsing;
    m_animation->stop();
    m_progress = 0;
    if (pulsing) {
        m_animation->start();
    }
    update();
}

bool DashboardPulseRing::isAnimating() const {
    return m_animation->state() == QAbstractAnimation::Running;
}

void DashboardPulseRing::setProgress(double progress) {
    m_progress = progress;
    update();
}

double DashboardPulseRing::scale() const {
    return m_pulsing ? 1.0 + (kMaxScale - 1.0) * m_progress : 1.0;
}

double DashboardPulseRing::ringOpacity() const {
    if (!m_active) {
        return 0;
    }
    return m_pulsing ? 0.8 * (1.0 - m_progress) : 0.8;
}

void DashboardPulseRing::centerOn(const QPoint& center) {
    move(center - rect().center());
}

void DashboardPulseRing::paintEvent(QPaintEvent*) {
    const double opacity = ringOpacity();
    if (opacity <= 0) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity);
    QPen pen(Style::withOpacity(m_color, 0.4));
    const double lineWidth = 2 * scale();
    pen.setWidthF(lineWidth);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // Stroked inside the circle's bounds, the whole drawing scaled about the centre.
    const double diameter = kDiameter * scale();
    const QPointF c = QRectF(rect()).center();
    const double r = (diameter - lineWidth) / 2;
    painter.drawEllipse(c, r, r);
}
