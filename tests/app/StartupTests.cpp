#include <gtest/gtest.h>

#include <QCheckBox>
#include <QJsonArray>

#include "AppHarness.h"
#include "app/StatusBarManager.h"
#include "app/WindowManager.h"
#include "engine/ShortcutEngine.h"
#include "models/AppSettings.h"
#include "platform/Workspace.h"
#include "platform/qt/widgets/SimSessionWindows.h"
#include "platform/qt/widgets/SimSettingsPanel.h"
#include "platform/qt/widgets/TaskbarPresence.h"
#include "platform/sim/SimEventServices.h"
#include "platform/sim/SimSession.h"
#include "services/APIClient.h"
#include "services/FeatureFlagService.h"
#include "services/ShortcutRepository.h"
#include "views/settings/GeneralSettingsView.h"
#include "views/settings/SettingsView.h"

#include <QCoro/QCoroTask>

using namespace Qt::StringLiterals;

namespace {

class StartupTest : public ::testing::Test, public AppTestBase {};

QStringList paths(const QList<RecordedRequest>& requests) {
    QStringList out;
    for (const RecordedRequest& request : requests) {
        out.append(request.method + u" "_s + request.path);
    }
    return out;
}

}  // namespace

TEST_F(StartupTest, FirstLaunchRegistersTheInstallAndReportsIt) {
    auto app = makeApp();
    app->launch();
    AppSettings& settings = app->delegate->settings();
    const QString deviceId = settings.deviceId();
    ASSERT_FALSE(deviceId.isEmpty());

    // Only the registration reached the backend: the loads ran before any credentials existed.
    const auto backend = app->servers.backend.requests();
    ASSERT_EQ(paths(backend), QStringList{u"POST /api/v1/install/register"_s});
    EXPECT_FALSE(backend[0].hasHeader(u"X-Api-Key"_s));
    EXPECT_FALSE(backend[0].hasHeader(u"X-Install-Id"_s));
    EXPECT_TRUE(backend[0].body.contains(QByteArray(R"("install_id":")") + deviceId.toUtf8() + '"'));
    EXPECT_FALSE(app->delegate->repository().loadedFromAPI());
    EXPECT_EQ(app->delegate->repository().shortcuts().size(), 68);
    EXPECT_TRUE(app->delegate->featureFlags().flags().isEmpty());

    // Analytics: launched under the new install id, then the new install.
    ASSERT_TRUE(servers.waitForAnalyticsEvent(u"install_registered"_s));
    const auto events = servers.analyticsEvents();
    ASSERT_EQ(servers.analyticsEventNames(), (QStringList{u"app_launched"_s, u"install_registered"_s}));
    EXPECT_EQ(events[0].value(u"distinct_id"_s).toString(), deviceId);
    EXPECT_EQ(events[0].value(u"properties"_s).toObject().keys(), (QStringList{u"app_name"_s, u"platform"_s}));
    EXPECT_EQ(events[1].value(u"properties"_s).toObject().value(u"is_new"_s), QJsonValue(true));

    // The login item once, the secret stored and the install marked registered.
    EXPECT_EQ(app->loginItem.registerCount(), 1);
    EXPECT_TRUE(settings.launchAtLogin());
    EXPECT_TRUE(app->defaults.boolForKey(AppDelegate::hasAutoRegisteredLoginItemKey));
    EXPECT_EQ(app->defaults.stringForKey(AppDelegate::installSecretKey), u"secret-1"_s);
    EXPECT_TRUE(settings.installRegistered());
    const QStringList lines = app->console.lines();
    EXPECT_TRUE(lines.contains(u"[AppDelegate] Registered as login item"_s));
    EXPECT_TRUE(lines.contains(u"[AppDelegate] Install registered, isNew=true"_s));

    // The client now signs with the local id and the new secret.
    QCoro::waitFor(app->services->apiClient().getFeatures());
    const RecordedRequest signedCall = app->servers.backend.requests().last();
    EXPECT_EQ(signedCall.header(u"X-Install-Id"_s), deviceId);
    EXPECT_EQ(signedCall.header(u"X-Api-Key"_s), APIClient::hmac(u"secret-1"_s, deviceId));

    // Crash reporting was started first (the engine's start message arrives), the updater probed,
    // and the engine, the status item and the main window are up.
    EXPECT_TRUE(servers.waitForCrashMessage(u"[ShortcutEngine] CGEvent tap active — engine running"_s));
    EXPECT_TRUE(servers.appcast.waitForRequests(1));
    EXPECT_TRUE(app->delegate->engine()->isActive());
    EXPECT_EQ(app->services->session().simEvents().taps().size(), 1);
    EXPECT_EQ(app->delegate->statusBarManager()->symbolName(), u"command.square.fill"_s);
    ASSERT_NE(app->delegate->windowManager()->mainWindow(), nullptr);
    EXPECT_TRUE(app->delegate->windowManager()->mainWindow()->isVisible());
    EXPECT_EQ(app->services->workspace().activationPolicy(), ActivationPolicy::Regular);
}

TEST_F(StartupTest, LaunchAfterRegistrationLoadsWithTheStoredSecret) {
    QString deviceId;
    {
        auto first = makeApp();
        first->launch();
        deviceId = first->delegate->settings().deviceId();
    }
    servers.backend.clear();
    servers.analytics.clear();

    auto app = makeApp();
    app->launch();

    // No registration; both loads authenticated from the very first request.
    const auto backend = servers.backend.requests();
    QStringList got = paths(backend);
    got.sort();
    EXPECT_EQ(got, (QStringList{u"GET /api/v1/features"_s, u"GET /api/v1/shortcuts"_s}));
    for (const RecordedRequest& request : backend) {
        EXPECT_EQ(request.header(u"X-Install-Id"_s), deviceId) << request.path.toStdString();
        EXPECT_EQ(request.header(u"X-Api-Key"_s), APIClient::hmac(u"secret-1"_s, deviceId));
    }
    EXPECT_TRUE(app->delegate->repository().loadedFromAPI());
    ASSERT_EQ(app->delegate->repository().shortcuts().size(), 1);
    EXPECT_EQ(app->delegate->repository().shortcuts()[0].name, u"Server Bold"_s);
    EXPECT_EQ(app->delegate->featureFlags().flags().value(u"beta"_s), u"on"_s);

    // Same install id, no second login item, no second "install_registered".
    EXPECT_EQ(app->delegate->settings().deviceId(), deviceId);
    EXPECT_EQ(app->loginItem.registerCount(), 0);
    ASSERT_TRUE(servers.analytics.waitForRequests(1));
    EXPECT_EQ(servers.analyticsEventNames(), QStringList{u"app_launched"_s});
    EXPECT_EQ(servers.analyticsEvents()[0].value(u"distinct_id"_s).toString(), deviceId);
}

TEST_F(StartupTest, RegisteredWithoutASecretStaysUnconfigured) {
    {
        PlistUserDefaults defaults(defaultsPath());
        defaults.setBool(true, u"installRegistered"_s);
        defaults.setBool(true, AppDelegate::hasAutoRegisteredLoginItemKey);
    }
    auto app = makeApp();
    app->launch();

    EXPECT_EQ(servers.backend.requestCount(), 0);
    EXPECT_FALSE(app->delegate->repository().loadedFromAPI());
    EXPECT_EQ(app->delegate->repository().shortcuts().size(), 68);
    EXPECT_THROW(app->services->apiClient().authHeaders(), APIError);
}

TEST_F(StartupTest, AFailedRegistrationStoresNothingAndIsRetriedAtTheNextLaunch) {
    CannedResponse failure;
    failure.status = 500;
    servers.backend.route(u"/api/v1/install/register"_s, failure);
    {
        auto app = makeApp();
        app->launch();
        EXPECT_TRUE(app->console.lines().contains(u"[AppDelegate] Install registration failed: httpError(500)"_s));
        EXPECT_FALSE(app->defaults.contains(AppDelegate::installSecretKey));
        EXPECT_FALSE(app->delegate->settings().installRegistered());
    }

    // An install the backend already knows: registered, but no "install_registered" event.
    CannedResponse known;
    known.body = R"({"install_id":"x","install_secret":"secret-2","is_new":false})";
    servers.backend.route(u"/api/v1/install/register"_s, known);
    servers.analytics.clear();
    auto app = makeApp();
    app->launch();
    EXPECT_EQ(servers.backend.requestCount(), 2);
    EXPECT_TRUE(app->console.lines().contains(u"[AppDelegate] Install registered, isNew=false"_s));
    EXPECT_EQ(app->defaults.stringForKey(AppDelegate::installSecretKey), u"secret-2"_s);
    ASSERT_TRUE(servers.analytics.waitForRequests(1));
    app->scheduler.advance(0.1);
    QCoreApplication::processEvents();
    EXPECT_EQ(servers.analyticsEventNames(), QStringList{u"app_launched"_s});
}

TEST_F(StartupTest, ARefusedLoginItemIsNotTriedAgain) {
    {
        auto app = makeApp();
        app->loginItem.setFailure(u"not allowed"_s);
        app->launch();
        EXPECT_TRUE(app->console.lines().contains(u"[AppDelegate] Failed to register login item: not allowed"_s));
        EXPECT_FALSE(app->delegate->settings().launchAtLogin());
        EXPECT_TRUE(app->defaults.boolForKey(AppDelegate::hasAutoRegisteredLoginItemKey));
    }
    auto app = makeApp();
    app->launch();
    EXPECT_EQ(app->loginItem.registerCount(), 0);
    EXPECT_FALSE(app->delegate->settings().launchAtLogin());
}

TEST_F(StartupTest, WithoutADockIconTheStatusItemAndMainWindowStillAppear) {
    {
        PlistUserDefaults defaults(defaultsPath());
        defaults.setBool(false, u"showInDock"_s);
    }
    auto app = makeApp();
    app->launch();
    EXPECT_EQ(app->services->workspace().activationPolicy(), ActivationPolicy::Accessory);
    ASSERT_NE(app->delegate->statusBarManager()->statusItem(), nullptr);
    EXPECT_FALSE(app->delegate->statusBarManager()->statusItem()->icon().isNull());
    EXPECT_TRUE(app->delegate->windowManager()->mainWindow()->isVisible());
    // Offscreen there is no tray: said once, and the application runs on.
    EXPECT_EQ(app->console.lines().count(StatusBarManager::trayUnavailableMessage), 1);
}

TEST_F(StartupTest, ShowInDockListsTheWindowsInTheTaskbar) {
    {
        PlistUserDefaults defaults(defaultsPath());
        defaults.setBool(false, u"showInDock"_s);
    }
    auto app = makeApp();
    app->launch();
    WindowManager* windows = app->delegate->windowManager();
    windows->showSettings();
    const auto listed = [&] {
        return QList<bool>{TaskbarPresence::isListed(windows->mainWindow()),
                           TaskbarPresence::isListed(windows->settingsWindow())};
    };
    EXPECT_EQ(listed(), (QList<bool>{false, false}));

    // The toggle of the settings window itself.
    QCheckBox* toggle = qobject_cast<SettingsView*>(windows->settingsWindow())->general()->showInDockToggle();
    toggle->click();
    EXPECT_EQ(app->services->workspace().activationPolicy(), ActivationPolicy::Regular);
    EXPECT_EQ(listed(), (QList<bool>{true, true}));
    windows->settingsWindow()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app->delegate->settings().setShowInDock(false);
    windows->showSettings();  // a new window takes the current choice
    EXPECT_EQ(listed(), (QList<bool>{false, false}));
}

TEST_F(StartupTest, QuittingWhileTheBackendIsSlowEndsTheTasksFirst) {
    {
        PlistUserDefaults defaults(defaultsPath());
        defaults.setBool(true, u"installRegistered"_s);
        defaults.setString(u"s"_s, AppDelegate::installSecretKey);
    }
    CannedResponse slow;
    slow.delaySeconds = 3;
    servers.backend.setHandler([slow](const RecordedRequest&) { return slow; });

    auto app = makeApp();
    QSignalSpy loaded(app->delegate.get(), &AppDelegate::loadingFinished);
    app->delegate->applicationDidFinishLaunching();
    app->scheduler.runPending();
    ASSERT_TRUE(servers.backend.waitForRequests(2));
    EXPECT_EQ(loaded.count(), 0);

    // The loads end (with their fallbacks) before the objects they fill go away.
    AppDelegate* delegate = app->delegate.get();
    ShortcutRepository& repository = delegate->repository();
    QObject::connect(&repository, &ShortcutRepository::shortcutsChanged,
                     [&repository] { EXPECT_EQ(repository.shortcuts().size(), 68); });
    app.reset();
    EXPECT_EQ(loaded.count(), 1);
}

TEST_F(StartupTest, OnlyWebAndMailLinksLeaveTheSimulatedSession) {
    auto app = makeApp();
    app->launch();
    Workspace& workspace = app->services->workspace();
    workspace.openURL(QUrl(u"https://keyloom.example/privacy"_s));
    workspace.openURL(QUrl(u"mailto:support@keyloom.example"_s));
    workspace.openURL(QUrl(u"x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility"_s));
    workspace.openURL(QUrl(u"file:///etc/passwd"_s));
    EXPECT_EQ(app->externalLinks,
              (QList<QUrl>{QUrl(u"https://keyloom.example/privacy"_s), QUrl(u"mailto:support@keyloom.example"_s)}));
    ASSERT_NE(app->services->sessionWindows().settingsPanel(), nullptr);
    EXPECT_TRUE(app->services->sessionWindows().settingsPanel()->isVisible());
}
