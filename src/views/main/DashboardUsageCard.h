#pragma once

#include <QList>
#include <QStringList>
#include <optional>

#include "services/UsageStore.h"
#include "views/shared/Card.h"

class QBarCategoryAxis;
class QBarSet;
class QChart;
class QChartView;
class QLabel;
class QValueAxis;

// "Shortcuts Used": a bar per day of the last seven, or one line when no day has a use.
class DashboardUsageCard : public Card {
    Q_OBJECT
public:
    static constexpr int kChartHeight = 80;

    explicit DashboardUsageCard(QWidget* parent = nullptr);

    void setDays(const QList<DayUsage>& days);

    bool isShowingChart() const;
    QLabel* emptyLabel() const { return m_empty; }
    QChartView* chartView() const { return m_chartView; }
    // The bars as drawn: one category label and one value per day, oldest first.
    QStringList categories() const;
    QList<double> values() const;
    QColor barColor() const;

private:
    QLabel* m_empty = nullptr;
    QChart* m_chart = nullptr;
    QChartView* m_chartView = nullptr;
    QBarSet* m_bars = nullptr;
    QBarCategoryAxis* m_days = nullptr;
    QValueAxis* m_counts = nullptr;
    std::optional<QList<DayUsage>> m_shownDays;
};
