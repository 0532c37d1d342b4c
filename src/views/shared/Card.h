#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>

class DropShadow;

// The background of the dashboard's cards: a rounded rectangle with a soft shadow below it. The
// standard card is the control background with a faint black shadow; tinted cards use one colour
// for both at their own opacities. Content goes in a layout set on the card by its owner.
class Card : public QWidget {
    Q_OBJECT
public:
    // The standard card: corner radius 12, control background, black shadow at 0.05.
    explicit Card(QWidget* parent = nullptr);
    // A tinted card: `tint` at `fillOpacity` inside, its shadow `tint` at `shadowOpacity`.
    Card(const QColor& tint, double fillOpacity, double shadowOpacity, QWidget* parent = nullptr);

    void setTint(const QColor& tint);
    QColor fill() const { return m_fill; }
    QColor shadowColor() const;
    double radius() const { return m_radius; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void init(const QColor& fill, const QColor& shadow);

    QColor m_fill;
    double m_fillOpacity = 1.0;
    double m_shadowOpacity = 0.05;
    double m_radius = 12;
    QPointer<DropShadow> m_shadow;
};
