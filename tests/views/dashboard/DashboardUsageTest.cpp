#include <QChartView>
#include <QLabel>

#include "DashboardFixture.h"
#include "support/Screenshot.h"
#include "views/main/DashboardSuggestionCard.h"
#include "views/main/DashboardTopShortcutsCard.h"
#include "views/main/DashboardUsageBar.h"
#include "views/main/DashboardUsageCard.h"
#include "views/shared/Style.h"
#include "views/shared/SymbolView.h"

using DashboardUsageTest = DashboardFixture;

TEST_F(DashboardUsageTest, NoUsageShowsEmptyLinesAndTheFirstSuggestion) {
    DashboardView& dashboard = showDashboard();
    const DashboardUsageCard& usage = *dashboard.usageCard();
    EXPECT_FALSE(usage.isShowingChart());
    EXPECT_FALSE(usage.emptyLabel()->isHidden());
    EXPECT_EQ(usage.emptyLabel()->text(),
              QStringLiteral("No usage recorded yet — trigger a shortcut in Excel to see stats."));

    const DashboardTopShortcutsCard& top = *dashboard.topShortcutsCard();
    EXPECT_EQ(top.rowCount(), 0);
    EXPECT_FALSE(top.emptyLabel()->isHidden());
    EXPECT_EQ(top.emptyLabel()->text(), QStringLiteral("No shortcuts used yet."));

    const DashboardSuggestionCard& suggestion = *dashboard.suggestionCard();
    EXPECT_FALSE(suggestion.isHidden());
    EXPECT_EQ(suggestion.name(), QStringLiteral("Paste Values"));
    EXPECT_EQ(suggestion.keys(), QStringLiteral("Alt E S V"));
    EXPECT_EQ(suggestion.howTo(), QStringLiteral("Copy a cell, then press Alt → E → S → V to paste only the values "
                                                 "(no formulas or formatting)."));
    // The two cards share the row equally.
    EXPECT_NEAR(top.width(), suggestion.width(), 1);
}

TEST_F(DashboardUsageTest, UsesTodayBringSevenBarsAtOnce) {
    DashboardView& dashboard = showDashboard();
    // Recorded while the dashboard is on screen: the store announces and the page redraws.
    store->record(QStringLiteral("58,4"), QStringLiteral("Fill Colour"));
    store->record(QStringLiteral("58,4"), QStringLiteral("Fill Colour"));
    settle();

    const DashboardUsageCard& usage = *dashboard.usageCard();
    EXPECT_TRUE(usage.isShowingChart());
    EXPECT_TRUE(usage.emptyLabel()->isHidden());
    EXPECT_EQ(usage.values(), QList<double>({0, 0, 0, 0, 0, 0, 2}));
    QStringList days;
    for (const DayUsage& d : store->last7DaysDetailed()) {
        days << d.day;
    }
    EXPECT_EQ(usage.categories(), days);
    EXPECT_EQ(usage.barColor(), Style::accent());
    EXPECT_EQ(usage.chartView()->height(), DashboardUsageCard::kChartHeight);
    EXPECT_FALSE(usage.chartView()->chart()->legend()->isVisible());

    EXPECT_EQ(dashboard.topShortcutsCard()->rowCount(), 1);
    EXPECT_EQ(dashboard.topShortcutsCard()->rowName(0), QStringLiteral("Fill Colour"));
    EXPECT_EQ(dashboard.topShortcutsCard()->rowCountText(0), QStringLiteral("2"));
}

TEST_F(DashboardUsageTest, TopThreeRowsWithBarsProportionalToTheLargest) {
    storeUsage({{dayKey(-2), 7}, {dayKey(0), 1234}},
               {{"AutoFit Column", 1234}, {"Paste Values", 617}, {"Fill Colour", 247}, {"Insert Row", 5}, {"Zoom", 1}});
    DashboardView& dashboard = showDashboard();
    const DashboardTopShortcutsCard& top = *dashboard.topShortcutsCard();
    ASSERT_EQ(top.rowCount(), 3);
    EXPECT_EQ(top.rowName(0), QStringLiteral("AutoFit Column"));
    EXPECT_EQ(top.rowName(1), QStringLiteral("Paste Values"));
    EXPECT_EQ(top.rowName(2), QStringLiteral("Fill Colour"));
    // Plain digits, no grouping.
    EXPECT_EQ(top.rowCountText(0), QStringLiteral("1234"));
    EXPECT_EQ(top.rowCountText(2), QStringLiteral("247"));

    const double width = top.rowBar(0)->width();
    ASSERT_GT(width, 100);
    EXPECT_EQ(top.rowBar(1)->width(), width);
    EXPECT_DOUBLE_EQ(top.rowBar(0)->fillWidth(), width);
    EXPECT_DOUBLE_EQ(top.rowBar(1)->fillWidth(), width * 617 / 1234);
    EXPECT_DOUBLE_EQ(top.rowBar(2)->fillWidth(), width * 247 / 1234);
    EXPECT_EQ(top.rowBar(0)->height(), 5);

    EXPECT_EQ(dashboard.usageCard()->values(), QList<double>({0, 0, 0, 0, 7, 0, 1234}));
    // "Paste Values" and "AutoFit Column" are taken; the next one is offered.
    EXPECT_EQ(dashboard.suggestionCard()->name(), QStringLiteral("All Borders"));
    EXPECT_EQ(dashboard.suggestionCard()->keys(), QStringLiteral("Alt H B A"));
}

