#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <ctime>
#include <limits>

#include "platform/UserDefaults.h"
#include "platform/qt/PlistUserDefaults.h"
#include "platform/sim/ManualScheduler.h"
#include "services/PostHogService.h"
#include "services/UsageStore.h"
#include "support/HttpTestServer.h"

namespace {

// Runs the test in a fixed local time zone far from UTC, so that day keys taken in UTC would
// land on the wrong day, and in English so that weekday labels are predictable.
class ScopedZoneAndLocale {
public:
    explicit ScopedZoneAndLocale(const char* tz) : m_oldTz(qgetenv("TZ")), m_hadTz(qEnvironmentVariableIsSet("TZ")) {
        qputenv("TZ", tz);
        tzset();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    ~ScopedZoneAndLocale() {
        if (m_hadTz) {
            qputenv("TZ", m_oldTz);
        } else {
            qunsetenv("TZ");
        }
        tzset();
        QLocale::setDefault(QLocale::system());
    }

private:
    QByteArray m_oldTz;
    bool m_hadTz;
};

class UsageStoreTest : public ::testing::Test {
protected:
    ScopedZoneAndLocale zone{"<+14>-14"};
    ManualScheduler clock{QDateTime(QDate(2026, 1, 15), QTime(12, 0))};  // a Thursday
    UserDefaults defaults;
    HttpTestServer server;
    PostHogService analytics{server.url(QStringLiteral("/capture/"))};

