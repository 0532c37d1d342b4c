#include "views/shared/DropShadow.h"

#include <QEvent>
#include <QGraphicsBlurEffect>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QPainter>
#include <cmath>

DropShadow::DropShadow(QWidget* target, const QColor& color, double blurRadius, double offsetY, double cornerRadius)
    : QWidget(target->parentWidget()),
      m_target(target),
      m_color(color),
      m_blurRadius(blurRadius),
      m_offsetY(offsetY),
      m_cornerRadius(cornerRadius) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    target->installEventFilter(this);
    connect(target, &QObject::destroyed, this, [this] {
        hide();
        deleteLater();
    });
    follow();
}

void DropShadow::setColor(const QColor& color) {
    if (color != m_color) {
        m_color = color;
        m_image = QImage();
        update();
    }
}

void DropShadow::setShapeOpacity(double opacity) {
    if (opacity != m_shapeOpacity) {
        m_shapeOpacity = opacity;
        m_image = QImage();
        update();
    }
}

int DropShadow::margin() const {
    return static_cast<int>(std::ceil(m_blurRadius + std::abs(m_offsetY)));
}

void DropShadow::follow() {
    if (!m_target) {
        return;
    }
    QWidget* parent = m_target->parentWidget();
    if (parentWidget() != parent) {
        setParent(parent);
    }
    if (!parent || m_target->isWindow()) {
        hide();
        return;
    }
    const int m = margin();
    const QRect frame = m_target->geometry().adjusted(-m, -m, m, m);
    if (frame.size() != size()) {
        m_image = QImage();
    }
    setGeometry(frame);
    stackUnder(m_target);
    setVisible(!m_target->isHidden());
}

bool DropShadow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_target) {
        switch (event->type()) {
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::Show:
            case QEvent::Hide:
            case QEvent::ParentChange:
            case QEvent::ZOrderChange:
                follow();
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QImage DropShadow::render() const {
    const qreal ratio = devicePixelRatioF();
    const int m = margin();
    const QRectF body = QRectF(rect()).adjusted(m, m, -m, -m);  // where the widget lies
    QImage shape(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    shape.fill(Qt::transparent);
    {
        QPainter painter(&shape);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(ratio, ratio);
        painter.setPen(Qt::NoPen);
        QColor shade = m_color;
        shade.setAlphaF(m_color.alphaF() * m_shapeOpacity);
        painter.setBrush(shade);
        painter.drawRoundedRect(body.translated(0, m_offsetY), m_cornerRadius, m_cornerRadius);
    }
    // Blurred once, with the same filter the toolkit's shadow effect uses.
    QGraphicsScene scene;
    QGraphicsPixmapItem* item = scene.addPixmap(QPixmap::fromImage(shape));
    auto* blur = new QGraphicsBlurEffect;
    blur->setBlurRadius(m_blurRadius * ratio);
    blur->setBlurHints(QGraphicsBlurEffect::QualityHint);
    item->setGraphicsEffect(blur);
    QImage out(shape.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    {
        QPainter painter(&out);
        const QRectF area(QPointF(), QSizeF(shape.size()));
        scene.render(&painter, area, area);
        // The shadow lies outside the widget: a translucent widget would otherwise show its blurred
        // middle through the fill, darker inside than along the edges.
        painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(ratio, ratio);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawRoundedRect(body, m_cornerRadius, m_cornerRadius);
    }
    out.setDevicePixelRatio(ratio);
    return out;
}

void DropShadow::paintEvent(QPaintEvent*) {
    if (m_image.isNull() || m_image.size() != size() * devicePixelRatioF()) {
        m_image = render();
    }
    QPainter painter(this);
    painter.drawImage(QPointF(), m_image);
}
