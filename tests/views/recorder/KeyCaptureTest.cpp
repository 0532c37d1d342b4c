#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/qt/widgets/QtKeyMonitor.h"
#include "views/main/KeyCapture.h"

namespace {

// Hands events straight to the handlers, for modifier states a real keyboard delivers in one event
// (two modifiers at once, the fn key) that Qt's key events cannot express.
class DirectKeyMonitor final : public KeyMonitor {
public:
    KeyMonitorToken addLocalMonitor(quint64 mask, Handler handler) override {
        auto token = std::make_shared<KeyMonitorHandle>();
        entries.push_back({token, mask, std::move(handler)});
        return token;
    }
    void removeMonitor(const KeyMonitorToken& token) override {
        std::erase_if(entries, [&](const Entry& e) { return e.token == token; });
    }
    // Returns what the handlers gave back (the last one's answer).
    const LocalKeyEvent* send(const LocalKeyEvent& event) {
        const LocalKeyEvent* result = &event;
        for (auto& e : std::vector<Entry>(entries)) {
            if ((e.mask & eventMaskBit(event.type)) != 0) {
                result = e.handler(event);
            }
        }
        return result;
    }
    void flags(quint64 f) { send({EventType::FlagsChanged, 0, f, std::nullopt, false}); }
    void keyDown(quint16 code, std::optional<QString> chars) { send({EventType::KeyDown, code, 0, chars, false}); }

    struct Entry {
        KeyMonitorToken token;
        quint64 mask;
        Handler handler;
    };
    std::vector<Entry> entries;
};

// Key events go through a real window of this application, the way Qt delivers typed keys.
class KeyCaptureQtTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&window);
        field = new QLineEdit(&window);
        layout->addWidget(field);
        window.show();
        field->setFocus();
        ASSERT_TRUE(window.windowHandle() != nullptr);
    }

    QWindow* handle() { return window.windowHandle(); }
    void press(int key, Qt::KeyboardModifiers mods = {}, const QString& text = {}, bool repeat = false) {
        qt_handleKeyEvent(handle(), QEvent::KeyPress, key, mods, text, repeat);
    }
    void release(int key, Qt::KeyboardModifiers mods = {}, const QString& text = {}) {
        qt_handleKeyEvent(handle(), QEvent::KeyRelease, key, mods, text);
    }
    void click(int key, Qt::KeyboardModifiers mods = {}, const QString& text = {}) {
        press(key, mods, text);
        release(key, mods, text);
    }

    QWidget window;
    QLineEdit* field = nullptr;
    QtKeyMonitor monitor;
    KeyCapture capture{monitor};
};

TEST_F(KeyCaptureQtTest, OptionSequenceRecordsModifierThenLetters) {
    capture.start();
    press(Qt::Key_Alt);
    click(Qt::Key_H, Qt::AltModifier, QStringLiteral("˙"));
    release(Qt::Key_Alt, Qt::AltModifier);  // released in the middle of the sequence
    click(Qt::Key_B, {}, QStringLiteral("b"));
    click(Qt::Key_A, {}, QStringLiteral("a"));
    EXPECT_EQ(capture.keys(), (QStringList{"⌥", "H", "B", "A"}));
    capture.stop();
}

TEST_F(KeyCaptureQtTest, CharactersIgnoreModifiersAndAreUpperCased) {
    capture.start();
    QTest::keyClick(handle(), Qt::Key_C, Qt::ControlModifier);  // Qt types "\x03" for this chord
    QTest::keyClick(handle(), Qt::Key_Exclam, Qt::ShiftModifier, 10);
    EXPECT_EQ(capture.keys(), (QStringList{"⌃", "C", "⇧", "!"}));
    capture.stop();
}

