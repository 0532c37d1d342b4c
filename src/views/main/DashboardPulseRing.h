#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QWidget>
#include <memory>

class Scheduler;
class Timer;

// The ring round the power button. While pulsing it grows from 1.0 to 1.8 times the button's
// size and fades from 0.8 to 0 opacity, once every 1.3 s, easing out. It shows only in the active
// status; otherwise it is invisible, pulsing or not. It does not take clicks.
//
// A pulse must cost next to nothing while the dashboard is open:
// - it is drawn as 21 frames, one per pixel of growth of the radius (finer steps cannot be seen),
//   each woken by a timer when the eased progress reaches it, rather than on every display tick;
// - while it pulses the ring is opaque and lies over the button, so a frame repaints this small
//   square alone, never the card, its shadow or the button (their antialiased fills each wake the
//   toolkit's fill threads: drawn beneath every frame, they made a pulse cost four times as much).
//   It draws a picture of what lies beneath it with the ring on top, and keeps each frame it drew,
//   so that after the first pulse a frame is a copy. The picture is taken on a later turn of the
//   main loop, never inside a paint event, and again after `invalidateBackdrop()`. Until it is
//   taken, and whenever the ring does not pulse, the ring is transparent and the toolkit draws
//   what lies beneath it.
// The ring is drawn over the button's disc, not under it: both are the status colour at low
// opacity, which blend the same in either order, and the symbol lies inside the ring.
class DashboardPulseRing : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDiameter = 52;
    static constexpr double kMaxScale = 1.8;
    static constexpr int kDurationMs = 1300;
    static constexpr int kFramesPerPulse = 21;

    DashboardPulseRing(Scheduler& scheduler, QWidget* parent = nullptr);
    ~DashboardPulseRing() override;

    void setColor(const QColor& color);
    void setActive(bool active);
    bool isActive() const { return m_active; }

    // True starts the repeating animation from its beginning; false stops it at rest at once.
    void setPulsing(bool pulsing);
    bool isPulsing() const { return m_pulsing; }
    bool isAnimating() const;

    // The eased progress of the current pulse, 0 to 1.
    double progress() const { return m_progress; }
    void setProgress(double progress);
    // The ease-out curve of a pulse: eased progress for the fraction of its 1.3 s gone.
    static double eased(double time);

    // The ring's current look: scale about its centre and opacity.
    double scale() const;
    double ringOpacity() const;

    // Keeps the ring centred on `center` (in the parent's coordinates).
    void centerOn(const QPoint& center);

    // What lies beneath changed (the card's look, the button, the layout): take a new picture of it
    // on a later turn, and draw through to what lies beneath until then.
    void invalidateBackdrop();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void tick();
    void stopTicking();
    void dropBackdrop();
    void requestBackdrop();
    void captureBackdrop();
    const QImage& frame();
    void paintRing(QPainter& painter) const;
    // The frame the progress shows; -1 when no ring is drawn.
    int frameIndex() const;

    Scheduler& m_scheduler;
    QColor m_color;
    bool m_active = false;
    bool m_pulsing = false;
    double m_progress = 0;
    QElapsedTimer m_clock;  // since the first pulse began
    std::shared_ptr<Timer> m_timer;
    QImage m_backdrop;
    QHash<int, QImage> m_frames;  // by frame index; cleared with the backdrop and the colour
    bool m_capturing = false;
    bool m_capturePending = false;
};
