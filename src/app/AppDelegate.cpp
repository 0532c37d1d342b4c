#include "app/AppDelegate.h"

#include <QPointer>

#include "app/AppServices.h"
#include "app/StatusBarManager.h"
#include "app/WindowManager.h"
#include "engine/ShortcutEngine.h"
#include "models/AppSettings.h"
#include "platform/CrashReporting.h"
#include "platform/LoginItem.h"
#include "platform/Scheduler.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "services/APIClient.h"
#include "services/FeatureFlagService.h"
#include "services/PostHogService.h"
#include "services/ShortcutRepository.h"
#include "services/UpdaterService.h"
#include "views/main/MainWindowView.h"
#include "views/settings/SettingsView.h"

#include "BuildConfig.h"

using namespace Qt::StringLiterals;

const QString AppDelegate::hasAutoRegisteredLoginItemKey = u"hasAutoRegisteredLoginItem"_s;
const QString AppDelegate::installSecretKey = u"install_secret_local"_s;

namespace {

// The error's own text, whatever the backend call threw.
QString describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const APIError& e) {
        return e.description();
    } catch (const TransportError& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return u"unknown error"_s;
    }
}

}  // namespace

AppDelegate::AppDelegate(AppServices& services, QObject* parent)
    : QObject(parent),
      m_services(services),
      m_settings(std::make_unique<AppSettings>(services.defaults())),
      m_repository(std::make_unique<ShortcutRepository>(services.apiClient(), services.defaults())),
      m_featureFlags(std::make_unique<FeatureFlagService>(services.apiClient())) {}

AppDelegate::~AppDelegate() {
    // Backend waits end first, so that the tasks resume while everything they touch exists; then
    // the windows and the engine go before the objects they observe.
    m_services.abortNetworkRequests();
    m_statusBarManager.reset();
    m_windowManager.reset();
    m_engine.reset();
}

void AppDelegate::applicationDidFinishLaunching() {
    // 1. Crash reporting first, so that everything after it can report.
    CrashReportingOptions options;
    options.dsn = m_services.configuration().sentryDsn;
    options.debug = false;
    options.tracesSampleRate = 1.0;
    m_services.crashReporting().start(options);

    // 2. Dock presence.
    m_services.workspace().setActivationPolicy(dockPolicy());

    // 3–4. Analytics under the install id (created here on the very first launch).
    m_services.analytics().setup(u"REPLACE_WITH_POSTHOG_API_KEY"_s, m_settings->deviceId());
    m_services.analytics().capture(u"app_launched"_s);

    // 5.
    autoRegisterLoginItem();

    // 6. The engine builds its sequence table now; no tap yet.
    m_engine = std::make_unique<ShortcutEngine>(
        *m_settings, ShortcutEngineDependencies{m_services.scheduler(), m_services.console(), m_services.workspace(),
                                                m_services.accessibility(), m_services.events(),
                                                m_services.crashReporting(), m_services.sentry(),
                                                m_services.analytics(), m_services.usageStore(), m_services.updater()});

    // 7–9.
    m_windowManager =
        std::make_unique<WindowManager>([this] { return makeMainView(); }, [this] { return makeSettingsView(); });
    m_windowManager->setActivationPolicy(dockPolicy());
    m_statusBarManager = std::make_unique<StatusBarManager>(*m_settings, m_services.console());
    m_statusBarManager->setupStatusItem();
    m_statusBarManager->setWindowManager(m_windowManager.get());

    // 10–11.
    m_windowManager->showMain();
    m_services.updater().startPeriodicChecks();

    // 12. The loading task runs on a later turn: coroutines start at once, and the loads must build
    // their requests after the registration task has configured any stored secret (step 14).
    m_services.scheduler().post([self = QPointer<AppDelegate>(this)] {
        if (self) {
            self->loadCatalogueAndFlags();
        }
    });

    // 13.
    m_engine->start();

    // 14. Runs at once up to its first network wait; the stored secret is configured by then.
    registerInstallIfNeeded();

    // 15.
    observeDefaults();
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (!hasVisibleWindows && m_windowManager) {
        m_windowManager->showMain();
    }
    return true;
}

