#pragma once

#include <QColor>
#include <QWidget>

class QPropertyAnimation;

// The ring behind the power button. While pulsing it grows from 1.0 to 1.8 times the button's
// size and fades from 0.8 to 0 opacity, once every 1.3 s, easing out. It shows only in the active
// status; otherwise it is invisible, pulsing or not. It does not take clicks.
class DashboardPulseRing : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double progress READ progress WRITE setProgress)
public:
    static constexpr int kDiameter = 52;
    static constexpr double kMaxScale = 1.8;
    static constexpr int kDurationMs = 1300;

    explicit DashboardPulseRing(QWidget* parent = nullptr);

    void setColor(const QColor& color);
    void setActive(bool active);
    bool isActive() const { return m_active; }

    // True starts the repeating animation from its beginning; false stops it at rest at once.
    void setPulsing(bool pulsing);
    bool isPulsing() const { return m_pulsing; }
    bool isAnimating() const;

    double progress() const { return m_progress; }
    void setProgress(double progress);

    // The ring's current look: scale about its centre and opacity.
    double scale() const;
    double ringOpacity() const;

    // Keeps the ring centred on `center` (in the parent's coordinates).
    void centerOn(const QPoint& center);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
    bool m_active = false;
    bool m_pulsing = false;
    double m_progress = 0;
    QPropertyAnimation* m_animation = nullptr;
};
