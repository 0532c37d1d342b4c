#include "app/AppServices.h"

#include <QDesktopServices>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include "platform/qt/AppcastUpdater.h"
#include "platform/qt/PlistUserDefaults.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/SentryEnvelopeReporter.h"
#include "platform/qt/XdgAutostartLoginItem.h"
#include "platform/qt/widgets/QtKeyMonitor.h"
#include "platform/qt/widgets/SimSessionWindows.h"
#include "platform/qt/widgets/UpdateDialog.h"
#include "platform/sim/SimSession.h"
#include "services/APIClient.h"
#include "services/DiagnosticsService.h"
#include "services/LaunchAtLoginService.h"
#include "services/PostHogService.h"
#include "services/SentryBridge.h"
#include "services/UpdaterService.h"
#include "services/UsageStore.h"

#include "BuildConfig.h"

using namespace Qt::StringLiterals;

namespace {

// Links that leave the simulated session for the desktop: web pages and mail.
bool isExternalLink(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == u"http" || scheme == u"https" || scheme == u"mailto";
}

}  // namespace

AppServices::AppServices(AppConfiguration config, Overrides overrides)
    : m_config(std::move(config)),
      m_bundle(BundleInfo::current()),
      m_openExternalLink(std::move(overrides.openExternalLink)) {
    if (!m_openExternalLink) {
        m_openExternalLink = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    }

    if (overrides.scheduler) {
        m_scheduler = overrides.scheduler;
    } else {
        m_ownScheduler = std::make_unique<QtScheduler>();
        m_scheduler = m_ownScheduler.get();
    }
    m_clock = overrides.clock ? overrides.clock : &m_systemClock;
    m_console = overrides.console ? overrides.console : &m_stdoutConsole;
    if (overrides.defaults) {
        m_defaults = overrides.defaults;
    } else {
        m_ownDefaults = std::make_unique<PlistUserDefaults>(
            m_config.defaultsPath, m_config.defaultsInMemoryOnly ? PlistUserDefaults::Mode::InMemoryOnly
                                                                 : PlistUserDefaults::Mode::SavedToFile);
        m_defaults = m_ownDefaults.get();
    }

    // The embedded session: both permissions granted, the spreadsheet installed but not running.
    m_session = std::make_unique<SimSession>();
    m_session->setAccessibilityTrusted(true);
    m_session->setInputMonitoringGranted(true);
    m_sessionWindows = std::make_unique<SimSessionWindows>(*m_session);
    QObject::connect(m_session.get(), &SimSession::urlOpened, m_session.get(),
                     [this](const QUrl& url) { openExternalLink(url); });
    m_keyMonitor = std::make_unique<QtKeyMonitor>();

    m_network = std::make_unique<QNetworkAccessManager>();
    m_apiClient = std::make_unique<APIClient>(*m_network, m_config.apiBaseUrl, m_bundle);
    m_analytics = std::make_unique<PostHogService>(m_config.analyticsUrl);
    const QString version = QString::fromLatin1(keyloom::build::version);
    m_crashReporting = std::make_unique<SentryEnvelopeReporter>(version, *m_clock);
    m_sentry = std::make_unique<SentryBridge>(*m_crashReporting);
    m_usageStore = std::make_unique<UsageStore>(*m_defaults, *m_clock, *m_analytics);

    m_updater = std::make_unique<AppcastUpdater>(m_config.appcastUrl, version);
    m_updater->setPresenter([this](const AppcastUpdater::InteractiveResult& result) {
        auto* dialog = new UpdateDialog(result, [this](const QUrl& url) { openExternalLink(url); });
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });
    m_updaterService = std::make_unique<UpdaterService>(*m_updater, *m_defaults, *m_scheduler, *m_console);

    if (overrides.loginItem) {
        m_loginItem = overrides.loginItem;
    } else {
        m_ownLoginItem = std::make_unique<XdgAutostartLoginItem>();
        m_loginItem = m_ownLoginItem.get();
    }
    m_launchAtLogin = std::make_unique<LaunchAtLoginService>(*m_loginItem, *m_console);
    m_diagnostics =
        std::make_unique<DiagnosticsService>(m_bundle, *m_defaults, m_session->accessibility(), m_session->events(),
                                             m_session->workspace(), *m_usageStore, *m_clock);
}

AppServices::~AppServices() {
    abortNetworkRequests();
}

Workspace& AppServices::workspace() {
    return m_session->workspace();
}

Accessibility& AppServices::accessibility() {
    return m_session->accessibility();
}

EventServices& AppServices::events() {
    return m_session->events();
}

KeyMonitor& AppServices::keyMonitor() {
    return *m_keyMonitor;
}

CrashReporting& AppServices::crashReporting() {
    return *m_crashReporting;
}

void AppServices::abortNetworkRequests() {
    if (!m_network) {
        return;
    }
    for (QNetworkReply* reply : m_network->findChildren<QNetworkReply*>()) {
        if (reply->isRunning()) {
            reply->abort();
        }
    }
    m_apiClient->cancelDecoding();
}

void AppServices::openExternalLink(const QUrl& url) {
    if (isExternalLink(url)) {
        m_openExternalLink(url);
    }
}
