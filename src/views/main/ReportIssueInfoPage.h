#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;
class ReportIssueCheckRow;

// First page of the issue sheet: the optional contact address and the three system checks, with
// "Cancel" and "Next →". The page shows what it is given and reports the user's actions; the
// sheet owns the state.
class ReportIssueInfoPage : public QWidget {
    Q_OBJECT
public:
    explicit ReportIssueInfoPage(QWidget* parent = nullptr);

    // Redraws the three check rows and enables "Next →" only with both permissions.
    void setChecks(bool excelConnected, const QString& excelDetail, bool axAccess, bool imAccess);

    QLineEdit* emailField() const { return m_email; }
    ReportIssueCheckRow* excelRow() const { return m_excelRow; }
    ReportIssueCheckRow* accessibilityRow() const { return m_axRow; }
    ReportIssueCheckRow* inputMonitoringRow() const { return m_imRow; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* nextButton() const { return m_next; }

signals:
    void emailEdited(const QString& email);
    void cancelClicked();
    void nextClicked();
    void openExcelClicked();
    void openAccessibilityClicked();
    void openInputMonitoringClicked();

private:
    QLineEdit* m_email = nullptr;
    ReportIssueCheckRow* m_excelRow = nullptr;
    ReportIssueCheckRow* m_axRow = nullptr;
    ReportIssueCheckRow* m_imRow = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_next = nullptr;
};
