#pragma once

#include <QJsonObject>
#include <QList>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

#include "app/AppDelegate.h"
#include "app/AppServices.h"
#include "platform/qt/PlistUserDefaults.h"
#include "platform/sim/ManualScheduler.h"
#include "platform/sim/RecordingConsole.h"
#include "platform/sim/SimLoginItem.h"
#include "support/HttpTestServer.h"

// The four servers the application talks to, on 127.0.0.1: the backend, analytics capture, crash
// reporting and the update feed. They outlive the launches of one test, as the real ones would.
struct AppServers {
    AppServers();

    HttpTestServer backend;
    HttpTestServer analytics;
    HttpTestServer crash;
    HttpTestServer appcast;

    AppConfiguration configuration(const QString& defaultsPath) const;

    // The analytics events received so far, each body parsed.
    QList<QJsonObject> analyticsEvents() const;
    QStringList analyticsEventNames() const;
    // The crash-reporting envelopes received so far, as text.
    QStringList crashEnvelopes() const;
    // Waits until an envelope containing `text` arrives.
    bool waitForCrashMessage(const QString& text, int timeoutMs = 5000) const;
    bool waitForAnalyticsEvent(const QString& name, int timeoutMs = 5000) const;
};

// One launch of the application on a fresh simulated session: virtual time, a recording console,
// a login item in memory, the user defaults in a property-list file of the test's folder and the
// servers above. The session's windows are real widgets on the offscreen platform.
class AppHarness {
public:
    AppHarness(AppServers& servers, const QString& defaultsPath);
    ~AppHarness();

    // applicationDidFinishLaunching(), then the first turn of the main queue; waits until the
    // loading and registration tasks have ended.
    void launch();

    AppServers& servers;
    ManualScheduler scheduler;
    RecordingConsole console;
    SimLoginItem loginItem;
    PlistUserDefaults defaults;
    QList<QUrl> externalLinks;
    std::unique_ptr<AppServices> services;
    std::unique_ptr<AppDelegate> delegate;
};

// A test folder for the defaults file, shared by the launches of one test.
class AppTestBase {
protected:
    QTemporaryDir folder;
    AppServers servers;

    QString defaultsPath() const { return folder.filePath(QStringLiteral("defaults.plist")); }
    std::unique_ptr<AppHarness> makeApp() { return std::make_unique<AppHarness>(servers, defaultsPath()); }
};
