#pragma once

#include <QString>
#include <Qt>
#include <optional>

// The one translation from Qt's key events to macOS virtual key codes (physical positions of the
// ANSI layout), event flag bits and the characters a key types ignoring modifiers. Qt names keys
// by what they type, so shifted symbols map back to the key that types them on a US keyboard.
class MacKeyCodes final {
public:
    MacKeyCodes() = delete;

    // The key code of Qt key `qtKey`; keypad keys when `modifiers` carries the keypad flag.
    // Nothing for keys without a position on a Mac keyboard.
    static std::optional<quint16> keyCode(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    // The flag bit a modifier key stands for (Shift, Control, Option for Alt/AltGr, Command for
    // Meta/Super, caps lock); 0 for every other key.
    static quint64 modifierFlag(int qtKey);
    static bool isModifierKey(int qtKey) { return modifierFlag(qtKey) != 0; }

    // Qt's modifier state as event flags: Ctrl → Control, Alt → Option, Meta → Command, Shift,
    // keypad → numeric pad.
    static quint64 flags(Qt::KeyboardModifiers modifiers);

    // What the key types with no modifier but Shift, as the Mac reports it: letters in lower case
    // (upper case with Shift), the private-use function-key characters for arrows, F-keys and the
    // navigation keys, control characters for Return, Tab, Delete and Escape. `text` is what Qt
    // typed; it is used only for keys outside Latin-1. Nothing for modifier keys and unknown keys.
    static std::optional<QString> charactersIgnoringModifiers(int qtKey, Qt::KeyboardModifiers modifiers,
                                                              const QString& text);
};
