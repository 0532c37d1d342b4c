#pragma once

#include <QString>
#include <QtGlobal>

// Readable names of macOS virtual key codes (ANSI layout) for the simulated applications' logs.
class SimKeyNames final {
public:
    SimKeyNames() = delete;

    // The key cap: "A", "=", "↩", "⎋", "Space", "F9", "PgUp", "←"; "#<code>" for unknown codes.
    static QString keyName(quint16 keyCode);
    // The modifier glyphs of `flags` in the Mac's order (⌃⌥⇧⌘) followed by the key name: "⌃⌘V".
    static QString chord(quint16 keyCode, quint64 flags);
};