TEST_F(DashboardUsageTest, SuggestionFollowsNewUsesAndDisappearsWhenAllAreUsed) {
    DashboardView& dashboard = showDashboard();
    store->record(QStringLiteral("1"), QStringLiteral("paste values"));
    settle();
    EXPECT_EQ(dashboard.suggestionCard()->name(), QStringLiteral("Paste Values"));
    store->record(QStringLiteral("2"), QStringLiteral("Paste Values"));
    settle();
    EXPECT_EQ(dashboard.suggestionCard()->name(), QStringLiteral("AutoFit Column"));

    int key = 10;
    for (const SuggestedShortcut& s : DashboardInsights::globalTopShortcuts()) {
        // Enough uses for each to stay among the five top records.
        for (int i = 0; i < 3; ++i) {
            store->record(QString::number(key), s.name);
        }
        ++key;
    }
    settle();
    // topShortcuts holds only five records, so two of the seven are still offered.
    EXPECT_FALSE(dashboard.suggestionCard()->isHidden());

    store.reset();
    view.reset();
    defaults.removeObjectForKey(QStringLiteral("usageRecords"));
    storeUsage(
        {{dayKey(0), 5}},
        {{"Paste Values", 9}, {"AutoFit Column", 8}, {"All Borders", 7}, {"Center Align", 6}, {"Insert Row", 5}});
    DashboardView& again = showDashboard();
    EXPECT_EQ(again.suggestionCard()->name(), QStringLiteral("Toggle Filter"));
}

TEST_F(DashboardUsageTest, ScreenshotsOfEachStatusWithAndWithoutUsage) {
    struct Shot {
        const char* name;
        bool usage, excel, paused, trusted, listening;
    };
    const QList<Shot> shots{
        {"dashboard_standby_empty", false, false, false, true, true},
        {"dashboard_standby_usage", true, false, false, true, true},
        {"dashboard_active_empty", false, true, false, true, true},
        {"dashboard_active_usage", true, true, false, true, true},
        {"dashboard_paused_empty", false, true, true, true, true},
        {"dashboard_paused_usage", true, true, true, true, true},
        {"dashboard_no_permission_empty", false, false, false, false, false},
        {"dashboard_no_permission_usage", true, true, false, true, false},
    };
    for (const Shot& shot : shots) {
        view.reset();
        store.reset();
        for (const auto& app : session.runningApplications()) {
            session.quit(app);
        }
        defaults.removeObjectForKey(QStringLiteral("usageRecords"));
        defaults.removeObjectForKey(QStringLiteral("usageDailyCounts"));
        if (shot.usage) {
            storeUsage({{dayKey(-6), 3}, {dayKey(-4), 12}, {dayKey(-3), 8}, {dayKey(-1), 15}, {dayKey(0), 6}},
                       {{"Paste Values", 18}, {"AutoFit Column", 11}, {"Fill Colour", 6}, {"Insert Row", 4}});
        }
        settings.setIsPaused(shot.paused);
        session.setAccessibilityTrusted(shot.trusted);
        session.setInputMonitoringGranted(shot.listening);
        DashboardView& dashboard = showDashboard();
        if (shot.excel) {
            launchExcel();
        }
        dashboard.resize(600, 760);
        settle();
        for (const SymbolView* symbol : dashboard.findChildren<SymbolView*>()) {
            EXPECT_TRUE(symbol->hasGlyph()) << symbol->name().toStdString();
        }
        EXPECT_FALSE(saveScreenshot(dashboard, QString::fromUtf8(shot.name)).isEmpty()) << shot.name;
    }
}
