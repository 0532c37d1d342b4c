#pragma once

#include <QStringList>
#include <QWidget>

class QPushButton;
class ReportIssueCaptureBox;

// Second page of the issue sheet: the live capture box, "Reset", and the way back or on to
// "Generate Report" (always enabled, also with no keys).
class ReportIssueCapturePage : public QWidget {
    Q_OBJECT
public:
    explicit ReportIssueCapturePage(QWidget* parent = nullptr);

    void setKeys(const QStringList& keys);

    ReportIssueCaptureBox* captureBox() const { return m_box; }
    QPushButton* resetButton() const { return m_reset; }
    QPushButton* backButton() const { return m_back; }
    QPushButton* generateButton() const { return m_generate; }

signals:
    void resetClicked();
    void backClicked();
    void generateClicked();

private:
    ReportIssueCaptureBox* m_box = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_generate = nullptr;
};
