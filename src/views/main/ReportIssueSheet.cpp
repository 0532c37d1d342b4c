#include "views/main/ReportIssueSheet.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>

#include "platform/Accessibility.h"
#include "platform/EventServices.h"
#include "platform/Scheduler.h"
#include "platform/Workspace.h"
#include "services/APIClient.h"
#include "services/APIError.h"
#include "services/Cancellation.h"
#include "services/DiagnosticsService.h"
#include "services/TransportError.h"
#include "views/main/KeyCapture.h"
#include "views/main/ReportIssueCaptureBox.h"
#include "views/main/ReportIssueCapturePage.h"
#include "views/main/ReportIssueFailurePage.h"
#include "views/main/ReportIssueInfoPage.h"
#include "views/main/ReportIssueSuccessPage.h"
#include "views/main/ReportIssueUploadingPage.h"
#include "views/shared/Style.h"

const QString ReportIssueSheet::excelBundleIdentifier = QStringLiteral("com.microsoft.Excel");
const QString ReportIssueSheet::accessibilitySettingsUrl =
    QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");
const QString ReportIssueSheet::inputMonitoringSettingsUrl =
    QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_ListenEvent");

namespace {

const QString kExcelName = QStringLiteral("Microsoft Excel");

// A pre-signed URL that cannot be used; raised before any upload starts.
class BadURLError final : public std::exception {
public:
    const char* what() const noexcept override { return "bad URL"; }
};

// The platform's wording for an error that brings no text of its own.
QString genericDescription(const QString& domain, int code) {
    return QStringLiteral("The operation couldn’t be completed. (%1 error %2.)").arg(domain).arg(code);
}

// What the failure page shows for an error: the transport's own message, or the generic sentence
// for errors without text (the backend client's errors, a bad URL).
QString localizedDescription(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const APIError& e) {
        return genericDescription(QStringLiteral("Keyloom.APIError"), static_cast<int>(e.kind()));
    } catch (const BadURLError&) {
        return genericDescription(QStringLiteral("NSURLErrorDomain"), -1000);
    } catch (const TransportError& e) {
        return e.message().isEmpty() ? genericDescription(QStringLiteral("NSURLErrorDomain"), -1) : e.message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("The operation couldn’t be completed.");
    }
}

// Only absolute http(s) URLs are uploaded to: anything else from the backend counts as a bad URL.
QUrl presignedURL(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !APIClient::isSendable(url)) {
        throw BadURLError();
    }
    return url;
}

// Two uploads that run side by side: the first failure is kept and stops the other.
struct UploadPair {
    std::shared_ptr<Cancellation> cancellation = std::make_shared<Cancellation>();
    std::exception_ptr failure;
};

// Never throws: the failure goes to `pair`.
QCoro::Task<void> uploadOfPair(APIClient& api, QUrl url, QString text, std::shared_ptr<UploadPair> pair) {
    try {
        co_await api.uploadToPresignedURL(std::move(url), std::move(text), pair->cancellation);
    } catch (...) {
        if (!pair->failure) {
            pair->failure = std::current_exception();
        }
        pair->cancellation->cancel();
    }
}

}  // namespace

