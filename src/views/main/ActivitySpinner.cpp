#include "views/main/ActivitySpinner.h"

#include <QPainter>
#include <QVariantAnimation>

#include "views/shared/Style.h"

namespace {
constexpr int kSpokes = 12;
}

ActivitySpinner::ActivitySpinner(int diameter, QWidget* parent) : QWidget(parent), m_diameter(diameter) {
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_animation = new QVariantAnimation(this);
    m_animation->setStartValue(0);
    m_animation->setEndValue(kSpokes);
    m_animation->setDuration(1000);
    m_animation->setLoopCount(-1);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const int phase = value.toInt() % kSpokes;
        if (phase != m_phase) {
            m_phase = phase;
            update();
        }
    });
}

QSize ActivitySpinner::sizeHint() const {
    return {m_diameter, m_diameter};
}

bool ActivitySpinner::isSpinning() const {
    return m_animation->state() == QAbstractAnimation::Running;
}

void ActivitySpinner::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_animation->start();
}

void ActivitySpinner::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_animation->stop();
}

void ActivitySpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const double radius = m_diameter / 2.0;
    const double spokeWidth = std::max(2.0, m_diameter / 11.0);
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at the current phase is darkest; the ones behind it fade out.
        const int age = (m_phase - i + kSpokes) % kSpokes;
        QPen pen(Style::withOpacity(Style::primary(), 0.75 - 0.55 * age / (kSpokes - 1)));
        pen.setWidthF(spokeWidth);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        painter.save();
        painter.rotate(i * 360.0 / kSpokes);
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius + spokeWidth / 2));
        painter.restore();
    }
}
