#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include "models/SequenceRecord.h"

class Clock;
class PostHogService;
class UserDefaults;

// One bar of the dashboard's seven-day chart.
struct DayUsage {
    QString day;        // abbreviated weekday name in the user's locale
    qint64 normal = 0;  // uses counted on that day

    bool operator==(const DayUsage&) const = default;
};

// Local usage statistics of the recognised shortcuts: uses per calendar day and, per key
// sequence, its name and count. Persisted in the user defaults after every use; nothing is ever
// removed. Counts stop at the largest 64-bit value instead of wrapping. Main thread only.
class UsageStore : public QObject {
    Q_OBJECT
public:
    // Loads the persisted counts at once; unreadable values (of another kind, or counts below 1)
    // start empty and are overwritten at the next use.
    UsageStore(UserDefaults& defaults, Clock& clock, PostHogService& analytics, QObject* parent = nullptr);

    // Counts one use of `sequence` (the comma-joined key codes) shown as `name`, sends
    // "shortcut_used" and persists.
    void record(const QString& sequence, const QString& name);

    // Day key ("yyyy-MM-dd", local calendar) to uses on that day.
    QMap<QString, qint64> dailyCounts() const { return m_dailyCounts; }
    // Sequence key to its usage.
    QHash<QString, SequenceRecord> records() const { return m_records; }

    // Exactly seven entries, oldest first, the last one for today.
    QList<DayUsage> last7DaysDetailed() const;
    // At most five records, most used first; equal counts keep the dictionary's order.
    QList<SequenceRecord> topShortcuts() const;
    // The sum of all day counts.
    qint64 totalCount() const;

signals:
    // Sent before each change of the day counts or of the records.
    void objectWillChange();

private:
    void updateRecord(const QString& sequence, const QString& name);
    QString todayKey() const;
    void persist();
    void load();

    UserDefaults& m_defaults;
    Clock& m_clock;
    PostHogService& m_analytics;
    QMap<QString, qint64> m_dailyCounts;
    QHash<QString, SequenceRecord> m_records;
};