ReportIssueSheet::ReportIssueSheet(std::function<void(bool)> isPresented, const Services& services, QWidget* parent)
    : QDialog(parent),
      m_isPresented(std::move(isPresented)),
      m_services(services),
      m_capture(std::make_unique<KeyCapture>(services.keyMonitor)) {
    setWindowTitle(QStringLiteral("Report an Issue"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(kWidth, kHeight);
    buildLayout();
    connect(m_capture.get(), &KeyCapture::keysChanged, this, [this] {
        m_capturePage->setKeys(m_capture->keys());
        emit stateChanged();
    });
    setStep(Step::info);
    renderChecks();
}

ReportIssueSheet::~ReportIssueSheet() {
    leaveView();
}

void ReportIssueSheet::buildLayout() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 14, 20, 14);
    m_title = Style::label(QStringLiteral("Report an Issue"), Style::font(16, QFont::DemiBold), Style::primary(), this);
    m_stepLabel = Style::label(QString(), Style::font(11), Style::secondary(), this);
    header->addWidget(m_title);
    header->addStretch(1);
    header->addWidget(m_stepLabel);
    column->addLayout(header);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setStyleSheet(QStringLiteral("color: rgba(128, 128, 128, 80);"));
    column->addWidget(divider);

    m_pages = new QStackedWidget(this);
    m_infoPage = new ReportIssueInfoPage(m_pages);
    m_capturePage = new ReportIssueCapturePage(m_pages);
    m_uploadingPage = new ReportIssueUploadingPage(m_pages);
    m_successPage = new ReportIssueSuccessPage(m_pages);
    m_failurePage = new ReportIssueFailurePage(m_services.supportEmail, m_pages);
    // Page order follows Step.
    for (QWidget* page : {static_cast<QWidget*>(m_infoPage), static_cast<QWidget*>(m_capturePage),
                          static_cast<QWidget*>(m_uploadingPage), static_cast<QWidget*>(m_successPage),
                          static_cast<QWidget*>(m_failurePage)}) {
        m_pages->addWidget(page);
    }
    column->addWidget(m_pages, 1);

    connect(m_infoPage, &ReportIssueInfoPage::emailEdited, this, [this](const QString& email) { m_email = email; });
    connect(m_infoPage, &ReportIssueInfoPage::cancelClicked, this, &ReportIssueSheet::dismiss);
    connect(m_infoPage, &ReportIssueInfoPage::nextClicked, this, [this] { setStep(Step::keyCapture); });
    connect(m_infoPage, &ReportIssueInfoPage::openExcelClicked, this, &ReportIssueSheet::openExcel);
    connect(m_infoPage, &ReportIssueInfoPage::openAccessibilityClicked, this, &ReportIssueSheet::openAccessibility);
    connect(m_infoPage, &ReportIssueInfoPage::openInputMonitoringClicked, this, &ReportIssueSheet::openInputMonitoring);

    connect(m_capturePage, &ReportIssueCapturePage::resetClicked, this, [this] { m_capture->reset(); });
    connect(m_capturePage, &ReportIssueCapturePage::backClicked, this, [this] { setStep(Step::info); });
    connect(m_capturePage, &ReportIssueCapturePage::generateClicked, this, &ReportIssueSheet::startSubmission);

    connect(m_successPage, &ReportIssueSuccessPage::closeClicked, this, &ReportIssueSheet::dismiss);
    connect(m_failurePage, &ReportIssueFailurePage::cancelClicked, this, &ReportIssueSheet::dismiss);
    connect(m_failurePage, &ReportIssueFailurePage::retryClicked, this, &ReportIssueSheet::startSubmission);
    connect(m_failurePage, &ReportIssueFailurePage::emailClicked, this, &ReportIssueSheet::openSupportMail);
}

void ReportIssueSheet::setStep(Step step) {
    const Step previous = m_step;
    m_step = step;
    m_pages->setCurrentIndex(static_cast<int>(step));
    m_stepLabel->setText(step == Step::info         ? QStringLiteral("Step 1 of 2")
                         : step == Step::keyCapture ? QStringLiteral("Step 2 of 2")
                                                    : QString());
    m_uploadingPage->setProgress(m_uploadProgress);
    m_successPage->setIssueId(m_completedIssueId);
    m_failurePage->setErrorMessage(m_errorMessage);

    // The recorder listens exactly while its page is on screen.
    if (previous == Step::keyCapture && step != Step::keyCapture) {
        m_capture->stop();
    }
    if (previous != Step::keyCapture && step == Step::keyCapture) {
        m_capture->start();
        m_capturePage->captureBox()->setFocus();
    } else if (step == Step::info) {
        m_infoPage->emailField()->setFocus();
    }
    emit stateChanged();
}

void ReportIssueSheet::setUploadProgress(const QString& progress) {
    m_uploadProgress = progress;
    m_uploadingPage->setProgress(progress);
    emit stateChanged();
}

void ReportIssueSheet::renderChecks() {
    m_infoPage->setChecks(m_excelConnected,
                          m_excelConnected ? m_excelFileName.value_or(kExcelName) : QStringLiteral("Not running"),
                          m_axAccess, m_imAccess);
}

void ReportIssueSheet::refreshChecks() {
    m_axAccess = m_services.accessibility.isProcessTrusted();
    m_imAccess = m_services.events.preflightListenEventAccess();

    std::optional<RunningApplication> excel;
    for (const RunningApplication& app : m_services.workspace.runningApplications()) {
        if (app.bundleIdentifier && *app.bundleIdentifier == excelBundleIdentifier) {
            excel = app;
            break;
        }
    }
    if (!excel) {
        m_excelConnected = false;
        m_excelFileName.reset();
    } else {
        m_excelConnected = true;
        Accessibility& ax = m_services.accessibility;
        const AXElement appElement = ax.createApplication(excel->processIdentifier);
        const AXResult window = ax.copyAttributeValue(appElement, QStringLiteral("AXMainWindow"));
        if (!window.ok() || window.value.kind != AXValue::Kind::Element || !window.value.element) {
            m_excelFileName = kExcelName;
        } else {
            const AXResult title = ax.copyAttributeValue(window.value.element, QStringLiteral("AXTitle"));
            // An unreadable title keeps the name shown before.
            if (title.ok()) {
                const bool usable = title.value.kind == AXValue::Kind::String && !title.value.string.isEmpty();
                m_excelFileName = usable ? title.value.string : kExcelName;
            }
        }
    }
    renderChecks();
    emit stateChanged();
}

