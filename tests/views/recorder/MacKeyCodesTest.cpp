#include <gtest/gtest.h>

#include "platform/EventServices.h"
#include "platform/qt/MacKeyCodes.h"

namespace {

TEST(MacKeyCodesTest, KeysMapToTheirAnsiPositions) {
    // clang-format off
    const std::pair<int, quint16> cases[] = {
        {Qt::Key_A, 0},        {Qt::Key_H, 4},        {Qt::Key_B, 11},       {Qt::Key_1, 18},
        {Qt::Key_Exclam, 18},  {Qt::Key_0, 29},       {Qt::Key_Minus, 27},   {Qt::Key_Underscore, 27},
        {Qt::Key_Return, 36},  {Qt::Key_Tab, 48},     {Qt::Key_Space, 49},   {Qt::Key_Backspace, 51},
        {Qt::Key_Escape, 53},  {Qt::Key_F1, 122},     {Qt::Key_F2, 120},     {Qt::Key_F3, 99},
        {Qt::Key_F4, 118},     {Qt::Key_F5, 96},      {Qt::Key_F6, 97},      {Qt::Key_F7, 98},
        {Qt::Key_F8, 100},     {Qt::Key_F9, 101},     {Qt::Key_F10, 109},    {Qt::Key_F11, 103},
        {Qt::Key_F12, 111},    {Qt::Key_Left, 123},   {Qt::Key_Right, 124},  {Qt::Key_Down, 125},
        {Qt::Key_Up, 126},     {Qt::Key_PageUp, 116}, {Qt::Key_PageDown, 121}, {Qt::Key_Home, 115},
        {Qt::Key_End, 119},    {Qt::Key_Delete, 117}, {Qt::Key_Alt, 58},     {Qt::Key_Control, 59},
        {Qt::Key_Shift, 56},   {Qt::Key_Meta, 55},
    };
    // clang-format on
    for (const auto& [key, code] : cases) {
        EXPECT_EQ(MacKeyCodes::keyCode(key), std::optional<quint16>(code)) << "Qt key 0x" << std::hex << key;
    }
    EXPECT_EQ(MacKeyCodes::keyCode(Qt::Key_1, Qt::KeypadModifier), std::optional<quint16>(83));
    EXPECT_EQ(MacKeyCodes::keyCode(Qt::Key_Home, Qt::KeypadModifier), std::optional<quint16>(115));
    EXPECT_EQ(MacKeyCodes::keyCode(Qt::Key_Launch0), std::nullopt);
}

TEST(MacKeyCodesTest, ModifiersAndCharacters) {
    EXPECT_EQ(MacKeyCodes::flags(Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::ShiftModifier),
              EventFlags::Control | EventFlags::Option | EventFlags::Command | EventFlags::Shift);
    EXPECT_EQ(MacKeyCodes::modifierFlag(Qt::Key_Alt), EventFlags::Option);
    EXPECT_EQ(MacKeyCodes::modifierFlag(Qt::Key_A), 0u);

    EXPECT_EQ(MacKeyCodes::charactersIgnoringModifiers(Qt::Key_C, Qt::ControlModifier, "\x03"), "c");
    EXPECT_EQ(MacKeyCodes::charactersIgnoringModifiers(Qt::Key_C, Qt::ShiftModifier, "C"), "C");
    EXPECT_EQ(MacKeyCodes::charactersIgnoringModifiers(Qt::Key_F1, {}, {}), QString(QChar(0xF704)));
    EXPECT_EQ(MacKeyCodes::charactersIgnoringModifiers(Qt::Key_Up, {}, {}), QString(QChar(0xF700)));
    EXPECT_EQ(MacKeyCodes::charactersIgnoringModifiers(Qt::Key_Alt, {}, {}), std::nullopt);
}

}  // namespace
