#include "services/UsageStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "platform/Clock.h"
#include "platform/UserDefaults.h"
#include "platform/VariantInteger.h"
#include "services/PostHogService.h"

namespace {

const QString dailyCountsKey = QStringLiteral("usageDailyCounts");
const QString recordsKey = QStringLiteral("usageRecords");
const QString dayKeyFormat = QStringLiteral("yyyy-MM-dd");

// A stored count at the limit stays there rather than wrapping to a negative number.
qint64 saturatingAdd(qint64 a, qint64 b) {
    qint64 sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    }
    return sum;
}

// A property-list integer; reals only when they are whole numbers in range. Booleans and
// strings are not integers.
std::optional<qint64> plistInteger(const QVariant& value) {
    if (const auto integer = integerFromVariant(value)) {
        return integer;
    }
    switch (value.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = value.toDouble();
            if (!std::isfinite(d) || std::trunc(d) != d || d < -9.2233720368547758e18 || d >= 9.2233720368547758e18) {
                return std::nullopt;
            }
            return static_cast<qint64>(d);
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

UsageStore::UsageStore(UserDefaults& defaults, Clock& clock, PostHogService& analytics, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_clock(clock), m_analytics(analytics) {
    load();
}

void UsageStore::record(const QString& sequence, const QString& name) {
    const QString day = todayKey();
    emit objectWillChange();
    m_dailyCounts.insert(day, saturatingAdd(m_dailyCounts.value(day, 0), 1));
    updateRecord(sequence, name);
    m_analytics.capture(QStringLiteral("shortcut_used"),
                        {{QStringLiteral("shortcut_name"), name},
                         {QStringLiteral("total_uses"), m_records.value(sequence, SequenceRecord{name, 1}).count}});
    persist();
}

void UsageStore::updateRecord(const QString& sequence, const QString& name) {
    emit objectWillChange();
    auto it = m_records.find(sequence);
    if (it != m_records.end()) {
        it->count = saturatingAdd(it->count, 1);
    } else {
        m_records.insert(sequence, SequenceRecord{name, 1});
    }
}

QString UsageStore::todayKey() const {
    return m_clock.now().toLocalTime().date().toString(dayKeyFormat);
}

QList<DayUsage> UsageStore::last7DaysDetailed() const {
    const QLocale locale;
    const QDate today = m_clock.now().toLocalTime().date();
    QList<DayUsage> days;
    days.reserve(7);
    for (int offset = -6; offset <= 0; ++offset) {
        const QDate date = today.addDays(offset);
        days.append(DayUsage{locale.toString(date, QStringLiteral("ddd")),
                             m_dailyCounts.value(date.toString(dayKeyFormat), 0)});
    }
    return days;
}

QList<SequenceRecord> UsageStore::topShortcuts() const {
    QList<SequenceRecord> all = m_records.values();
    std::stable_sort(all.begin(), all.end(),
                     [](const SequenceRecord& a, const SequenceRecord& b) { return a.count > b.count; });
    if (all.size() > 5) {
        all.resize(5);
    }
    return all;
}

qint64 UsageStore::totalCount() const {
    qint64 total = 0;
    for (qint64 count : m_dailyCounts) {
        total = saturatingAdd(total, count);
    }
    return total;
}

void UsageStore::persist() {
    QVariantMap daily;
    for (auto it = m_dailyCounts.cbegin(); it != m_dailyCounts.cend(); ++it) {
        daily.insert(it.key(), QVariant::fromValue<qint64>(it.value()));
    }
    m_defaults.setObject(daily, dailyCountsKey);

    QJsonObject records;
    for (auto it = m_records.cbegin(); it != m_records.cend(); ++it) {
        records.insert(it.key(), it->toJson());
    }
    m_defaults.setObject(QJsonDocument(records).toJson(QJsonDocument::Compact), recordsKey);
}

void UsageStore::load() {
    m_dailyCounts.clear();
    m_records.clear();

    if (const auto stored = m_defaults.dictionaryForKey(dailyCountsKey)) {
        QMap<QString, qint64> counts;
        bool allIntegers = true;
        for (auto it = stored->cbegin(); it != stored->cend() && allIntegers; ++it) {
            const auto count = plistInteger(it.value());
            // Only counted days are stored: a count below 1 is as unreadable as a string.
            allIntegers = count && *count >= 1;
            if (allIntegers) {
                counts.insert(it.key(), *count);
            }
        }
        if (allIntegers) {
            m_dailyCounts = counts;
        }
    }

    if (const auto data = m_defaults.dataForKey(recordsKey)) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(*data, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            return;
        }
        const QJsonObject object = document.object();
        QHash<QString, SequenceRecord> records;
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            const auto record = SequenceRecord::fromJson(it.value());
            if (!record || record->count < 1) {
                return;
            }
            records.insert(it.key(), *record);
        }
        m_records = records;
    }
}
