#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

class Accessibility;
class APIClient;
class DiagnosticsService;
class EventServices;
class KeyCapture;
class KeyMonitor;
class QLabel;
class QStackedWidget;
class ReportIssueCapturePage;
class ReportIssueFailurePage;
class ReportIssueInfoPage;
class ReportIssueSuccessPage;
class ReportIssueUploadingPage;
class Scheduler;
class Timer;
class Workspace;

// The sheet with which a user reports a shortcut that does not work: contact and system checks,
// then the key sequence recorded live, then the submission (diagnostic log and accessibility dump
// uploaded to the backend's pre-signed URLs) ending on a success or failure page.
//
// A window-modal dialog of fixed size over the main window, made anew for each presentation. It
// closes itself through its `isPresented` binding; the presenter then hides and deletes it. While
// shown it re-reads the permissions and Excel every 2.0 s, on every page. A running submission
// is not cancelled when the sheet goes away: it finishes its requests and leaves the sheet alone.
// Main thread only.
class ReportIssueSheet : public QDialog {
    Q_OBJECT
public:
    enum class Step { info, keyCapture, uploading, success, failure };

    // What the sheet works with; every service must outlive the sheet and its submissions.
    struct Services {
        Scheduler& scheduler;
        Workspace& workspace;
        Accessibility& accessibility;
        EventServices& events;
        KeyMonitor& keyMonitor;
        DiagnosticsService& diagnostics;
        APIClient& apiClient;
        QString supportEmail;
    };

    static constexpr int kWidth = 520;
    static constexpr int kHeight = 500;
    static constexpr double kCheckInterval = 2.0;

    // `isPresented` is the presenter's flag: the sheet sets it to false to close itself.
    ReportIssueSheet(std::function<void(bool)> isPresented, const Services& services, QWidget* parent = nullptr);
    ~ReportIssueSheet() override;

    Step step() const { return m_step; }
    QString email() const { return m_email; }
    bool axAccess() const { return m_axAccess; }
    bool imAccess() const { return m_imAccess; }
    bool excelConnected() const { return m_excelConnected; }
    std::optional<QString> excelFileName() const { return m_excelFileName; }
    bool hasCheckTimer() const { return m_permTimer != nullptr; }
    QString uploadProgress() const { return m_uploadProgress; }
    std::optional<QString> completedIssueId() const { return m_completedIssueId; }
    std::optional<QString> errorMessage() const { return m_errorMessage; }
    KeyCapture& capture() const { return *m_capture; }

    QLabel* titleLabel() const { return m_title; }
    QLabel* stepLabel() const { return m_stepLabel; }
    ReportIssueInfoPage* infoPage() const { return m_infoPage; }
    ReportIssueCapturePage* capturePage() const { return m_capturePage; }
    ReportIssueUploadingPage* uploadingPage() const { return m_uploadingPage; }
    ReportIssueSuccessPage* successPage() const { return m_successPage; }
    ReportIssueFailurePage* failurePage() const { return m_failurePage; }

    // Re-reads both permissions, whether Excel runs and the title of its main window.
    void refreshChecks();
    // Builds both texts, creates an issue, uploads the texts and marks the issue uploaded. Each
    // "Generate Report" or "Retry" starts one; the task may be dropped.
    QCoro::Task<> submitReport();

    static const QString excelBundleIdentifier;
    static const QString accessibilitySettingsUrl;
    static const QString inputMonitoringSettingsUrl;

signals:
    // After any change of the sheet's state (page, checks, progress, result).
    void stateChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildLayout();
    void setStep(Step step);
    void setUploadProgress(const QString& progress);
    void renderChecks();
    void dismiss();
    void leaveView();
    void openExcel();
    void openAccessibility();
    void openInputMonitoring();
    void openSupportMail();
    void startSubmission();

    std::function<void(bool)> m_isPresented;
    Services m_services;
    std::unique_ptr<KeyCapture> m_capture;
    Step m_step = Step::info;
    QString m_email;
    bool m_axAccess = false;
    bool m_imAccess = false;
    bool m_excelConnected = false;
    std::optional<QString> m_excelFileName;
    std::shared_ptr<Timer> m_permTimer;
    QString m_uploadProgress;
    std::optional<QString> m_completedIssueId;
    std::optional<QString> m_errorMessage;

    QLabel* m_title = nullptr;
    QLabel* m_stepLabel = nullptr;
    QStackedWidget* m_pages = nullptr;
    ReportIssueInfoPage* m_infoPage = nullptr;
    ReportIssueCapturePage* m_capturePage = nullptr;
    ReportIssueUploadingPage* m_uploadingPage = nullptr;
    ReportIssueSuccessPage* m_successPage = nullptr;
    ReportIssueFailurePage* m_failurePage = nullptr;
};