void AppDelegate::autoRegisterLoginItem() {
    UserDefaults& defaults = m_services.defaults();
    if (defaults.boolForKey(hasAutoRegisteredLoginItemKey)) {
        return;
    }
    // Marked before the attempt, so that a failed attempt is never repeated.
    defaults.setBool(true, hasAutoRegisteredLoginItemKey);
    if (const auto error = m_services.loginItem().registerItem()) {
        m_services.console().print(u"[AppDelegate] Failed to register login item: "_s + *error);
        return;
    }
    m_settings->setLaunchAtLogin(true);
    m_services.console().print(u"[AppDelegate] Registered as login item"_s);
}

QCoro::Task<void> AppDelegate::loadCatalogueAndFlags() {
    QPointer<AppDelegate> self(this);
    // Both loads start before either is awaited, so they run side by side.
    QCoro::Task<void> catalogue = m_repository->load();
    QCoro::Task<void> flags = m_featureFlags->load();
    co_await catalogue;
    co_await flags;
    if (self) {
        emit self->loadingFinished();
    }
}

QCoro::Task<void> AppDelegate::registerInstallIfNeeded() {
    QPointer<AppDelegate> self(this);
    AppServices& services = m_services;
    const QString id = m_settings->deviceId();
    if (const auto secret = services.defaults().stringForKey(installSecretKey)) {
        services.apiClient().configure(id, *secret);
    }
    if (m_settings->installRegistered()) {
        emit registrationFinished();
        co_return;
    }

    std::exception_ptr failure;
    InstallRegisterResponse response;
    try {
        response = co_await services.apiClient().registerInstall(id);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    if (failure) {
        services.console().print(u"[AppDelegate] Install registration failed: "_s + describe(failure));
    } else {
        services.defaults().setString(response.installSecret, installSecretKey);
        // The local id, not the one echoed in the reply.
        services.apiClient().configure(id, response.installSecret);
        m_settings->setInstallRegistered(true);
        if (response.isNew) {
            services.analytics().capture(u"install_registered"_s, {{u"is_new"_s, true}});
        }
        services.console().print(u"[AppDelegate] Install registered, isNew="_s +
                                 (response.isNew ? u"true"_s : u"false"_s));
    }
    emit registrationFinished();
}

void AppDelegate::observeDefaults() {
    // Every write to the defaults, by anyone, lands here; start and stop are idempotent.
    connect(&m_services.defaults(), &UserDefaults::didChange, this, [this] {
        // "Show in Dock" sets the policy itself; the windows follow the setting here.
        if (m_windowManager) {
            m_windowManager->setActivationPolicy(dockPolicy());
        }
        if (!m_engine) {
            return;
        }
        if (m_settings->isPaused()) {
            m_engine->stop();
        } else {
            m_engine->start();
        }
    });
}

ActivationPolicy AppDelegate::dockPolicy() const {
    return m_settings->showInDock() ? ActivationPolicy::Regular : ActivationPolicy::Accessory;
}

QWidget* AppDelegate::makeMainView() {
    return new MainWindowView(MainWindowView::Services{
        *m_settings, *m_repository, *m_featureFlags, m_services.updater(), m_services.usageStore(),
        m_services.workspace(), m_services.accessibility(), m_services.events(), m_services.scheduler(),
        m_services.launchAtLogin(), m_services.apiClient(), m_services.bundle(), m_services.keyMonitor(),
        m_services.diagnostics(), QString::fromUtf8(keyloom::build::supportEmail)});
}

QWidget* AppDelegate::makeSettingsView() {
    return new SettingsView(*m_settings, m_services.launchAtLogin(), m_services.updater(), m_services.apiClient(),
                            m_services.workspace(), m_services.bundle());
}
