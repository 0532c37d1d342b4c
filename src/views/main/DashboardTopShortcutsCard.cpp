#include "views/main/DashboardTopShortcutsCard.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "views/main/DashboardInsights.h"
#include "views/main/DashboardUsageBar.h"
#include "views/shared/Style.h"

DashboardTopShortcutsCard::DashboardTopShortcutsCard(QWidget* parent) : Card(parent) {
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(14, 14, 14, 14);
    m_column->setSpacing(10);
    m_column->addWidget(
        Style::label(QStringLiteral("Your Top Shortcuts"), Style::font(13, QFont::DemiBold), Style::primary(), this));
    m_empty = Style::label(QStringLiteral("No shortcuts used yet."), Style::font(11), Style::secondary(), this);
    m_empty->setObjectName(QStringLiteral("topShortcutsEmptyLine"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setContentsMargins(0, 14, 0, 14);
    m_column->addWidget(m_empty);
    m_column->addStretch(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void DashboardTopShortcutsCard::setRecords(const QList<SequenceRecord>& topShortcuts) {
    // The dashboard restates its data every few seconds; rows are rebuilt only when it changed.
    QList<std::pair<QString, qint64>> records;
    for (const SequenceRecord& record : topShortcuts) {
        records.append({record.name, record.count});
    }
    if (m_shownRecords && *m_shownRecords == records) {
        return;
    }
    m_shownRecords = records;
    for (const Row& row : m_rows) {
        delete row.widget;
    }
    m_rows.clear();

    const QList<SequenceRecord> shown = DashboardInsights::shownRecords(topShortcuts);
    m_empty->setVisible(shown.isEmpty());
    const qint64 maximum = DashboardInsights::barScaleMaximum(topShortcuts);
    for (const SequenceRecord& record : shown) {
        auto* widget = new QWidget(this);
        auto* rowColumn = new QVBoxLayout(widget);
        rowColumn->setContentsMargins(0, 0, 0, 0);
        rowColumn->setSpacing(3);
        auto* line = new QHBoxLayout;
        QLabel* name = Style::label(record.name, Style::font(11), Style::primary(), widget);
        // Plain digits, no grouping separators.
        QLabel* count = Style::label(QString::number(record.count), Style::font(10, QFont::Normal, true),
                                     Style::secondary(), widget);
        line->addWidget(name, 0, Qt::AlignVCenter);
        line->addStretch(1);
        line->addWidget(count, 0, Qt::AlignVCenter);
        rowColumn->addLayout(line);
        auto* bar = new DashboardUsageBar(record.count, maximum, widget);
        rowColumn->addWidget(bar);
        // Rows go after the title and before the closing stretch.
        m_column->insertWidget(m_column->count() - 1, widget);
        m_rows.append({widget, name, count, bar});
    }
}

QString DashboardTopShortcutsCard::rowName(int row) const {
    const Row r = m_rows.value(row);
    return r.name ? r.name->text() : QString();
}

QString DashboardTopShortcutsCard::rowCountText(int row) const {
    const Row r = m_rows.value(row);
    return r.count ? r.count->text() : QString();
}

DashboardUsageBar* DashboardTopShortcutsCard::rowBar(int row) const {
    return m_rows.value(row).bar;
}
