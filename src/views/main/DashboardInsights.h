#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>

#include "models/SequenceRecord.h"
#include "services/UsageStore.h"

// One suggestion of the "Try Next" card.
struct SuggestedShortcut {
    QString name;
    QString keys;
    QString howTo;
};

// One bar of the usage chart. Made afresh at each redraw.
struct UsageEntry {
    QUuid id;
    QString day;
    QString type;  // the series name, always "Used"
    qint64 count = 0;
};

// The decisions of the dashboard's lower half, as plain functions of the usage store's values.
class DashboardInsights {
public:
    // The seven suggestions in the order they are offered.
    static const QList<SuggestedShortcut>& globalTopShortcuts();

    // The first suggestion whose name (compared whole and case-sensitively) is not the name of any
    // of `topShortcuts` (all of them, not only those shown); nothing when every one is taken.
    static std::optional<SuggestedShortcut> suggestion(const QList<SequenceRecord>& topShortcuts);

    // The records the top-shortcuts card lists: the first three.
    static QList<SequenceRecord> shownRecords(const QList<SequenceRecord>& topShortcuts);
    // The largest count among the shown records; 1 when there are none (or none is positive).
    static qint64 barScaleMaximum(const QList<SequenceRecord>& topShortcuts);
    // (rowWidth × count) ÷ maximum, kept within the track.
    static double fillWidth(double rowWidth, qint64 count, qint64 maximum);

    // True when every day has a count of 0: the chart gives way to the empty line.
    static bool isChartEmpty(const QList<DayUsage>& days);
    static QList<UsageEntry> chartEntries(const QList<DayUsage>& days);
    // The chart's category labels: the day labels, made distinct where they repeat (the chart
    // would otherwise merge two days into one bar). Repeats get invisible zero-width spaces.
    static QStringList categoryLabels(const QList<UsageEntry>& entries);
};
