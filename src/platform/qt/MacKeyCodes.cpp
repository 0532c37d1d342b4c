#include "platform/qt/MacKeyCodes.h"

#include <QHash>

#include "platform/EventServices.h"

namespace {

// Keys of the main block and the function and navigation keys, by ANSI position.
// clang-format off
const QHash<int, quint16>& mainTable() {
    static const QHash<int, quint16> table = {
        // Letters
        {Qt::Key_A, 0}, {Qt::Key_S, 1}, {Qt::Key_D, 2}, {Qt::Key_F, 3}, {Qt::Key_H, 4}, {Qt::Key_G, 5},
        {Qt::Key_Z, 6}, {Qt::Key_X, 7}, {Qt::Key_C, 8}, {Qt::Key_V, 9}, {Qt::Key_B, 11}, {Qt::Key_Q, 12},
        {Qt::Key_W, 13}, {Qt::Key_E, 14}, {Qt::Key_R, 15}, {Qt::Key_Y, 16}, {Qt::Key_T, 17}, {Qt::Key_O, 31},
        {Qt::Key_U, 32}, {Qt::Key_I, 34}, {Qt::Key_P, 35}, {Qt::Key_L, 37}, {Qt::Key_J, 38}, {Qt::Key_K, 40},
        {Qt::Key_N, 45}, {Qt::Key_M, 46},
        // Digits and the symbols Shift gives them on a US keyboard
        {Qt::Key_1, 18}, {Qt::Key_Exclam, 18}, {Qt::Key_2, 19}, {Qt::Key_At, 19}, {Qt::Key_3, 20},
        {Qt::Key_NumberSign, 20}, {Qt::Key_4, 21}, {Qt::Key_Dollar, 21}, {Qt::Key_6, 22},
        {Qt::Key_AsciiCircum, 22}, {Qt::Key_5, 23}, {Qt::Key_Percent, 23}, {Qt::Key_9, 25},
        {Qt::Key_ParenLeft, 25}, {Qt::Key_7, 26}, {Qt::Key_Ampersand, 26}, {Qt::Key_8, 28},
        {Qt::Key_Asterisk, 28}, {Qt::Key_0, 29}, {Qt::Key_ParenRight, 29},
        // Punctuation
        {Qt::Key_Equal, 24}, {Qt::Key_Plus, 24}, {Qt::Key_Minus, 27}, {Qt::Key_Underscore, 27},
        {Qt::Key_BracketRight, 30}, {Qt::Key_BraceRight, 30}, {Qt::Key_BracketLeft, 33}, {Qt::Key_BraceLeft, 33},
        {Qt::Key_Apostrophe, 39}, {Qt::Key_QuoteDbl, 39}, {Qt::Key_Semicolon, 41}, {Qt::Key_Colon, 41},
        {Qt::Key_Backslash, 42}, {Qt::Key_Bar, 42}, {Qt::Key_Comma, 43}, {Qt::Key_Less, 43}, {Qt::Key_Slash, 44},
        {Qt::Key_Question, 44}, {Qt::Key_Period, 47}, {Qt::Key_Greater, 47}, {Qt::Key_QuoteLeft, 50},
        {Qt::Key_AsciiTilde, 50},
        // Editing keys
        {Qt::Key_Return, 36}, {Qt::Key_Tab, 48}, {Qt::Key_Backtab, 48}, {Qt::Key_Space, 49},
        {Qt::Key_Backspace, 51}, {Qt::Key_Escape, 53}, {Qt::Key_Enter, 76}, {Qt::Key_Delete, 117},
        {Qt::Key_Insert, 114}, {Qt::Key_Help, 114},
        // Modifiers (left-hand keys; AltGr stands for the right Option key)
        {Qt::Key_Meta, 55}, {Qt::Key_Super_L, 55}, {Qt::Key_Super_R, 54}, {Qt::Key_Shift, 56},
        {Qt::Key_CapsLock, 57}, {Qt::Key_Alt, 58}, {Qt::Key_Control, 59}, {Qt::Key_AltGr, 61},
        // Function keys
        {Qt::Key_F1, 122}, {Qt::Key_F2, 120}, {Qt::Key_F3, 99}, {Qt::Key_F4, 118}, {Qt::Key_F5, 96},
        {Qt::Key_F6, 97}, {Qt::Key_F7, 98}, {Qt::Key_F8, 100}, {Qt::Key_F9, 101}, {Qt::Key_F10, 109},
        {Qt::Key_F11, 103}, {Qt::Key_F12, 111}, {Qt::Key_F13, 105}, {Qt::Key_F14, 107}, {Qt::Key_F15, 113},
        {Qt::Key_F16, 106}, {Qt::Key_F17, 64}, {Qt::Key_F18, 79}, {Qt::Key_F19, 80}, {Qt::Key_F20, 90},
        // Navigation
        {Qt::Key_Home, 115}, {Qt::Key_PageUp, 116}, {Qt::Key_End, 119}, {Qt::Key_PageDown, 121},
        {Qt::Key_Left, 123}, {Qt::Key_Right, 124}, {Qt::Key_Down, 125}, {Qt::Key_Up, 126},
        // Media keys with a Mac position
        {Qt::Key_VolumeUp, 72}, {Qt::Key_VolumeDown, 73}, {Qt::Key_VolumeMute, 74},
    };
    return table;
}

// Keypad keys; consulted only when Qt flags the event as coming from the keypad.
const QHash<int, quint16>& keypadTable() {
    static const QHash<int, quint16> table = {
        {Qt::Key_0, 82}, {Qt::Key_1, 83}, {Qt::Key_2, 84}, {Qt::Key_3, 85}, {Qt::Key_4, 86},
        {Qt::Key_5, 87}, {Qt::Key_6, 88}, {Qt::Key_7, 89}, {Qt::Key_8, 91}, {Qt::Key_9, 92},
        {Qt::Key_Period, 65}, {Qt::Key_Comma, 65}, {Qt::Key_Asterisk, 67}, {Qt::Key_Plus, 69},
        {Qt::Key_Clear, 71}, {Qt::Key_Slash, 75}, {Qt::Key_Enter, 76}, {Qt::Key_Minus, 78},
        {Qt::Key_Equal, 81},
    };
    return table;
}

// clang-format on

// The Mac's private-use characters for keys that type no text (NSUpArrowFunctionKey and kin).
std::optional<char16_t> functionKeyCharacter(int qtKey) {
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F35) {
        return static_cast<char16_t>(0xF704 + (qtKey - Qt::Key_F1));
    }
    switch (qtKey) {
        case Qt::Key_Up:
            return 0xF700;
        case Qt::Key_Down:
            return 0xF701;
        case Qt::Key_Left:
            return 0xF702;
        case Qt::Key_Right:
            return 0xF703;
        case Qt::Key_Insert:
            return 0xF727;
        case Qt::Key_Delete:
            return 0xF728;
        case Qt::Key_Home:
            return 0xF729;
        case Qt::Key_End:
            return 0xF72B;
        case Qt::Key_PageUp:
            return 0xF72C;
        case Qt::Key_PageDown:
            return 0xF72D;
        case Qt::Key_Print:
            return 0xF72E;
        case Qt::Key_ScrollLock:
            return 0xF72F;
        case Qt::Key_Pause:
            return 0xF730;
        case Qt::Key_SysReq:
            return 0xF731;
        case Qt::Key_Menu:
            return 0xF735;
        case Qt::Key_Clear:
            return 0xF739;
        case Qt::Key_Help:
            return 0xF746;
        default:
            return std::nullopt;
    }
}

