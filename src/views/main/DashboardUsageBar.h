#pragma once

#include <QWidget>

// The 5-point bar under a top shortcut: a faint accent track and, from its leading edge, an
// accent fill as wide as the count's share of the largest count shown.
class DashboardUsageBar : public QWidget {
    Q_OBJECT
public:
    DashboardUsageBar(qint64 count, qint64 maximum, QWidget* parent = nullptr);

    qint64 count() const { return m_count; }
    qint64 maximum() const { return m_maximum; }
    // The fill's width at the bar's current width.
    double fillWidth() const;

    QSize sizeHint() const override { return {40, 5}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qint64 m_count;
    qint64 m_maximum;
};
