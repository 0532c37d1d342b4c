#pragma once

#include <QWidget>
#include <optional>

class QLabel;
class QPushButton;

// The page after a failed submission: the error's description, "Cancel" and "Retry", and a mail
// link to support.
class ReportIssueFailurePage : public QWidget {
    Q_OBJECT
public:
    explicit ReportIssueFailurePage(const QString& supportEmail, QWidget* parent = nullptr);

    void setErrorMessage(const std::optional<QString>& message);

    QLabel* errorLabel() const { return m_error; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* retryButton() const { return m_retry; }
    QPushButton* emailButton() const { return m_email; }

signals:
    void cancelClicked();
    void retryClicked();
    void emailClicked();

private:
    QLabel* m_error = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_retry = nullptr;
    QPushButton* m_email = nullptr;
};
