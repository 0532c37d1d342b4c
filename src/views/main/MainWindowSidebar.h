#pragma once

#include <QHash>
#include <QList>
#include <QWidget>

#include "views/main/NavItem.h"

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QPushButton;

// The main window's sidebar: the logo header, the navigation rows in four sections, the
// "Report Issue" button and the bar with the short device id. It shows the selection it is given
// and reports clicks; the main window owns the selection.
class MainWindowSidebar : public QWidget {
    Q_OBJECT
public:
    // One selectable row: its text, its symbol and the page it stands for.
    struct Row {
        QString title;
        QString symbol;
        NavItem item;
    };
    // The selectable rows in order (section 1: the first two; section 2 "Categories": the next six;
    // section 3: "Settings").
    static const QList<Row>& rows();

    explicit MainWindowSidebar(QWidget* parent = nullptr);

    void setSelectedItem(const NavItem& item);
    // Shows the first 8 characters of the id in capitals.
    void setDeviceId(const QString& deviceId);

    QAbstractButton* buttonFor(const NavItem& item) const;
    QPushButton* reportIssueButton() const { return m_reportIssue; }
    QLabel* deviceIdLabel() const { return m_deviceId; }
    QLabel* sectionHeader() const { return m_categoriesHeader; }

signals:
    void itemClicked(const NavItem& item);
    void reportIssueClicked();

private:
    QButtonGroup* m_group = nullptr;
    QHash<NavItem, QAbstractButton*> m_buttons;
    QPushButton* m_reportIssue = nullptr;
    QLabel* m_deviceId = nullptr;
    QLabel* m_categoriesHeader = nullptr;
};
