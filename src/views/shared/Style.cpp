#include "views/shared/Style.h"

#include "views/shared/DropShadow.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPushButton>

QColor Style::primary() {
    return QApplication::palette().color(QPalette::WindowText);
}

QColor Style::secondary() {
    // The dimmed label colour is the normal one at half strength, as on the Mac.
    return withOpacity(primary(), 0.5);
}

QColor Style::accent() {
    return QColor(0, 122, 255);
}
QColor Style::green() {
    return QColor(52, 199, 89);
}
QColor Style::orange() {
    return QColor(255, 149, 0);
}
QColor Style::red() {
    return QColor(255, 59, 48);
}

QColor Style::controlBackground() {
    return QApplication::palette().color(QPalette::Base);
}
QColor Style::windowBackground() {
    return QApplication::palette().color(QPalette::Window);
}

QColor Style::thinMaterial() {
    // No backdrop blur here: a light veil of the label colour reads the same on cards and rows.
    return withOpacity(primary(), 0.07);
}

QColor Style::withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return color;
}

QFont Style::font(int size, QFont::Weight weight, bool monospaced) {
    QFont f = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QApplication::font();
    if (monospaced) {
        f.setStyleHint(QFont::Monospace);
    }
    f.setPixelSize(size);
    f.setWeight(weight);
    return f;
}

QLabel* Style::label(const QString& text, const QFont& font, const QColor& color, QWidget* parent, bool wrap) {
    auto* l = new QLabel(text, parent);
    // Texts are shown verbatim: never interpreted as rich text or mnemonics.
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    l->setWordWrap(wrap);
    setLabelColor(l, color);
    return l;
}

void Style::setLabelColor(QLabel* label, const QColor& color) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Text, color);
    label->setPalette(p);
}

namespace {
QString css(const QColor& c) {
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}
}  // namespace

QPushButton* Style::prominentButton(const QString& title, const QColor& tint, bool small, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setFont(font(small ? 11 : 13, QFont::Medium));
    button->setCursor(Qt::PointingHandCursor);
    const QColor pressed = tint.darker(120);
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: white; border: none;"
                                         " border-radius: %2px; padding: %3px %4px; }"
                                         "QPushButton:pressed { background-color: %5; }"
                                         "QPushButton:disabled { background-color: %6; }")
                              .arg(css(tint))
                              .arg(small ? 5 : 6)
                              .arg(small ? 2 : 5)
                              .arg(small ? 8 : 14)
                              .arg(css(pressed), css(withOpacity(tint, 0.4))));
    return button;
}

QPushButton* Style::plainButton(const QString& title, const QFont& buttonFont, const QColor& color, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setFlat(true);
    button->setFont(buttonFont);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; border: none; padding: 0px; background: transparent; }")
            .arg(css(color)));
    return button;
}

void Style::paintRoundedRect(QPainter& painter, const QRectF& rect, double radius, const QColor& fill) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(rect, radius, radius);
    painter.restore();
}

DropShadow* Style::applyShadow(QWidget* widget, const QColor& color, double radius, double offsetY,
                               double cornerRadius) {
    // The blur here spreads about half as far as the Mac's shadow radius.
    return new DropShadow(widget, color, radius * 2, offsetY, cornerRadius);
}

void Style::paintCapsule(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& outline,
                         double outlineWidth) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double radius = rect.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(rect, radius, radius);
    if (outline.isValid() && outlineWidth > 0) {
        QPen pen(outline);
        pen.setWidthF(outlineWidth);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        // The stroke straddles the edge; keep its outer half inside the widget.
        const QRectF edge = rect.adjusted(outlineWidth / 2, outlineWidth / 2, -outlineWidth / 2, -outlineWidth / 2);
        painter.drawRoundedRect(edge, edge.height() / 2, edge.height() / 2);
    }
    painter.restore();
}