std::optional<char16_t> controlCharacter(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Return:
            return u'\r';
        case Qt::Key_Enter:
            return 0x03;
        case Qt::Key_Tab:
            return u'\t';
        case Qt::Key_Backtab:
            return 0x19;
        case Qt::Key_Backspace:
            return 0x7F;
        case Qt::Key_Escape:
            return 0x1B;
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<quint16> MacKeyCodes::keyCode(int qtKey, Qt::KeyboardModifiers modifiers) {
    if (modifiers.testFlag(Qt::KeypadModifier)) {
        const auto& keypad = keypadTable();
        if (auto it = keypad.constFind(qtKey); it != keypad.constEnd()) {
            return it.value();
        }
    }
    const auto& table = mainTable();
    if (auto it = table.constFind(qtKey); it != table.constEnd()) {
        return it.value();
    }
    return std::nullopt;
}

quint64 MacKeyCodes::modifierFlag(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Shift:
            return EventFlags::Shift;
        case Qt::Key_Control:
            return EventFlags::Control;
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
            return EventFlags::Option;
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
            return EventFlags::Command;
        case Qt::Key_CapsLock:
            return EventFlags::AlphaShift;
        default:
            return 0;
    }
}

quint64 MacKeyCodes::flags(Qt::KeyboardModifiers modifiers) {
    quint64 result = 0;
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        result |= EventFlags::Shift;
    }
    if (modifiers.testFlag(Qt::ControlModifier)) {
        result |= EventFlags::Control;
    }
    if (modifiers.testFlag(Qt::AltModifier) || modifiers.testFlag(Qt::GroupSwitchModifier)) {
        result |= EventFlags::Option;
    }
    if (modifiers.testFlag(Qt::MetaModifier)) {
        result |= EventFlags::Command;
    }
    if (modifiers.testFlag(Qt::KeypadModifier)) {
        result |= EventFlags::NumericPad;
    }
    return result;
}

std::optional<QString> MacKeyCodes::charactersIgnoringModifiers(int qtKey, Qt::KeyboardModifiers modifiers,
                                                                const QString& text) {
    if (isModifierKey(qtKey)) {
        return std::nullopt;
    }
    if (auto c = functionKeyCharacter(qtKey)) {
        return QString(QChar(*c));
    }
    if (auto c = controlCharacter(qtKey)) {
        return QString(QChar(*c));
    }
    // Qt reports printable Latin-1 keys by their upper-case character; Control and the others
    // must not change what is reported, Shift does.
    const bool printableLatin1 = (qtKey >= 0x20 && qtKey <= 0x7E) || (qtKey >= 0xA0 && qtKey <= 0xFF);
    if (printableLatin1) {
        const QChar c(static_cast<char16_t>(qtKey));
        return QString(modifiers.testFlag(Qt::ShiftModifier) ? c.toUpper() : c.toLower());
    }
    if (!text.isEmpty()) {
        for (const QChar c : text) {
            if (c.category() == QChar::Other_Control) {
                return std::nullopt;
            }
        }
        return text;
    }
    return std::nullopt;
}
