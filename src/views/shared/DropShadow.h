#pragma once

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QWidget>

// A soft shadow round a widget with rounded corners, drawn only outside the widget's shape. It is
// a sibling placed just below the widget that draws an image blurred once per size and colour. A
// QGraphicsEffect would instead render the widget and blur it again on every repaint of anything
// inside it, so an animation in a shadowed card would cost the whole card each frame; here it costs
// only its own rect.
class DropShadow : public QWidget {
    Q_OBJECT
public:
    // Follows `target` (its parent, geometry, visibility and stacking) and goes with it.
    // `blurRadius` and `offsetY` in points; the colour carries the shadow's opacity.
    DropShadow(QWidget* target, const QColor& color, double blurRadius, double offsetY, double cornerRadius);

    void setColor(const QColor& color);
    QColor color() const { return m_color; }
    // The opacity of the widget's own fill: a translucent widget casts a fainter shadow.
    void setShapeOpacity(double opacity);
    QWidget* target() const { return m_target; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();
    QImage render() const;
    int margin() const;

    QPointer<QWidget> m_target;
    QColor m_color;
    double m_blurRadius;
    double m_offsetY;
    double m_cornerRadius;
    double m_shapeOpacity = 1.0;
    QImage m_image;  // empty until drawn, and after a change of size or colour
};
