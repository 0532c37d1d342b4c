#include "views/main/DashboardUsageCard.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "views/main/DashboardInsights.h"
#include "views/shared/Style.h"

namespace {

// The "7 Days" capsule next to the title.
class RangeBadge : public QLabel {
public:
    explicit RangeBadge(QWidget* parent) : QLabel(QStringLiteral("7 Days"), parent) {
        setFont(Style::font(11, QFont::Medium));
        Style::setLabelColor(this, Style::secondary());
        setContentsMargins(8, 3, 8, 3);
        setObjectName(QStringLiteral("rangeBadge"));
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        Style::paintCapsule(painter, QRectF(rect()), Style::withOpacity(Style::secondary(), 0.1));
        painter.end();
        QLabel::paintEvent(event);
    }
};

}  // namespace

DashboardUsageCard::DashboardUsageCard(QWidget* parent) : Card(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->addWidget(
        Style::label(QStringLiteral("Shortcuts Used"), Style::font(13, QFont::DemiBold), Style::primary(), this), 0,
        Qt::AlignVCenter);
    header->addStretch(1);
    header->addWidget(new RangeBadge(this), 0, Qt::AlignVCenter);
    column->addLayout(header);

    m_empty = Style::label(QStringLiteral("No usage recorded yet — trigger a shortcut in Excel to see stats."),
                           Style::font(11), Style::secondary(), this);
    m_empty->setObjectName(QStringLiteral("usageEmptyLine"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setMinimumHeight(60);
    column->addWidget(m_empty);

    m_bars = new QBarSet(QStringLiteral("Used"));
    m_bars->setColor(Style::accent());
    m_bars->setBorderColor(Style::accent());
    auto* series = new QBarSeries;
    series->append(m_bars);

    m_chart = new QChart;
    m_chart->addSeries(series);
    m_chart->legend()->hide();
    m_chart->setBackgroundVisible(false);
    m_chart->setMargins(QMargins(0, 0, 0, 0));
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->setBackgroundRoundness(0);

    m_days = new QBarCategoryAxis;
    m_days->setLabelsFont(Style::font(10));
    m_days->setLabelsColor(Style::secondary());
    m_days->setGridLineVisible(false);
    m_chart->addAxis(m_days, Qt::AlignBottom);
    series->attachAxis(m_days);

    m_counts = new QValueAxis;
    m_counts->setVisible(false);
    m_counts->setGridLineVisible(false);
    m_chart->addAxis(m_counts, Qt::AlignLeft);
    series->attachAxis(m_counts);

    m_chartView = new QChartView(m_chart, this);
    m_chartView->setObjectName(QStringLiteral("usageChart"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setFixedHeight(kChartHeight);
    m_chartView->setFrameShape(QFrame::NoFrame);
    m_chartView->setStyleSheet(QStringLiteral("background: transparent"));
    column->addWidget(m_chartView);

    setDays({});
}

void DashboardUsageCard::setDays(const QList<DayUsage>& days) {
    // The dashboard restates its data every few seconds; the chart is rebuilt only when it changed.
    if (m_shownDays && *m_shownDays == days) {
        return;
    }
    m_shownDays = days;
    const bool empty = DashboardInsights::isChartEmpty(days);
    m_empty->setVisible(empty);
    m_chartView->setVisible(!empty);
    if (empty) {
        return;
    }
    const QList<UsageEntry> entries = DashboardInsights::chartEntries(days);
    QList<qreal> values;
    qint64 maximum = 0;
    for (const UsageEntry& entry : entries) {
        values.append(static_cast<qreal>(entry.count));
        maximum = std::max(maximum, entry.count);
    }
    m_days->clear();
    m_days->append(DashboardInsights::categoryLabels(entries));
    m_bars->remove(0, m_bars->count());
    m_bars->append(values);
    // Zero-count days keep a bar of no height; the tallest bar fills the plot.
    m_counts->setRange(0, static_cast<qreal>(std::max<qint64>(maximum, 1)));
}

bool DashboardUsageCard::isShowingChart() const {
    return !m_chartView->isHidden();
}

QStringList DashboardUsageCard::categories() const {
    return m_days->categories();
}

QList<double> DashboardUsageCard::values() const {
    QList<double> list;
    for (int i = 0; i < m_bars->count(); ++i) {
        list.append(m_bars->at(i));
    }
    return list;
}

QColor DashboardUsageCard::barColor() const {
    return m_bars->color();
}
