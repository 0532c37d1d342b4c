#include "views/main/DashboardInsights.h"

#include <QSet>
#include <algorithm>

const QList<SuggestedShortcut>& DashboardInsights::globalTopShortcuts() {
    static const QList<SuggestedShortcut> list{
        {QStringLiteral("Paste Values"), QStringLiteral("Alt E S V"),
         QStringLiteral("Copy a cell, then press Alt → E → S → V to paste only the values (no formulas or "
                        "formatting).")},
        {QStringLiteral("AutoFit Column"), QStringLiteral("Alt H O I"),
         QStringLiteral("Select a column, then press Alt → H → O → I to auto-resize it to fit the widest cell.")},
        {QStringLiteral("All Borders"), QStringLiteral("Alt H B A"),
         QStringLiteral("Select a range, then press Alt → H → B → A to apply borders to all cell edges.")},
        {QStringLiteral("Center Align"), QStringLiteral("Alt H A C"),
         QStringLiteral("Select cells, then press Alt → H → A → C to center-align the content horizontally.")},
        {QStringLiteral("Insert Row"), QStringLiteral("Alt H I R"),
         QStringLiteral("Select a row, then press Alt → H → I → R to insert a new row above it.")},
        {QStringLiteral("Toggle Filter"), QStringLiteral("Alt A T"),
         QStringLiteral("Click any cell in your data, then press Alt → A → T to turn filters on or off.")},
        {QStringLiteral("Delete Row"), QStringLiteral("Alt H D R"),
         QStringLiteral("Select a row, then press Alt → H → D → R to delete it entirely.")},
    };
    return list;
}

std::optional<SuggestedShortcut> DashboardInsights::suggestion(const QList<SequenceRecord>& topShortcuts) {
    QSet<QString> used;
    for (const SequenceRecord& record : topShortcuts) {
        used.insert(record.name);
    }
    for (const SuggestedShortcut& candidate : globalTopShortcuts()) {
        if (!used.contains(candidate.name)) {
            return candidate;
        }
    }
    return std::nullopt;
}

QList<SequenceRecord> DashboardInsights::shownRecords(const QList<SequenceRecord>& topShortcuts) {
    return topShortcuts.mid(0, 3);
}

qint64 DashboardInsights::barScaleMaximum(const QList<SequenceRecord>& topShortcuts) {
    qint64 maximum = 0;
    for (const SequenceRecord& record : shownRecords(topShortcuts)) {
        maximum = std::max(maximum, record.count);
    }
    // Records always count at least one use; a damaged store must not divide by zero.
    return maximum > 0 ? maximum : 1;
}

double DashboardInsights::fillWidth(double rowWidth, qint64 count, qint64 maximum) {
    if (maximum <= 0 || rowWidth <= 0) {
        return 0;
    }
    const double width = (rowWidth * static_cast<double>(count)) / static_cast<double>(maximum);
    return std::clamp(width, 0.0, rowWidth);
}

bool DashboardInsights::isChartEmpty(const QList<DayUsage>& days) {
    return std::all_of(days.begin(), days.end(), [](const DayUsage& d) { return d.normal == 0; });
}

QList<UsageEntry> DashboardInsights::chartEntries(const QList<DayUsage>& days) {
    QList<UsageEntry> entries;
    entries.reserve(days.size());
    for (const DayUsage& day : days) {
        entries.append({QUuid::createUuid(), day.day, QStringLiteral("Used"), day.normal});
    }
    return entries;
}

QStringList DashboardInsights::categoryLabels(const QList<UsageEntry>& entries) {
    QStringList labels;
    for (const UsageEntry& entry : entries) {
        QString label = entry.day;
        while (labels.contains(label)) {
            label.append(QChar(0x200B));
        }
        labels.append(label);
    }
    return labels;
}
