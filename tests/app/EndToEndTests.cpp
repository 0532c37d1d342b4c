#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "AppHarness.h"
#include "app/WindowManager.h"
#include "platform/qt/widgets/SimSessionWindows.h"
#include "platform/qt/widgets/SimSpreadsheetWindow.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimSpreadsheet.h"
#include "services/UsageStore.h"
#include "support/Screenshot.h"
#include "views/main/DashboardExcelHeader.h"
#include "views/main/DashboardTopShortcutsCard.h"
#include "views/main/DashboardView.h"
#include "views/main/MainWindowView.h"

using namespace Qt::StringLiterals;

namespace {

class EndToEndTest : public ::testing::Test, public AppTestBase {};

}  // namespace

// A newcomer's first minutes: open the spreadsheet from the dashboard, type Alt, H, B, A in it,
// and watch All Borders applied through Format Cells, reported and counted on the dashboard.
TEST_F(EndToEndTest, AltHBAInTheSimulatedSpreadsheetAppliesAllBorders) {
    auto app = makeApp();
    app->launch();
    auto* main = qobject_cast<MainWindowView*>(app->delegate->windowManager()->mainWindow());
    ASSERT_NE(main, nullptr);
    DashboardView* dashboard = main->dashboard();
    ASSERT_NE(dashboard, nullptr);

    // "Open Excel" on the dashboard launches the simulated spreadsheet in a window of its own.
    SimSessionWindows& sessionWindows = app->services->sessionWindows();
    EXPECT_EQ(sessionWindows.spreadsheetWindow(), nullptr);
    QTest::mouseClick(dashboard->excelHeader()->openExcelButton(), Qt::LeftButton);
    SimSpreadsheetWindow* excelWindow = sessionWindows.spreadsheetWindow();
    ASSERT_NE(excelWindow, nullptr);
    EXPECT_TRUE(excelWindow->isVisible());
    EXPECT_EQ(excelWindow->workbookTitleText(), sessionWindows.spreadsheet()->workbookTitle());

    // Alt pressed and released, then H, B, A, each typed through the session's taps.
    QTest::keyPress(excelWindow, Qt::Key_Alt);
    QTest::keyRelease(excelWindow, Qt::Key_Alt);
    QTest::keyClick(excelWindow, Qt::Key_H);
    QTest::keyClick(excelWindow, Qt::Key_B);
    QTest::keyClick(excelWindow, Qt::Key_A);
    app->scheduler.advance(5.0);

    EXPECT_EQ(excelWindow->typedLines(), (QStringList{u"⌥ down — swallowed"_s, u"⌥ up — passed"_s, u"H — swallowed"_s,
                                                      u"B — swallowed"_s, u"A — swallowed"_s}));
    const QStringList log = sessionWindows.spreadsheet()->log();
    EXPECT_EQ(log, (QStringList{u"key ⌘1"_s, u"open Format Cells"_s, u"tab Border"_s, u"border Outline"_s,
                                u"border Inside"_s, u"OK Format Cells"_s}));
    EXPECT_EQ(excelWindow->logLines(), log);

    // Reported to analytics and crash reporting, counted and shown on the dashboard.
    // Events go out side by side, so they may arrive in either order.
    EXPECT_TRUE(servers.waitForAnalyticsEvent(u"shortcut_used"_s));
    EXPECT_TRUE(servers.waitForAnalyticsEvent(u"shortcut_triggered"_s));
    bool triggered = false;
    for (const QJsonObject& event : servers.analyticsEvents()) {
        if (event.value(u"event"_s).toString() == u"shortcut_triggered") {
            triggered = event.value(u"properties"_s).toObject().value(u"sequence"_s).toString() == u"4,11,0";
        }
    }
    EXPECT_TRUE(triggered);
    EXPECT_TRUE(servers.waitForCrashMessage(u"[ShortcutEngine] Sequence matched: [4,11,0]"_s));
    EXPECT_EQ(app->services->usageStore().totalCount(), 1);
    app->scheduler.runPending();
    DashboardTopShortcutsCard* top = dashboard->topShortcutsCard();
    ASSERT_EQ(top->rowCount(), 1);
    EXPECT_EQ(top->rowName(0), u"All Borders"_s);
    EXPECT_TRUE(top->rowCountText(0).contains(u"1"_s)) << top->rowCountText(0).toStdString();

    EXPECT_FALSE(saveScreenshot(*main, u"app_main_window_after_alt_h_b_a"_s).isEmpty());
    EXPECT_FALSE(saveScreenshot(*excelWindow, u"app_sim_spreadsheet_after_alt_h_b_a"_s).isEmpty());
}
