#pragma once

#include <QWidget>

class ActivitySpinner;
class QLabel;

// The page shown while a report is submitted: a spinner over the current progress text.
class ReportIssueUploadingPage : public QWidget {
    Q_OBJECT
public:
    explicit ReportIssueUploadingPage(QWidget* parent = nullptr);

    // An empty progress reads "Generating report…".
    void setProgress(const QString& progress);
    QString progressText() const;

private:
    ActivitySpinner* m_spinner = nullptr;
    QLabel* m_progress = nullptr;
};
