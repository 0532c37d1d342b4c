#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <optional>

// The symbol names the views use, drawn with glyphs of the Material Icons font. One table holds
// every name; a name missing from it has no glyph (and a test lists every name the views use).
class SymbolIcons {
public:
    // The glyph for a symbol name, or nothing when the name is not in the table.
    static std::optional<QChar> glyph(const QString& name);
    static bool contains(const QString& name) { return glyph(name).has_value(); }
    static QStringList names();

    // The icon font at `size` points, loaded from the system's font folder on first use.
    static QFont font(double size);
    // Whether the icon font could be loaded.
    static bool fontAvailable();

    // The symbol as an icon of `size` points in `color` (a null icon for an unknown name).
    static QIcon icon(const QString& name, const QColor& color, int size = 16);
};
