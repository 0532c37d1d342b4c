#pragma once

#include <QWidget>
#include <optional>

class QLabel;
class QPushButton;

// The page after a submitted report: the reference id (selectable for copying) and "Close".
class ReportIssueSuccessPage : public QWidget {
    Q_OBJECT
public:
    explicit ReportIssueSuccessPage(QWidget* parent = nullptr);

    // The reference box shows only when there is an id.
    void setIssueId(const std::optional<QString>& issueId);

    QWidget* referenceBox() const { return m_reference; }
    QLabel* issueIdLabel() const { return m_issueId; }
    QPushButton* closeButton() const { return m_close; }

signals:
    void closeClicked();

private:
    QWidget* m_reference = nullptr;
    QLabel* m_issueId = nullptr;
    QPushButton* m_close = nullptr;
};
