#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QTest>
#include <ctime>

#include "platform/Workspace.h"
#include "platform/qt/widgets/SimSessionWindows.h"
#include "platform/qt/widgets/SimSettingsPanel.h"
#include "platform/qt/widgets/SimSpreadsheetWindow.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimSpreadsheet.h"

using namespace Qt::StringLiterals;

namespace {

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class SessionWindowsTest : public ::testing::Test {
protected:
    void openExcel() {
        Workspace& workspace = session.workspace();
        const auto url = workspace.urlForApplication(QString::fromLatin1(SimSpreadsheet::bundleId));
        ASSERT_TRUE(url);
        ASSERT_TRUE(workspace.openApplication(*url));
    }

    SimSession session;
    SimSessionWindows windows{session};
};

}  // namespace

TEST_F(SessionWindowsTest, TheSpreadsheetWindowFollowsTheApplication) {
    EXPECT_EQ(windows.spreadsheetWindow(), nullptr);
    openExcel();
    QPointer<SimSpreadsheetWindow> first = windows.spreadsheetWindow();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(session.frontmost(), windows.spreadsheet());

    // Closing the window quits the spreadsheet; opening it again gives a fresh one.
    first->close();
    flushDeletes();
    EXPECT_FALSE(first);
    EXPECT_TRUE(session.runningApplications().isEmpty());
    openExcel();
    ASSERT_NE(windows.spreadsheetWindow(), nullptr);

    // Quit from elsewhere takes the window along.
    QPointer<SimSpreadsheetWindow> second = windows.spreadsheetWindow();
    session.quit(windows.spreadsheet());
    flushDeletes();
    EXPECT_FALSE(second);
}

TEST_F(SessionWindowsTest, KeysAreTranslatedAndModifiersNeverStayDown) {
    openExcel();
    SimSpreadsheetWindow* window = windows.spreadsheetWindow();
    ASSERT_NE(window, nullptr);

    // Shifted punctuation maps back to its key; Ctrl and Alt become ⌃ and ⌥. QTest presses and
    // releases the modifier keys around each click.
    QTest::keyClick(window, Qt::Key_Plus, Qt::ShiftModifier);
    QTest::keyClick(window, Qt::Key_D, Qt::ControlModifier);
    QTest::keyClick(window, Qt::Key_F9);
    EXPECT_EQ(window->typedLines(),
              (QStringList{u"⇧ down — passed"_s, u"⇧= — passed"_s, u"⇧ up — passed"_s, u"⌃ down — passed"_s,
                           u"⌃D — passed"_s, u"⌃ up — passed"_s, u"F9 — passed"_s}));
    EXPECT_EQ(windows.spreadsheet()->log(), (QStringList{u"key ⇧="_s, u"key ⌃D"_s, u"key F9"_s}));

    // Option held while the window loses the keyboard is released in the session.
    QTest::keyPress(window, Qt::Key_Alt);
    EXPECT_EQ(window->heldFlags(), EventFlags::Option);
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(window, &deactivate);
    EXPECT_EQ(window->heldFlags(), 0u);
    EXPECT_EQ(window->typedLines().last(), u"modifiers released — passed"_s);
    EXPECT_EQ(windows.spreadsheet()->receivedEvents().last().flags(), 0u);
}

TEST_F(SessionWindowsTest, TypingCostsAboutWhatATextEditorTakesWhileTheLogsFillAndWhenFull) {
    openExcel();
    SimSpreadsheetWindow* window = windows.spreadsheetWindow();
    ASSERT_NE(window, nullptr);
    // The yardstick: a plain text editor that takes the same keys, a line for each.
    QPlainTextEdit editor;
    editor.resize(window->size());
    editor.show();
    QObject::connect(&editor, &QPlainTextEdit::textChanged, &editor, [&editor] {
        if (!editor.toPlainText().endsWith(u'\n')) {
            editor.appendPlainText(QString());
        }
    });
    // CPU time of this thread, not wall time; both are measured side by side, so that a busy or
    // slow machine slows both alike.
    const auto type = [](QWidget* target, int keys) {
        timespec start{};
        timespec end{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
        for (int i = 0; i < keys; ++i) {
            QTest::keyClick(target, Qt::Key_X);
            QCoreApplication::processEvents();  // as the event loop runs between typed keys
        }
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
        return double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
    };
    type(window, 20);
    type(&editor, 20);
    const auto compare = [&](const char* when) {
        const double before = type(&editor, 50);
        const double spreadsheet = type(window, 100);
        const double yardstick = before + type(&editor, 50);
        EXPECT_LT(spreadsheet, 4 * yardstick) << when << ": " << spreadsheet << " s against " << yardstick << " s";
    };
    compare("while the logs fill");
    type(window, 400);
    compare("with 500 lines in each log");

    EXPECT_EQ(window->typedLines().size(), 500);
    EXPECT_EQ(window->logLines().size(), 500);
    EXPECT_EQ(window->typedLines().last(), u"X — passed"_s);
    EXPECT_EQ(windows.spreadsheet()->log().size(), 620);
}

TEST_F(SessionWindowsTest, ALongSessionKeepsTheNewestLogLinesOnly) {
    openExcel();
    const auto excel = windows.spreadsheet();
    const qsizetype typed = 3 * SimSpreadsheet::kLogLimit;
    for (qsizetype i = 0; i < typed; ++i) {
        excel->receive(KeyboardEvent(EventType::KeyDown, i % 2 ? 7 : 0, 0));
    }
    EXPECT_LE(excel->log().size(), 2 * SimSpreadsheet::kLogLimit);
    EXPECT_EQ(excel->logCount(), typed);
    EXPECT_EQ(excel->log().last(), u"key X"_s);
    const QStringList shown = windows.spreadsheetWindow()->logLines();
    EXPECT_EQ(shown.size(), 500);
    EXPECT_EQ(shown.mid(shown.size() - 2), (QStringList{u"key A"_s, u"key X"_s}));

    excel->clearLog();
    excel->receive(KeyboardEvent(EventType::KeyDown, 0, 0));
    EXPECT_EQ(windows.spreadsheetWindow()->logLines(), QStringList{u"key A"_s});
}

TEST_F(SessionWindowsTest, PrivacyLinksShowTheSettingsPanelBoundToThePermissions) {
    EXPECT_EQ(windows.settingsPanel(), nullptr);
    session.workspace().openURL(QUrl(u"x-apple.systempreferences:com.apple.preference.security?Privacy_ListenEvent"_s));
    SimSettingsPanel* panel = windows.settingsPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->paneText(), u"Input Monitoring"_s);
    EXPECT_FALSE(panel->accessibilitySwitch()->isChecked());

    // Both ways: the switch grants, the session's change moves the switch.
    panel->accessibilitySwitch()->click();
    EXPECT_TRUE(session.accessibilityTrusted());
    session.setInputMonitoringGranted(true);
    EXPECT_TRUE(panel->inputMonitoringSwitch()->isChecked());
    panel->inputMonitoringSwitch()->click();
    EXPECT_FALSE(session.inputMonitoringGranted());

    // Another link reuses the panel; web links do not open it.
    session.workspace().openURL(
        QUrl(u"x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility"_s));
    EXPECT_EQ(windows.settingsPanel(), panel);
    EXPECT_EQ(panel->paneText(), u"Accessibility"_s);
    panel->close();
    flushDeletes();
    session.workspace().openURL(QUrl(u"https://keyloom.example/privacy"_s));
    EXPECT_EQ(windows.settingsPanel(), nullptr);
}
