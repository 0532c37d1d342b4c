#include <gtest/gtest.h>

#include <QSet>

#include "platform/sim/SimSession.h"
#include "views/main/DashboardInsights.h"
#include "views/main/EngineStatus.h"
#include "views/shared/Style.h"

namespace {

QList<SequenceRecord> records(const QList<QPair<QString, qint64>>& list) {
    QList<SequenceRecord> out;
    for (const auto& [name, count] : list) {
        out.append({name, count});
    }
    return out;
}

QList<DayUsage> week(const QList<qint64>& counts) {
    const QStringList labels{"Fri", "Sat", "Sun", "Mon", "Tue", "Wed", "Thu"};
    QList<DayUsage> days;
    for (int i = 0; i < counts.size(); ++i) {
        days.append({labels[i % labels.size()], counts[i]});
    }
    return days;
}

}  // namespace

TEST(EngineStatusTest, MembersOfEachStatus) {
    struct Row {
        EngineStatus status;
        QColor color;
        const char* icon;
        const char* label;
        const char* description;
        const char* help;
    };
    const QList<Row> rows{
        {EngineStatus::active, Style::green(), "power.circle.fill", "Monitoring Excel",
         "Shortcuts are live and tracking your activity.", "Click to pause"},
        {EngineStatus::standby, Style::accent(), "power.circle", "Ready", "Open Excel to activate shortcuts.",
         "Click to open Excel"},
        {EngineStatus::paused, Style::orange(), "pause.circle.fill", "Paused",
         "Shortcuts paused. Click the icon to resume.", "Click to resume"},
        {EngineStatus::noPermission, Style::red(), "exclamationmark.triangle.fill", "Permissions Required",
         "Permissions required to activate shortcuts. Grant access below.", "Restore accessibility permission"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(EngineStatuses::color(row.status), row.color);
        EXPECT_EQ(EngineStatuses::icon(row.status), QString::fromUtf8(row.icon));
        EXPECT_EQ(EngineStatuses::label(row.status), QString::fromUtf8(row.label));
        EXPECT_EQ(EngineStatuses::description(row.status), QString::fromUtf8(row.description));
        EXPECT_EQ(EngineStatuses::buttonHelp(row.status), QString::fromUtf8(row.help));
    }
}

TEST(EngineStatusTest, RuleRanksPermissionsThenPauseThenExcel) {
    SimSession session;
    struct Case {
        bool trusted, listening, paused, excel;
        EngineStatus expected;
    };
    const QList<Case> cases{
        {true, true, false, true, EngineStatus::active},
        {true, true, false, false, EngineStatus::standby},
        {true, true, true, false, EngineStatus::paused},
        {true, true, true, true, EngineStatus::paused},
        {false, true, true, true, EngineStatus::noPermission},
        {true, false, false, true, EngineStatus::noPermission},
        {false, false, false, false, EngineStatus::noPermission},
    };
    for (const Case& c : cases) {
        session.setAccessibilityTrusted(c.trusted);
        session.setInputMonitoringGranted(c.listening);
        EXPECT_EQ(EngineStatuses::evaluate(session.accessibility(), session.events(), c.paused, c.excel), c.expected)
            << c.trusted << c.listening << c.paused << c.excel;
    }
}

TEST(EngineStatusTest, PowerTapActionPerStatus) {
    EXPECT_EQ(EngineStatuses::powerTapAction(EngineStatus::active), PowerTapAction::pause);
    EXPECT_EQ(EngineStatuses::powerTapAction(EngineStatus::standby), PowerTapAction::openExcel);
    EXPECT_EQ(EngineStatuses::powerTapAction(EngineStatus::paused), PowerTapAction::resume);
    EXPECT_EQ(EngineStatuses::powerTapAction(EngineStatus::noPermission), PowerTapAction::promptAccessibility);
}

TEST(SuggestionTest, WalksTheTableSkippingNamesAlreadyUsed) {
    const auto& table = DashboardInsights::globalTopShortcuts();
    ASSERT_EQ(table.size(), 7);
    EXPECT_EQ(table[0].howTo,
              QStringLiteral("Copy a cell, then press Alt → E → S → V to paste only the values (no formulas or "
                             "formatting)."));
    EXPECT_EQ(table[5].keys, QStringLiteral("Alt A T"));

    const auto none = DashboardInsights::suggestion({});
    ASSERT_TRUE(none);
    EXPECT_EQ(none->name, QStringLiteral("Paste Values"));
    EXPECT_EQ(none->keys, QStringLiteral("Alt E S V"));

    EXPECT_EQ(DashboardInsights::suggestion(records({{"Paste Values", 3}}))->name, QStringLiteral("AutoFit Column"));
    EXPECT_EQ(DashboardInsights::suggestion(records({{"AutoFit Column", 9}, {"Paste Values", 3}}))->name,
              QStringLiteral("All Borders"));

    // All records count, also those beyond the three shown.
    const auto fifth = records({{"A", 9}, {"B", 8}, {"C", 7}, {"D", 6}, {"Paste Values", 5}});
    EXPECT_EQ(DashboardInsights::suggestion(fifth)->name, QStringLiteral("AutoFit Column"));
}

TEST(SuggestionTest, NamesCompareWholeAndCaseSensitive) {
    EXPECT_EQ(DashboardInsights::suggestion(records({{"paste values", 3}}))->name, QStringLiteral("Paste Values"));
    EXPECT_EQ(DashboardInsights::suggestion(records({{"Paste Values ", 3}}))->name, QStringLiteral("Paste Values"));
    EXPECT_EQ(DashboardInsights::suggestion(records({{"Paste", 3}}))->name, QStringLiteral("Paste Values"));

    QList<SequenceRecord> all;
    for (const SuggestedShortcut& s : DashboardInsights::globalTopShortcuts()) {
        all.append({s.name, 1});
    }
    EXPECT_FALSE(DashboardInsights::suggestion(all).has_value());
}

TEST(BarScaleTest, LargestShownCountFillsTheTrack) {
    const auto five = records({{"A", 10}, {"B", 5}, {"C", 2}, {"D", 50}, {"E", 1}});
    // Only the first three are shown; the fourth's larger count does not enter the scale.
    EXPECT_EQ(DashboardInsights::shownRecords(five).size(), 3);
    EXPECT_EQ(DashboardInsights::barScaleMaximum(five), 10);
    EXPECT_DOUBLE_EQ(DashboardInsights::fillWidth(200, 10, 10), 200);
    EXPECT_DOUBLE_EQ(DashboardInsights::fillWidth(200, 5, 10), 100);
    EXPECT_DOUBLE_EQ(DashboardInsights::fillWidth(200, 2, 10), 40);
    EXPECT_DOUBLE_EQ(DashboardInsights::fillWidth(333, 1, 3), 111);

    EXPECT_EQ(DashboardInsights::barScaleMaximum({}), 1);
    // A damaged store never divides by zero nor overflows the track.
    EXPECT_EQ(DashboardInsights::barScaleMaximum(records({{"A", 0}})), 1);
    EXPECT_DOUBLE_EQ(DashboardInsights::fillWidth(100, 5, 0), 0);
    EXPECT_DOUBLE_EQ(DashboardInsights::fillWidth(100, -3, 1), 0);
    EXPECT_DOUBLE_EQ(DashboardInsights::fillWidth(100, 7, 5), 100);
}

TEST(ChartEntriesTest, SevenUsedEntriesAndTheEmptyTest) {
    EXPECT_TRUE(DashboardInsights::isChartEmpty(week({0, 0, 0, 0, 0, 0, 0})));
    EXPECT_FALSE(DashboardInsights::isChartEmpty(week({0, 0, 0, 0, 0, 0, 1})));
    EXPECT_FALSE(DashboardInsights::isChartEmpty(week({1, 0, 0, 0, 0, 0, 0})));

    const QList<UsageEntry> entries = DashboardInsights::chartEntries(week({0, 0, 0, 0, 0, 0, 4}));
    ASSERT_EQ(entries.size(), 7);
    QSet<QUuid> ids;
    for (const UsageEntry& e : entries) {
        EXPECT_EQ(e.type, QStringLiteral("Used"));
        ids.insert(e.id);
    }
    EXPECT_EQ(ids.size(), 7);
    EXPECT_EQ(entries[0].day, QStringLiteral("Fri"));
    EXPECT_EQ(entries[6].count, 4);
}

TEST(ChartEntriesTest, RepeatedDayLabelsStayDistinctCategories) {
    QList<DayUsage> days{{"Mo", 1}, {"Tu", 2}, {"Mo", 3}, {"Mo", 0}};
    const QStringList labels = DashboardInsights::categoryLabels(DashboardInsights::chartEntries(days));
    ASSERT_EQ(labels.size(), 4);
    EXPECT_EQ(QSet<QString>(labels.begin(), labels.end()).size(), 4);
    EXPECT_EQ(labels[0], QStringLiteral("Mo"));
    // The added characters do not show.
    EXPECT_EQ(QString(labels[2]).remove(QChar(0x200B)), QStringLiteral("Mo"));
    EXPECT_EQ(QString(labels[3]).remove(QChar(0x200B)), QStringLiteral("Mo"));
}