    QList<QJsonObject> usedEvents(int count) {
        EXPECT_TRUE(server.waitForRequests(count));
        QList<QJsonObject> events;
        for (const RecordedRequest& r : server.requests()) {
            events.append(QJsonDocument::fromJson(r.body).object());
        }
        return events;
    }
};

}  // namespace

TEST_F(UsageStoreTest, StartsEmptyWithoutStoredData) {
    UsageStore store(defaults, clock, analytics);
    const QList<DayUsage> days = store.last7DaysDetailed();
    ASSERT_EQ(days.size(), 7);
    QStringList labels;
    for (const DayUsage& d : days) {
        labels << d.day;
        EXPECT_EQ(d.normal, 0);
    }
    EXPECT_EQ(labels, (QStringList{"Fri", "Sat", "Sun", "Mon", "Tue", "Wed", "Thu"}));
    EXPECT_TRUE(store.topShortcuts().isEmpty());
    EXPECT_EQ(store.totalCount(), 0);
}

// Counting, the first name kept, the event per use, and the persisted forms after each use.
TEST_F(UsageStoreTest, RecordsCountsSendsTotalsAndPersists) {
    UsageStore store(defaults, clock, analytics);
    QSignalSpy willChange(&store, &UsageStore::objectWillChange);
    QSignalSpy defaultsChanged(&defaults, &UserDefaults::didChange);

    store.record(QStringLiteral("4,11,0"), QStringLiteral("Bold"));
    EXPECT_EQ(willChange.count(), 2);       // the day counts, then the records
    EXPECT_EQ(defaultsChanged.count(), 2);  // two separate writes
    store.record(QStringLiteral("4,11,0"), QStringLiteral("Renamed"));
    store.record(QStringLiteral("4,11,0"), QStringLiteral("Bold"));
    store.record(QStringLiteral("1,2"), QStringLiteral("Other"));

    EXPECT_EQ(store.records().value(QStringLiteral("4,11,0")), (SequenceRecord{QStringLiteral("Bold"), 3}));
    EXPECT_EQ(store.dailyCounts(), (QMap<QString, qint64>{{QStringLiteral("2026-01-15"), 4}}));
    EXPECT_EQ(store.totalCount(), 4);
    EXPECT_EQ(store.last7DaysDetailed().last().normal, 4);

    QList<qint64> totals;
    QStringList names;
    for (const QJsonObject& e : usedEvents(4)) {
        EXPECT_EQ(e.value(QStringLiteral("event")).toString(), QStringLiteral("shortcut_used"));
        const QJsonObject p = e.value(QStringLiteral("properties")).toObject();
        totals << p.value(QStringLiteral("total_uses")).toInteger();
        names << p.value(QStringLiteral("shortcut_name")).toString();
    }
    std::sort(totals.begin(), totals.end());
    EXPECT_EQ(totals, (QList<qint64>{1, 1, 2, 3}));
    // The event carries the name given with this use, the record keeps the first.
    EXPECT_TRUE(names.contains(QStringLiteral("Renamed")));

    const auto daily = defaults.dictionaryForKey(QStringLiteral("usageDailyCounts"));
    ASSERT_TRUE(daily.has_value());
    EXPECT_EQ(daily->value(QStringLiteral("2026-01-15")).toLongLong(), 4);
    const QJsonObject records =
        QJsonDocument::fromJson(defaults.dataForKey(QStringLiteral("usageRecords")).value_or(QByteArray())).object();
    EXPECT_EQ(records.value(QStringLiteral("4,11,0")).toObject(),
              (QJsonObject{{QStringLiteral("name"), QStringLiteral("Bold")}, {QStringLiteral("count"), 3}}));
    EXPECT_EQ(records.size(), 2);
}

TEST_F(UsageStoreTest, UsesAroundLocalMidnightCountForTheirOwnDays) {
    ManualScheduler late{QDateTime(QDate(2026, 1, 15), QTime(23, 59, 30))};
    UsageStore store(defaults, late, analytics);
    store.record(QStringLiteral("1"), QStringLiteral("A"));
    late.advance(45);  // 00:00:15 local on the 16th, still the 15th in UTC
    store.record(QStringLiteral("1"), QStringLiteral("A"));
    store.record(QStringLiteral("1"), QStringLiteral("A"));
    EXPECT_EQ(store.dailyCounts(),
              (QMap<QString, qint64>{{QStringLiteral("2026-01-15"), 1}, {QStringLiteral("2026-01-16"), 2}}));
    const QList<DayUsage> days = store.last7DaysDetailed();
    EXPECT_EQ(days.last().day, QStringLiteral("Fri"));
    EXPECT_EQ(days.last().normal, 2);
    EXPECT_EQ(days[5].normal, 1);

    // A week later the old days fall out of the chart but stay in the totals.
    late.advance(7 * 86400);
    for (const DayUsage& d : store.last7DaysDetailed())
        EXPECT_EQ(d.normal, 0);
    EXPECT_EQ(store.totalCount(), 3);
}

TEST_F(UsageStoreTest, TopShortcutsSortByCountKeepingTiesAndStopAtFive) {
    UsageStore store(defaults, clock, analytics);
    auto use = [&](const QString& key, int times) {
        for (int i = 0; i < times; ++i)
            store.record(key, QStringLiteral("name ") + key);
    };
    use(QStringLiteral("a"), 5);
    use(QStringLiteral("b"), 5);
    use(QStringLiteral("c"), 2);
    for (const char* key : {"d", "e", "f", "g"})
        use(QString::fromLatin1(key), 1);

    const QList<SequenceRecord> top = store.topShortcuts();
    ASSERT_EQ(top.size(), 5);
    QList<qint64> counts;
    for (const SequenceRecord& r : top)
        counts << r.count;
    EXPECT_EQ(counts, (QList<qint64>{5, 5, 2, 1, 1}));
    // Equal counts keep the dictionary's own order.
    QStringList ones;
    for (const SequenceRecord& r : store.records()) {
        if (r.count == 1)
            ones << r.name;
    }
    EXPECT_EQ(top[3].name, ones[0]);
    EXPECT_EQ(top[4].name, ones[1]);
}

TEST_F(UsageStoreTest, UnreadableStoredDataLoadsEmptyAndIsOverwritten) {
    defaults.setObject(
        QVariantMap{{QStringLiteral("2026-01-14"), 3}, {QStringLiteral("2026-01-13"), QStringLiteral("2")}},
        QStringLiteral("usageDailyCounts"));
    defaults.setObject(QByteArray(R"({"1,2":{"name":"Bold"}})"), QStringLiteral("usageRecords"));
    UsageStore store(defaults, clock, analytics);
    EXPECT_TRUE(store.dailyCounts().isEmpty());
    EXPECT_TRUE(store.records().isEmpty());

    store.record(QStringLiteral("9"), QStringLiteral("New"));
    UsageStore reopened(defaults, clock, analytics);
    EXPECT_EQ(reopened.dailyCounts(), (QMap<QString, qint64>{{QStringLiteral("2026-01-15"), 1}}));
    EXPECT_EQ(reopened.records(), (QHash<QString, SequenceRecord>{{QStringLiteral("9"), {QStringLiteral("New"), 1}}}));
}

TEST_F(UsageStoreTest, LoadAcceptsOnlyWellFormedValues) {
    struct Case {
        QVariant daily;
        QVariant records;
        bool dailyLoads;
        bool recordsLoads;
    };
    const QVariantMap goodDaily{{QStringLiteral("2026-01-14"), qint64{3}}, {QStringLiteral("2026-01-13"), 2.0}};
    const QByteArray goodRecords = R"({"1":{"count":2,"name":"A","extra":true}})";
    const QList<Case> cases{
        {goodDaily, goodRecords, true, true},
        {QVariantList{1, 2}, QStringLiteral("not data"), false, false},
        {QVariantMap{{QStringLiteral("d"), true}}, QByteArray("[1,2]"), false, false},
        {QVariantMap{{QStringLiteral("d"), 2.5}}, QByteArray(R"({"1":{"name":"A","count":1.5}})"), false, false},
        {QVariantMap{}, QByteArray(R"({"1":{"name":7,"count":1}})"), false, false},
        {QVariant(), QByteArray(R"({"1":{"name":"A","count":1e30}})"), false, false},
        {QVariant(), QByteArray("{truncated"), false, false},
        // A count is at least 1.
        {QVariantMap{{QStringLiteral("d"), qint64{0}}}, QByteArray(R"({"1":{"name":"A","count":0}})"), false, false},
        {QVariantMap{{QStringLiteral("d"), qint64{-3}}, {QStringLiteral("e"), qint64{2}}},
         QByteArray(R"({"1":{"name":"A","count":-1},"2":{"name":"B","count":4}})"), false, false},
    };
    for (const Case& c : cases) {
        UserDefaults store;
        store.setObject(c.daily, QStringLiteral("usageDailyCounts"));
        store.setObject(c.records, QStringLiteral("usageRecords"));
        UsageStore usage(store, clock, analytics);
        EXPECT_EQ(!usage.dailyCounts().isEmpty(), c.dailyLoads) << c.daily.typeName();
        EXPECT_EQ(!usage.records().isEmpty(), c.recordsLoads) << c.records.toString().toStdString();
    }
    UserDefaults good;
    good.setObject(goodDaily, QStringLiteral("usageDailyCounts"));
    good.setObject(goodRecords, QStringLiteral("usageRecords"));
    UsageStore usage(good, clock, analytics);
    EXPECT_EQ(usage.totalCount(), 5);
    EXPECT_EQ(usage.records().value(QStringLiteral("1")), (SequenceRecord{QStringLiteral("A"), 2}));
}

// A count stored at the 64-bit limit stays there: no crash, no wrap to a negative number.
TEST_F(UsageStoreTest, CountsAtTheLimitSaturate) {
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    defaults.setObject(QVariantMap{{QStringLiteral("2026-01-15"), max}, {QStringLiteral("2026-01-14"), max}},
                       QStringLiteral("usageDailyCounts"));
    defaults.setObject(QByteArray(R"({"1":{"name":"A","count":9223372036854775807}})"), QStringLiteral("usageRecords"));
    UsageStore store(defaults, clock, analytics);
    ASSERT_EQ(store.records().value(QStringLiteral("1")).count, max);

    store.record(QStringLiteral("1"), QStringLiteral("A"));
    EXPECT_EQ(store.records().value(QStringLiteral("1")).count, max);
    EXPECT_EQ(store.dailyCounts().value(QStringLiteral("2026-01-15")), max);
    EXPECT_EQ(store.totalCount(), max);
    const QJsonObject event = usedEvents(1).first();
    EXPECT_EQ(event.value(QStringLiteral("properties")).toObject().value(QStringLiteral("total_uses")).toInteger(),
              max);

    UsageStore reopened(defaults, clock, analytics);
    EXPECT_EQ(reopened.records().value(QStringLiteral("1")).count, max);
}

// Stored counts beyond 64 bits are unreadable, not wrapped: nothing is counted from them, and the file keeps
// them as they are until the next recorded use replaces them.
TEST_F(UsageStoreTest, OutOfRangeStoredCountsAreUnreadableNotWrapped) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.plist"));
    const QByteArray huge = QByteArray("18446744073709551") + "615";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<plist><dict><key>usageDailyCounts</key><dict><key>2026-01-14</key><integer>" + huge +
               "</integer><key>2026-01-13</key><integer>3</integer></dict><key>isPaused</key><true/></dict></plist>");
    file.close();

    PlistUserDefaults defaults(path);
    UsageStore store(defaults, clock, analytics);
    EXPECT_TRUE(store.dailyCounts().isEmpty());
    EXPECT_EQ(store.totalCount(), 0);
    defaults.setString(QStringLiteral("id"), QStringLiteral("deviceId"));  // a write at start-up
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("<integer>" + huge + "</integer>"));
    file.close();

    store.record(QStringLiteral("1"), QStringLiteral("A"));
    PlistUserDefaults reopened(path);
    EXPECT_EQ(UsageStore(reopened, clock, analytics).dailyCounts(),
              (QMap<QString, qint64>{{QStringLiteral("2026-01-15"), 1}}));
    EXPECT_TRUE(reopened.boolForKey(QStringLiteral("isPaused")));
}