TEST_F(KeyCaptureQtTest, ModifierReleasesRecordNothingAndRepressesRecordAgain) {
    capture.start();
    press(Qt::Key_Alt);
    release(Qt::Key_Alt, Qt::AltModifier);
    press(Qt::Key_Alt);
    release(Qt::Key_Alt, Qt::AltModifier);
    EXPECT_EQ(capture.keys(), (QStringList{"⌥", "⌥"}));

    capture.reset();
    press(Qt::Key_Shift);
    press(Qt::Key_Control, Qt::ShiftModifier);
    release(Qt::Key_Shift, Qt::ShiftModifier | Qt::ControlModifier);  // one of two released
    release(Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(capture.keys(), (QStringList{"⇧", "⌃"}));
    capture.stop();
}

TEST_F(KeyCaptureQtTest, CapsLockAloneRecordsNothing) {
    capture.start();
    click(Qt::Key_CapsLock);
    click(Qt::Key_CapsLock);
    EXPECT_TRUE(capture.keys().isEmpty());
    capture.stop();
}

TEST_F(KeyCaptureQtTest, FixedTableTokensAndFallback) {
    capture.start();
    click(Qt::Key_Return, {}, "\r");
    click(Qt::Key_Tab, {}, "\t");
    click(Qt::Key_Space, {}, " ");
    click(Qt::Key_Backspace, {}, "\b");
    click(Qt::Key_Escape, {}, "\x1b");
    click(Qt::Key_F7);
    click(Qt::Key_F9);
    click(Qt::Key_F2);
    click(Qt::Key_PageUp);
    click(Qt::Key_PageDown);
    click(Qt::Key_1, {}, "1");
    click(Qt::Key_Slash, {}, "/");
    EXPECT_EQ(capture.keys(), (QStringList{"↩", "⇥", "Space", "⌫", "⎋", "F7", "F9", "F2", "PgUp", "PgDn", "1", "/"}));
    capture.stop();
}

TEST_F(KeyCaptureQtTest, KeysOutsideTheTableThatTypeNoTextGetReadableNames) {
    capture.start();
    for (int key : {Qt::Key_F5, Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_End,
                    Qt::Key_Delete, Qt::Key_F13, Qt::Key_Help}) {
        click(key);
    }
    EXPECT_EQ(capture.keys(), (QStringList{"F5", "←", "→", "↑", "↓", "Home", "End", "⌦", "F13", "Help"}));
    capture.stop();
}

TEST_F(KeyCaptureQtTest, WhitespaceOnlyCharactersRecordNothing) {
    capture.start();
    click(Qt::Key_nobreakspace, {}, QStringLiteral("\u00A0"));  // a space separator outside the table
    click(Qt::Key_Launch0);                                     // no Mac position and no text
    EXPECT_TRUE(capture.keys().isEmpty());
    capture.stop();
}

TEST_F(KeyCaptureQtTest, AutoRepeatRecordsEveryKeyDown) {
    capture.start();
    press(Qt::Key_H, {}, "h");
    press(Qt::Key_H, {}, "h", true);
    press(Qt::Key_H, {}, "h", true);
    release(Qt::Key_H, {}, "h");
    EXPECT_EQ(capture.keys(), (QStringList{"H", "H", "H"}));
    capture.stop();
}

TEST_F(KeyCaptureQtTest, EventsReachTheFocusedWidgetUnchanged) {
    capture.start();
    QTest::keyClick(handle(), 'a');
    QTest::keyClick(handle(), 'b');
    EXPECT_EQ(field->text(), "ab");
    click(Qt::Key_B, Qt::ShiftModifier, "B");
    EXPECT_EQ(field->text(), "abB");
    EXPECT_EQ(capture.keys().first(2), (QStringList{"A", "B"}));
    capture.stop();
}

TEST_F(KeyCaptureQtTest, StopBeforeStartAndNothingAfterStop) {
    capture.stop();  // never started: nothing happens
    capture.stop();
    EXPECT_FALSE(capture.isListening());

    capture.start();
    click(Qt::Key_X, {}, "x");
    capture.stop();
    EXPECT_EQ(monitor.monitorCount(), 0);
    click(Qt::Key_Y, {}, "y");
    press(Qt::Key_Alt);
    release(Qt::Key_Alt, Qt::AltModifier);
    EXPECT_EQ(capture.keys(), (QStringList{"X"}));

    // Keys survive a stop and a new start; only reset clears them.
    capture.start();
    click(Qt::Key_Z, {}, "z");
    EXPECT_EQ(capture.keys(), (QStringList{"X", "Z"}));
    capture.reset();
    EXPECT_TRUE(capture.keys().isEmpty());
    EXPECT_TRUE(capture.isListening());
    capture.stop();
}

TEST_F(KeyCaptureQtTest, DestroyedRecorderLeavesNoListenerBehind) {
    {
        KeyCapture shortLived(monitor);
        shortLived.start();
        EXPECT_EQ(monitor.monitorCount(), 1);
    }
    EXPECT_EQ(monitor.monitorCount(), 0);
    click(Qt::Key_X, {}, "x");  // no dangling handler runs
    EXPECT_EQ(field->text(), "x");
}

TEST(KeyCaptureDirectTest, SimultaneousModifiersFollowTheFixedOrder) {
    DirectKeyMonitor monitor;
    KeyCapture capture(monitor);
    QSignalSpy changes(&capture, &KeyCapture::keysChanged);
    capture.start();
    monitor.flags(EventFlags::Command | EventFlags::Shift);
    monitor.flags(0);
    monitor.flags(EventFlags::Shift | EventFlags::Option);
    monitor.flags(EventFlags::Shift | EventFlags::Option | EventFlags::Control | EventFlags::Command);
    EXPECT_EQ(capture.keys(), (QStringList{"⌘", "⇧", "⌥", "⇧", "⌃", "⌘"}));
    EXPECT_EQ(changes.count(), 6);  // one change per token
    capture.stop();
}

TEST(KeyCaptureDirectTest, FunctionKeyDeviceBitsAndEmptyCharactersRecordNothing) {
    DirectKeyMonitor monitor;
    KeyCapture capture(monitor);
    capture.start();
    monitor.flags(EventFlags::Function);
    monitor.flags(EventFlags::AlphaShift | 0x100);  // caps lock plus a device-dependent bit
    monitor.keyDown(200, std::nullopt);
    monitor.keyDown(200, QString());
    monitor.keyDown(200, QStringLiteral(" \t "));
    monitor.keyDown(200, QStringLiteral("\n"));  // line breaks are not trimmed
    monitor.keyDown(200, QStringLiteral(" é "));
    EXPECT_EQ(capture.keys(), (QStringList{"\n", "É"}));
    capture.stop();
}

TEST(KeyCaptureDirectTest, HandlerHandsBackTheSameEventAndStartKeepsEarlierFlagsReset) {
    DirectKeyMonitor monitor;
    KeyCapture capture(monitor);
    capture.start();
    const LocalKeyEvent down{EventType::KeyDown, 4, 0, QStringLiteral("h"), false};
    EXPECT_EQ(monitor.send(down), &down);
    monitor.flags(EventFlags::Option);
    capture.stop();
    // A new start forgets the modifiers held before, so a held Option is recorded again.
    capture.start();
    monitor.flags(EventFlags::Option);
    EXPECT_EQ(capture.keys(), (QStringList{"H", "⌥", "⌥"}));
    capture.stop();
    EXPECT_TRUE(monitor.entries.empty());
}

}  // namespace

TEST_F(KeyCaptureQtTest, KeysTypedIntoAnotherApplicationsWindowAreNotSeen) {
    QWidget foreign;
    foreign.setProperty(QtKeyMonitor::kForeignApplicationProperty, true);
    foreign.show();
    ASSERT_TRUE(foreign.windowHandle() != nullptr);

    capture.start();
    qt_handleKeyEvent(foreign.windowHandle(), QEvent::KeyPress, Qt::Key_Q, {}, "q");
    qt_handleKeyEvent(foreign.windowHandle(), QEvent::KeyRelease, Qt::Key_Q, {}, "q");
    click(Qt::Key_W, {}, "w");
    EXPECT_EQ(capture.keys(), (QStringList{"W"}));
    capture.stop();
}
