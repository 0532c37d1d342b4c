#include "views/main/DashboardPulseRing.h"

#include <QEasingCurve>
#include <QEvent>
#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <array>
#include <cmath>

#include "platform/Scheduler.h"
#include "views/shared/Style.h"

namespace {

// The fraction of a pulse's time at which each frame begins to show (the eased progress reaches
// the middle between it and the frame before), and 1 for the end of the pulse.
const std::array<double, DashboardPulseRing::kFramesPerPulse + 1>& frameTimes() {
    static const auto times = [] {
        std::array<double, DashboardPulseRing::kFramesPerPulse + 1> out{};
        for (int k = 0; k < DashboardPulseRing::kFramesPerPulse; ++k) {
            const double target = (k + 0.5) / DashboardPulseRing::kFramesPerPulse;
            double low = 0;
            double high = 1;
            for (int i = 0; i < 40; ++i) {
                const double mid = (low + high) / 2;
                (DashboardPulseRing::eased(mid) < target ? low : high) = mid;
            }
            out[k] = high;
        }
        out.back() = 1.0;
        return out;
    }();
    return times;
}

}  // namespace

DashboardPulseRing::DashboardPulseRing(Scheduler& scheduler, QWidget* parent)
    : QWidget(parent), m_scheduler(scheduler) {
    const int side = static_cast<int>(std::ceil(kDiameter * kMaxScale)) + 2;
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

DashboardPulseRing::~DashboardPulseRing() {
    stopTicking();
}

double DashboardPulseRing::eased(double time) {
    // The Mac's ease-out timing curve.
    static const QEasingCurve easeOut = [] {
        QEasingCurve curve(QEasingCurve::BezierSpline);
        curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
        return curve;
    }();
    return easeOut.valueForProgress(std::clamp(time, 0.0, 1.0));
}

void DashboardPulseRing::setColor(const QColor& color) {
    if (color != m_color) {
        m_color = color;
        m_frames.clear();
        update();
    }
}

void DashboardPulseRing::invalidateBackdrop() {
    dropBackdrop();
    requestBackdrop();
}

void DashboardPulseRing::dropBackdrop() {
    m_backdrop = QImage();
    m_frames.clear();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    update();
}

void DashboardPulseRing::requestBackdrop() {
    if (!m_pulsing || m_capturePending || !m_backdrop.isNull()) {
        return;
    }
    m_capturePending = true;
    QPointer<DashboardPulseRing> self(this);
    m_scheduler.post([self] {
        if (self) {
            self->m_capturePending = false;
            self->captureBackdrop();
        }
    });
}

void DashboardPulseRing::setActive(bool active) {
    if (active != m_active) {
        m_active = active;
        update();
    }
}

void DashboardPulseRing::setPulsing(bool pulsing) {
    stopTicking();
    m_pulsing = pulsing;
    m_progress = 0;
    if (pulsing) {
        m_clock.start();
        requestBackdrop();
        tick();
    } else {
        dropBackdrop();  // at rest the ring is drawn once: no picture to keep up to date
    }
    update();
}

bool DashboardPulseRing::isAnimating() const {
    return m_timer && m_timer->isValid();
}

void DashboardPulseRing::stopTicking() {
    if (m_timer) {
        m_timer->invalidate();
        m_timer.reset();
    }
}

void DashboardPulseRing::tick() {
    // Time comes from the clock, not from counting ticks, so a late tick never stretches a pulse.
    const double elapsed = m_clock.nsecsElapsed() / 1e6 / kDurationMs;
    const double time = elapsed - std::floor(elapsed);
    setProgress(eased(time));
    const auto& times = frameTimes();
    const double next = *std::upper_bound(times.begin(), times.end() - 1, time);
    const double delay = std::max(0.001, (next - time) * kDurationMs / 1000.0);
    QPointer<DashboardPulseRing> self(this);
    m_timer = m_scheduler.scheduleTimer(delay, false, [self] {
        if (self) {
            self->tick();
        }
    });
}

void DashboardPulseRing::setProgress(double progress) {
    const int shown = frameIndex();
    m_progress = progress;
    if (frameIndex() != shown) {
        // Drawn now rather than on a later turn: a frame then costs one wake-up, not two.
        if (isVisible()) {
            repaint();
        } else {
            update();
        }
    }
}

int DashboardPulseRing::frameIndex() const {
    if (ringOpacity() <= 0) {
        return -1;
    }
    return m_pulsing ? qRound(m_progress * kFramesPerPulse) : 0;
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

void DashboardPulseRing::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        invalidateBackdrop();
    }
}

void DashboardPulseRing::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    invalidateBackdrop();
}

void DashboardPulseRing::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    invalidateBackdrop();
}

void DashboardPulseRing::captureBackdrop() {
    // Never from inside a paint event: rendering an ancestor there repaints this ring recursively.
    if (!m_pulsing || !isVisible() || !m_backdrop.isNull()) {
        return;
    }
    // The nearest ancestor that fills its own background draws what lies beneath this square, with
    // this ring left out (transparent while it has no picture, so the ancestor draws beneath it).
    // Widgets above that ancestor, such as an overlay over the whole window, stay out of the
    // picture: they are drawn over the ring anyway.
    QWidget* base = parentWidget();
    while (base && !base->isWindow() && !base->autoFillBackground()) {
        base = base->parentWidget();
    }
    if (!base) {
        base = this;
    }
    const qreal ratio = devicePixelRatioF();
    QImage image(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(base->palette().color(base->backgroundRole()));
    const QRect area(mapTo(base, QPoint()), size());
    m_capturing = true;
    base->render(&image, QPoint(), QRegion(area), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    m_capturing = false;
    m_backdrop = image;
    setAttribute(Qt::WA_OpaquePaintEvent);
}

const QImage& DashboardPulseRing::frame() {
    const int index = frameIndex();
    if (const auto it = m_frames.constFind(index); it != m_frames.constEnd()) {
        return it.value();
    }
    QImage image = m_backdrop;
    image.detach();
    QPainter painter(&image);
    paintRing(painter);
    painter.end();
    return m_frames.insert(index, image).value();
}

void DashboardPulseRing::paintRing(QPainter& painter) const {
    const int index = frameIndex();
    if (index < 0) {
        return;
    }
    // Drawn at the frame's own progress, so that a kept frame looks the same whoever drew it first.
    const double progress = m_pulsing ? double(index) / kFramesPerPulse : 0.0;
    const double ringScale = 1.0 + (kMaxScale - 1.0) * progress;
    const double opacity = 0.8 * (1.0 - progress);
    if (opacity <= 0) {
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity);
    QPen pen(Style::withOpacity(m_color, 0.4));
    const double lineWidth = 2 * ringScale;
    pen.setWidthF(lineWidth);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // Stroked inside the circle's bounds, the whole drawing scaled about the centre.
    const double diameter = kDiameter * ringScale;
    const QPointF c = QRectF(rect()).center();
    const double r = (diameter - lineWidth) / 2;
    painter.drawEllipse(c, r, r);
}

void DashboardPulseRing::paintEvent(QPaintEvent*) {
    if (m_capturing) {
        return;
    }
    QPainter painter(this);
    if (m_backdrop.isNull()) {
        paintRing(painter);  // transparent: the toolkit drew what lies beneath
    } else {
        painter.drawImage(QPointF(), frameIndex() < 0 ? m_backdrop : frame());
    }
}
