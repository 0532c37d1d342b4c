#pragma once

#include <QWidget>

class QVariantAnimation;

// The platform's spinning progress indicator: twelve spokes fading round a circle, turning while
// the widget is shown. Purely decorative; it takes no clicks.
class ActivitySpinner : public QWidget {
    Q_OBJECT
public:
    // `diameter` in points (the regular indicator is 32).
    explicit ActivitySpinner(int diameter = 32, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    bool isSpinning() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_diameter;
    int m_phase = 0;
    QVariantAnimation* m_animation = nullptr;
};
