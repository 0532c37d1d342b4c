#pragma once

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <memory>

#include "models/AppSettings.h"
#include "platform/UserDefaults.h"
#include "platform/qt/widgets/QtKeyMonitor.h"
#include "platform/sim/ManualScheduler.h"
#include "platform/sim/RecordingConsole.h"
#include "platform/sim/SimLoginItem.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimUpdater.h"
#include "services/APIClient.h"
#include "services/DiagnosticsService.h"
#include "services/FeatureFlagService.h"
#include "services/LaunchAtLoginService.h"
#include "services/PostHogService.h"
#include "services/ShortcutRepository.h"
#include "services/UpdaterService.h"
#include "services/UsageStore.h"
#include "support/HttpTestServer.h"
#include "views/main/MainWindowView.h"

// A main window on a fresh simulated session, its backend a local HTTP server. The catalogue is
// empty until a test loads one.
class MainWindowHarness : public ::testing::Test {
protected:
    MainWindowHarness();
    ~MainWindowHarness() override;

    // Makes and shows the window (760 × 520 unless given).
    MainWindowView& open(QSize size = QSize(960, 600));
    // Loads the built-in catalogue (the backend is not reachable without credentials).
    void loadBuiltInCatalogue();
    // Clicks the window where `widget` is, the way a mouse does (the topmost widget there gets it).
    void clickAt(QWidget* widget);
    void typeSearch(const QString& text);

    ManualScheduler scheduler;
    SimSession session;
    UserDefaults defaults;
    AppSettings settings{defaults};
    RecordingConsole console;
    PostHogService analytics{QUrl()};
    UsageStore usage{defaults, scheduler, analytics};
    HttpTestServer server;
    QNetworkAccessManager network;
    APIClient api;
    ShortcutRepository repository{api, defaults};
    FeatureFlagService flags{api};
    SimUpdater simUpdater;
    UpdaterService updater{simUpdater, defaults, scheduler, console};
    SimLoginItem loginItem;
    LaunchAtLoginService launchAtLogin{loginItem, console};
    DiagnosticsService diagnostics;
    QtKeyMonitor keyMonitor;
    std::unique_ptr<MainWindowView> view;
};
