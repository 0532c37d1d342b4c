#include "views/main/ReportIssueKeyChip.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <cmath>

#include "views/shared/Style.h"

namespace {

QString css(const QColor& c) {
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

}  // namespace

ReportIssueKeyChip::ReportIssueKeyChip(const QString& token, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setText(token);
    setFont(Style::font(13, QFont::DemiBold, true));
    Style::setLabelColor(this, Style::primary());
    const QColor gray(Qt::gray);
    setStyleSheet(QStringLiteral("QLabel { background-color: %1; border: 1px solid %2; border-radius: 6px;"
                                 " padding: 5px 9px; }")
                      .arg(css(Style::withOpacity(gray, 0.15)), css(Style::withOpacity(gray, 0.3))));
    setObjectName(QStringLiteral("captureChip"));
}

bool ReportIssueKeyChip::isKeySymbol(const QString& token) {
    if (token.size() != 1) {
        return false;
    }
    const char16_t c = token.at(0).unicode();
    return (c >= 0x2190 && c <= 0x21FF) || (c >= 0x2300 && c <= 0x23FF);
}

QPainterPath ReportIssueKeyChip::symbolPath() const {
    QPainterPath glyph;
    glyph.addText(0, 0, font(), text());
    const QRectF ink = glyph.boundingRect();
    if (ink.isEmpty()) {
        return {};
    }
    const double scale = QFontMetricsF(font()).capHeight() / std::max(ink.width(), ink.height());
    QTransform transform;
    transform.scale(scale, scale);
    transform.translate(-ink.center().x(), -ink.center().y());
    return transform.map(glyph);
}

QSize ReportIssueKeyChip::sizeHint() const {
    QSize size = QLabel::sizeHint();
    if (isKeySymbol(text())) {
        // The label makes room for the glyph's narrow cell; the enlarged symbol may need more.
        const QMargins margins = contentsMargins();
        const int needed = static_cast<int>(std::ceil(symbolPath().boundingRect().width()));
        size.setWidth(std::max(size.width(), needed + margins.left() + margins.right()));
    }
    return size;
}

QSize ReportIssueKeyChip::minimumSizeHint() const {
    return sizeHint();
}

void ReportIssueKeyChip::paintEvent(QPaintEvent* event) {
    if (!isKeySymbol(text())) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    // Centred where a capital letter's middle lies on a line of this font centred in the chip.
    const QFontMetricsF metrics(font());
    const QRectF box = contentsRect();
    const double baseline = box.top() + (box.height() - metrics.height()) / 2 + metrics.ascent();
    const QPointF centre(box.center().x(), baseline - metrics.capHeight() / 2);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::WindowText));
    painter.drawPath(symbolPath().translated(centre));
}
