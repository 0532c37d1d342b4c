#pragma once

#include <QList>
#include <optional>
#include <utility>

#include "models/SequenceRecord.h"
#include "views/shared/Card.h"

class DashboardUsageBar;
class QLabel;
class QVBoxLayout;

// "Your Top Shortcuts": the first three records with their counts and bars relative to the
// largest count shown, or one line when nothing has been used.
class DashboardTopShortcutsCard : public Card {
    Q_OBJECT
public:
    explicit DashboardTopShortcutsCard(QWidget* parent = nullptr);

    void setRecords(const QList<SequenceRecord>& topShortcuts);

    QLabel* emptyLabel() const { return m_empty; }
    int rowCount() const { return static_cast<int>(m_rows.size()); }
    QString rowName(int row) const;
    QString rowCountText(int row) const;
    DashboardUsageBar* rowBar(int row) const;

private:
    struct Row {
        QWidget* widget = nullptr;
        QLabel* name = nullptr;
        QLabel* count = nullptr;
        DashboardUsageBar* bar = nullptr;
    };

    QVBoxLayout* m_column = nullptr;
    QLabel* m_empty = nullptr;
    QList<Row> m_rows;
    std::optional<QList<std::pair<QString, qint64>>> m_shownRecords;  // names and counts shown
};
