#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <optional>

class QPainter;
class QRectF;

// The symbol names the views use, drawn with glyphs of the Material Icons font. One table holds
// every name; a name missing from it has no glyph (and a test lists every name the views use).
// Where the font lacks a symbol's outlined, filled or framed variant, the frame is drawn round the
// glyph, so "power.circle" and "power.circle.fill" stay apart.
class SymbolIcons {
public:
    enum class Frame { none, circle, filledCircle, square, filledSquare };
    struct Symbol {
        char16_t glyph = 0;
        Frame frame = Frame::none;
        Symbol(char16_t glyph, Frame frame = Frame::none) : glyph(glyph), frame(frame) {}
    };

    static std::optional<Symbol> symbol(const QString& name);
    // The glyph for a symbol name, or nothing when the name is not in the table.
    static std::optional<QChar> glyph(const QString& name);
    static bool contains(const QString& name) { return glyph(name).has_value(); }
    static QStringList names();

    // The icon font at `size` points, loaded from the system's font folder on first use.
    static QFont font(double size);
    // Whether the icon font could be loaded.
    static bool fontAvailable();

    // Draws the symbol centred in `box`, its glyph at font size `size` (a frame round it fits the
    // glyph's em box). Nothing for an unknown name.
    static void paint(QPainter& painter, const QRectF& box, const QString& name, const QColor& color, double size);

    // The symbol as an icon of `size` points in `color` (a null icon for an unknown name).
    static QIcon icon(const QString& name, const QColor& color, int size = 16);
};
