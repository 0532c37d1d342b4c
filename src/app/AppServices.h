#pragma once

#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>

#include "app/AppConfiguration.h"
#include "platform/BundleInfo.h"
#include "platform/Clock.h"
#include "platform/Console.h"

class APIClient;
class AppcastUpdater;
class Accessibility;
class CrashReporting;
class DiagnosticsService;
class EventServices;
class KeyMonitor;
class LaunchAtLoginService;
class LoginItem;
class PostHogService;
class QNetworkAccessManager;
class QtKeyMonitor;
class Scheduler;
class SentryBridge;
class SentryEnvelopeReporter;
class SimSession;
class SimSessionWindows;
class UpdaterService;
class UsageStore;
class UserDefaults;
class Workspace;

// Pieces a test supplies instead of the real ones. Borrowed, never owned; each must outlive
// the services.
struct AppServiceOverrides {
    Scheduler* scheduler = nullptr;
    Clock* clock = nullptr;
    Console* console = nullptr;
    UserDefaults* defaults = nullptr;
    LoginItem* loginItem = nullptr;
    // Opens web and mail links outside the simulated session; by default the desktop's handler.
    std::function<void(const QUrl&)> openExternalLink;
};

// The one place where the application's long-lived pieces are made: the platform (run loop,
// user defaults, console, the simulated session with its windows), the shared network access,
// and the process-wide services (backend client, analytics, crash reporting, usage statistics,
// updater, login item, key monitor, diagnostics). Everything is created once, handed out by
// reference, and lives as long as this object. Main thread only.
class AppServices {
public:
    using Overrides = AppServiceOverrides;

    explicit AppServices(AppConfiguration config) : AppServices(std::move(config), Overrides()) {}
    AppServices(AppConfiguration config, Overrides overrides);
    ~AppServices();
    AppServices(const AppServices&) = delete;
    AppServices& operator=(const AppServices&) = delete;

    const AppConfiguration& configuration() const { return m_config; }
    const BundleInfo& bundle() const { return m_bundle; }

    Scheduler& scheduler() { return *m_scheduler; }
    Clock& clock() { return *m_clock; }
    Console& console() { return *m_console; }
    UserDefaults& defaults() { return *m_defaults; }

    SimSession& session() { return *m_session; }
    SimSessionWindows& sessionWindows() { return *m_sessionWindows; }
    Workspace& workspace();
    Accessibility& accessibility();
    EventServices& events();
    KeyMonitor& keyMonitor();

    QNetworkAccessManager& network() { return *m_network; }
    APIClient& apiClient() { return *m_apiClient; }
    PostHogService& analytics() { return *m_analytics; }
    CrashReporting& crashReporting();
    SentryBridge& sentry() { return *m_sentry; }
    UsageStore& usageStore() { return *m_usageStore; }
    UpdaterService& updater() { return *m_updaterService; }
    LoginItem& loginItem() { return *m_loginItem; }
    LaunchAtLoginService& launchAtLogin() { return *m_launchAtLogin; }
    DiagnosticsService& diagnostics() { return *m_diagnostics; }

    // Ends every backend request still waiting, so that the tasks awaiting them finish while the
    // objects they touch still exist.
    void abortNetworkRequests();

private:
    void openExternalLink(const QUrl& url);

    AppConfiguration m_config;
    BundleInfo m_bundle;
    std::function<void(const QUrl&)> m_openExternalLink;

    std::unique_ptr<Scheduler> m_ownScheduler;
    Scheduler* m_scheduler = nullptr;
    SystemClock m_systemClock;
    Clock* m_clock = nullptr;
    StdoutConsole m_stdoutConsole;
    Console* m_console = nullptr;
    std::unique_ptr<UserDefaults> m_ownDefaults;
    UserDefaults* m_defaults = nullptr;

    std::unique_ptr<SimSession> m_session;
    std::unique_ptr<SimSessionWindows> m_sessionWindows;
    std::unique_ptr<QtKeyMonitor> m_keyMonitor;

    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<APIClient> m_apiClient;
    std::unique_ptr<PostHogService> m_analytics;
    std::unique_ptr<SentryEnvelopeReporter> m_crashReporting;
    std::unique_ptr<SentryBridge> m_sentry;
    std::unique_ptr<UsageStore> m_usageStore;
    std::unique_ptr<AppcastUpdater> m_updater;
    std::unique_ptr<UpdaterService> m_updaterService;
    std::unique_ptr<LoginItem> m_ownLoginItem;
    LoginItem* m_loginItem = nullptr;
    std::unique_ptr<LaunchAtLoginService> m_launchAtLogin;
    std::unique_ptr<DiagnosticsService> m_diagnostics;
};
