#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <memory>

#include "platform/Workspace.h"

class AppServices;
class AppSettings;
class FeatureFlagService;
class ShortcutEngine;
class ShortcutRepository;
class StatusBarManager;
class WindowManager;

// The application's delegate: owns the settings, the catalogue, the feature flags, the engine and
// the two window controllers; starts everything in a fixed order at launch, registers the
// installation with the backend, registers the login item once per installation, keeps the engine
// in step with the pause setting, and shows the main window again on reopen. Main thread only.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    static const QString hasAutoRegisteredLoginItemKey;  // "hasAutoRegisteredLoginItem"
    static const QString installSecretKey;               // "install_secret_local"

    // Creates the settings, the repository and the feature flags; nothing starts yet.
    explicit AppDelegate(AppServices& services, QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // Shows the main window when the application has none on screen; always true.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);

    AppSettings& settings() const { return *m_settings; }
    ShortcutRepository& repository() const { return *m_repository; }
    FeatureFlagService& featureFlags() const { return *m_featureFlags; }
    ShortcutEngine* engine() const { return m_engine.get(); }
    WindowManager* windowManager() const { return m_windowManager.get(); }
    StatusBarManager* statusBarManager() const { return m_statusBarManager.get(); }

signals:
    // The start-up tasks ended: both loads finished / the registration ran its course.
    void loadingFinished();
    void registrationFinished();

private:
    void autoRegisterLoginItem();
    QCoro::Task<void> registerInstallIfNeeded();
    QCoro::Task<void> loadCatalogueAndFlags();
    void observeDefaults();
    // Regular (listed in the Dock, here the taskbar) when "Show in Dock" is on, else accessory.
    ActivationPolicy dockPolicy() const;
    QWidget* makeMainView();
    QWidget* makeSettingsView();

    AppServices& m_services;
    std::unique_ptr<StatusBarManager> m_statusBarManager;
    std::unique_ptr<WindowManager> m_windowManager;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<ShortcutRepository> m_repository;
    std::unique_ptr<FeatureFlagService> m_featureFlags;
    std::unique_ptr<ShortcutEngine> m_engine;
};
