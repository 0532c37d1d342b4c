#pragma once

#include <QAbstractButton>
#include <QColor>

// The power button's face: a 52-point disc in the status colour at 0.12 with the status symbol on
// it. Borderless; the ring behind it is a separate widget (it grows past the button's bounds).
class DashboardPowerButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit DashboardPowerButton(QWidget* parent = nullptr);

    void setLook(const QString& symbol, const QColor& color);
    const QString& symbol() const { return m_symbol; }
    QColor color() const { return m_color; }

    QSize sizeHint() const override { return {52, 52}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
    QColor m_color;
};