// Everything recorded survives a reopen of the real defaults file, kinds included.
TEST_F(UsageStoreTest, PersistsAcrossAReopenOfTheDefaultsFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.plist"));
    {
        PlistUserDefaults file(path);
        UsageStore store(file, clock, analytics);
        store.record(QStringLiteral("4,11,0"), QStringLiteral("Bold"));
        clock.advance(86400);
        store.record(QStringLiteral("4,11,0"), QStringLiteral("Bold"));
        store.record(QStringLiteral("1,2"), QStringLiteral("Fill \"Right\" → ⌘"));
    }
    PlistUserDefaults reopened(path);
    EXPECT_TRUE(reopened.movedAsidePath().isEmpty());
    EXPECT_EQ(reopened.objectForKey(QStringLiteral("usageRecords")).typeId(), QMetaType::QByteArray);
    UsageStore store(reopened, clock, analytics);
    EXPECT_EQ(store.dailyCounts(),
              (QMap<QString, qint64>{{QStringLiteral("2026-01-15"), 1}, {QStringLiteral("2026-01-16"), 2}}));
    EXPECT_EQ(store.records(),
              (QHash<QString, SequenceRecord>{{QStringLiteral("4,11,0"), {QStringLiteral("Bold"), 2}},
                                              {QStringLiteral("1,2"), {QStringLiteral("Fill \"Right\" → ⌘"), 1}}}));
    EXPECT_EQ(store.totalCount(), 3);

    // A count at the limit goes through the file unchanged.
    reopened.setObject(QVariantMap{{QStringLiteral("2026-01-16"), std::numeric_limits<qint64>::max()}},
                       QStringLiteral("usageDailyCounts"));
    PlistUserDefaults again(path);
    EXPECT_EQ(UsageStore(again, clock, analytics).totalCount(), std::numeric_limits<qint64>::max());
}
