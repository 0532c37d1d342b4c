#include "views/shared/SymbolIcons.h"

#include <QFontDatabase>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPixmap>

namespace {

const QString kFontPath =
    QStringLiteral("/usr/share/fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf");
const QString kFontFamily = QStringLiteral("Material Icons");

// Symbol name -> Material Icons codepoint (the icon's name in the font in the comment), and the
// frame drawn round the glyph where the font has no framed variant of its own.
const QHash<QString, SymbolIcons::Symbol>& table() {
    using enum SymbolIcons::Frame;
    static const QHash<QString, SymbolIcons::Symbol> map{
        // Category icons of the catalogue.
        {QStringLiteral("doc.on.clipboard"), 0xe14f},        // content_paste
        {QStringLiteral("textformat"), 0xe165},              // text_format
        {QStringLiteral("plus.square.on.square"), 0xe02e},   // library_add
        {QStringLiteral("tablecells"), 0xe265},              // table_chart
        {QStringLiteral("function"), 0xe24a},                // functions
        {QStringLiteral("wrench.and.screwdriver"), 0xe869},  // build
        {QStringLiteral("chart.pie"), 0xe6c4},               // pie_chart
        {QStringLiteral("checkmark.message"), 0xe560},       // rate_review
        {QStringLiteral("eye"), 0xe8f4},                     // visibility
        {QStringLiteral("keyboard"), 0xe312},                // keyboard
        // Rows, dashboard and settings.
        {QStringLiteral("arrow.right"), 0xe5c8},                          // arrow_forward
        {QStringLiteral("power.circle.fill"), {0xe8ac, filledCircle}},    // power_settings_new
        {QStringLiteral("power.circle"), {0xe8ac, circle}},               // power_settings_new
        {QStringLiteral("pause.circle.fill"), 0xe035},                    // pause_circle_filled
        {QStringLiteral("exclamationmark.triangle.fill"), 0xe002},        // warning
        {QStringLiteral("lightbulb.fill"), 0xe0f0},                       // lightbulb
        {QStringLiteral("gearshape"), 0xe8b8},                            // settings
        {QStringLiteral("command"), 0xeae7},                              // keyboard_command_key
        {QStringLiteral("info.circle"), 0xe88f},                          // info_outline
        {QStringLiteral("command.square.fill"), {0xeae7, filledSquare}},  // keyboard_command_key
        {QStringLiteral("command.square"), {0xeae7, square}},             // keyboard_command_key
        // Main window, sidebar and issue sheet.
        {QStringLiteral("house.fill"), 0xe88a},                   // home
        {QStringLiteral("list.bullet"), 0xe241},                  // format_list_bulleted
        {QStringLiteral("paintbrush"), 0xe3ae},                   // brush
        {QStringLiteral("plus.slash.minus"), 0xe3ca},             // exposure
        {QStringLiteral("chart.bar.xaxis"), 0xe26b},              // bar_chart
        {QStringLiteral("star"), 0xe83a},                         // star_border
        {QStringLiteral("gear"), 0xe8b8},                         // settings
        {QStringLiteral("exclamationmark.bubble"), 0xe87f},       // feedback
        {QStringLiteral("magnifyingglass"), 0xe8b6},              // search
        {QStringLiteral("xmark.circle.fill"), 0xe5c9},            // cancel
        {QStringLiteral("arrow.down.circle.fill"), 0xf000},       // download_for_offline
        {QStringLiteral("checkmark.circle.fill"), 0xe86c},        // check_circle
        {QStringLiteral("exclamationmark.circle.fill"), 0xe000},  // error
    };
    return map;
}

bool loadFont() {
    static const bool loaded = [] {
        if (QFontDatabase::families().contains(kFontFamily)) {
            return true;
        }
        return QFontDatabase::addApplicationFont(kFontPath) >= 0;
    }();
    return loaded;
}

// The framed symbol as one path centred on the origin, for a glyph of font size `size`: a filled
// frame has the glyph cut out of it, an outlined one is a ring round it. Cached: the power button
// draws on every frame of the pulse beside it.
QPainterPath framedPath(const QString& name, const SymbolIcons::Symbol& symbol, double size) {
    static QHash<QString, QPainterPath> cache;
    const QString key = name + u'@' + QString::number(size);
    if (const auto it = cache.constFind(key); it != cache.constEnd()) {
        return it.value();
    }
    using enum SymbolIcons::Frame;
    // A circle icon of the font fills about 0.83 of its em box; the glyph shrinks to fit inside.
    const double half = 0.42 * size;
    QPainterPath glyph;
    glyph.addText(0, 0, SymbolIcons::font(0.55 * size), QString(QChar(symbol.glyph)));
    glyph.translate(-glyph.boundingRect().center());

    QPainterPath frame;
    if (symbol.frame == circle || symbol.frame == filledCircle) {
        frame.addEllipse(QPointF(), half, half);
    } else {
        frame.addRoundedRect(QRectF(-half, -half, 2 * half, 2 * half), 0.45 * half, 0.45 * half);
    }
    QPainterPath path;
    if (symbol.frame == filledCircle || symbol.frame == filledSquare) {
        path = frame.subtracted(glyph);
    } else {
        QPainterPathStroker stroker;
        stroker.setWidth(0.07 * size);
        path = stroker.createStroke(frame).united(glyph);
    }
    return cache.insert(key, path).value();
}

}  // namespace

std::optional<SymbolIcons::Symbol> SymbolIcons::symbol(const QString& name) {
    const auto it = table().constFind(name);
    if (it == table().constEnd()) {
        return std::nullopt;
    }
    return it.value();
}

std::optional<QChar> SymbolIcons::glyph(const QString& name) {
    const auto s = symbol(name);
    return s ? std::optional<QChar>(QChar(s->glyph)) : std::nullopt;
}

void SymbolIcons::paint(QPainter& painter, const QRectF& box, const QString& name, const QColor& color, double size) {
    const auto s = symbol(name);
    if (!s) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (s->frame == Frame::none) {
        painter.setFont(font(size));
        painter.setPen(color);
        painter.drawText(box, Qt::AlignCenter, QString(QChar(s->glyph)));
    } else {
        painter.fillPath(framedPath(name, *s, size).translated(box.center()), color);
    }
    painter.restore();
}

QStringList SymbolIcons::names() {
    QStringList list = table().keys();
    list.sort();
    return list;
}

QFont SymbolIcons::font(double size) {
    loadFont();
    QFont f(kFontFamily);
    f.setPixelSize(qMax(1, qRound(size)));
    // Ligatures and fallbacks would turn a missing glyph into a stray letter.
    f.setStyleStrategy(QFont::NoFontMerging);
    return f;
}

bool SymbolIcons::fontAvailable() {
    return loadFont();
}

QIcon SymbolIcons::icon(const QString& name, const QColor& color, int size) {
    const auto g = glyph(name);
    if (!g) {
        return {};
    }
    QPixmap pixmap(size * 2, size * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(painter, QRectF(0, 0, size, size), name, color, size);
    painter.end();
    return QIcon(pixmap);
}