void ReportIssueSheet::openExcel() {
    if (const std::optional<QUrl> url = m_services.workspace.urlForApplication(excelBundleIdentifier)) {
        m_services.workspace.openApplication(*url);
    }
}

void ReportIssueSheet::openAccessibility() {
    m_services.workspace.openURL(QUrl(accessibilitySettingsUrl));
}

void ReportIssueSheet::openInputMonitoring() {
    m_services.workspace.openURL(QUrl(inputMonitoringSettingsUrl));
}

void ReportIssueSheet::openSupportMail() {
    m_services.workspace.openURL(QUrl(QStringLiteral("mailto:") + m_services.supportEmail));
}

void ReportIssueSheet::startSubmission() {
    // Runs on by itself; the task object is not needed.
    submitReport();
}

QCoro::Task<> ReportIssueSheet::submitReport() {
    // The sheet may close while this runs: after the first suspension it is reached only through
    // `self`, and the services, which outlive it, through these references.
    QPointer<ReportIssueSheet> self(this);
    APIClient& api = m_services.apiClient;
    const DiagnosticsService& diagnostics = m_services.diagnostics;

    m_capture->stop();
    setStep(Step::uploading);
    setUploadProgress(QStringLiteral("Generating diagnostic data…"));

    try {
        // The dump is read on a worker thread while the log is built here.
        QCoro::Task<QString> dumpTask = diagnostics.generateAXDump();
        const QString log = diagnostics.generateLogReport(m_capture->keys(), m_email);
        const QString dump = co_await std::move(dumpTask);

        if (self) {
            self->setUploadProgress(QStringLiteral("Creating issue report…"));
        }
        const IssueCreateResponse issue = co_await api.createIssue();

        if (self) {
            self->setUploadProgress(QStringLiteral("Uploading diagnostic files…"));
        }
        const QUrl excelURL = presignedURL(issue.excelUploadUrl);
        const QUrl logURL = presignedURL(issue.logUploadUrl);

        // Both uploads run at once. The first to fail cancels the other, and its failure is
        // handled only once the other upload has ended too.
        auto pair = std::make_shared<UploadPair>();
        QCoro::Task<void> dumpUpload = uploadOfPair(api, excelURL, dump, pair);
        QCoro::Task<void> logUpload = uploadOfPair(api, logURL, log, pair);
        co_await std::move(dumpUpload);
        co_await std::move(logUpload);
        if (pair->failure) {
            std::rethrow_exception(pair->failure);
        }

        if (self) {
            self->setUploadProgress(QStringLiteral("Finalizing…"));
        }
        co_await api.markIssueUploaded(issue.issueId);

        if (self) {
            self->m_completedIssueId = issue.issueId;
            self->setStep(Step::success);
        }
    } catch (...) {
        const QString message = localizedDescription(std::current_exception());
        if (self) {
            self->m_errorMessage = message;
            self->setStep(Step::failure);
        }
    }
}

void ReportIssueSheet::dismiss() {
    if (m_isPresented) {
        m_isPresented(false);
    } else {
        hide();
    }
}

void ReportIssueSheet::leaveView() {
    if (m_permTimer) {
        m_permTimer->invalidate();
        m_permTimer.reset();
    }
    m_capture->stop();
}

void ReportIssueSheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous() || m_permTimer) {
        return;
    }
    refreshChecks();
    QPointer<ReportIssueSheet> self(this);
    m_permTimer = m_services.scheduler.scheduleTimer(kCheckInterval, true, [self] {
        if (self) {
            self->refreshChecks();
        }
    });
    if (m_step == Step::keyCapture) {
        m_capture->start();
    }
}

void ReportIssueSheet::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) {
        leaveView();
    }
}

void ReportIssueSheet::closeEvent(QCloseEvent* event) {
    // Closed by the window system: the presenter's flag follows.
    event->accept();
    QDialog::closeEvent(event);
    if (m_isPresented) {
        m_isPresented(false);
    }
}

void ReportIssueSheet::keyPressEvent(QKeyEvent* event) {
    // Escape is the info page's "Cancel"; Return presses no default button. Everything else is
    // left alone so the recorder's keys never act on the sheet.
    if (event->key() == Qt::Key_Escape && m_step == Step::info && event->modifiers() == Qt::NoModifier) {
        event->accept();
        dismiss();
        return;
    }
    event->accept();
}
