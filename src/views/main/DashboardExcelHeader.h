#pragma once

#include <QString>
#include <optional>

#include "views/shared/Card.h"

class QLabel;
class QPushButton;
class QWidget;

// The dashboard's top card: the logo tile, the workbook (or Excel's state) as the title, a status
// dot with one line under it, and "Open Excel" while Excel is not running.
class DashboardExcelHeader : public Card {
    Q_OBJECT
public:
    explicit DashboardExcelHeader(QWidget* parent = nullptr);

    void setExcelState(bool isExcelRunning, const std::optional<QString>& currentFileName);

    QString title() const;
    QString statusLine() const;
    QColor dotColor() const;
    QPushButton* openExcelButton() const { return m_openExcel; }

signals:
    void openExcelRequested();

private:
    QLabel* m_title = nullptr;
    QLabel* m_statusLine = nullptr;
    QWidget* m_dot = nullptr;
    QPushButton* m_openExcel = nullptr;
};
