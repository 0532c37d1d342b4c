#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QNetworkAccessManager>
#include <memory>

#include "models/AppSettings.h"
#include "platform/BundleInfo.h"
#include "platform/UserDefaults.h"
#include "platform/sim/ManualScheduler.h"
#include "platform/sim/RecordingConsole.h"
#include "platform/sim/SimLoginItem.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimUpdater.h"
#include "services/APIClient.h"
#include "services/LaunchAtLoginService.h"
#include "services/UpdaterService.h"
#include "support/HttpTestServer.h"
#include "views/settings/SettingsView.h"

// The settings view on in-memory defaults, a simulated session, login item and updater, and a
// backend client talking to a local HTTP server with credentials configured.
class SettingsFixture : public ::testing::Test {
protected:
    SettingsFixture() { api.configure(QStringLiteral("install-1"), QStringLiteral("secret")); }

    SettingsView& makeView(const BundleInfo& bundle = BundleInfo::current()) {
        view =
            std::make_unique<SettingsView>(settings, launchAtLogin, updaterService, api, session.workspace(), bundle);
        view->resize(480, 320);
        view->show();
        QApplication::processEvents();
        return *view;
    }

    UserDefaults defaults;
    AppSettings settings{defaults};
    SimSession session;
    ManualScheduler scheduler;
    RecordingConsole console;
    SimLoginItem loginItem;
    LaunchAtLoginService launchAtLogin{loginItem, console};
    SimUpdater updater;
    UpdaterService updaterService{updater, defaults, scheduler, console};
    HttpTestServer server;
    QNetworkAccessManager network;
    APIClient api{network, server.url(), BundleInfo::current()};
    std::unique_ptr<SettingsView> view;
};
