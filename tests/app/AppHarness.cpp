#include "AppHarness.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonDocument>

namespace {

CannedResponse json(const QByteArray& body) {
    CannedResponse response;
    response.body = body;
    return response;
}

// A feed whose only item is the running version: nothing to update.
const QByteArray kAppcast =
    R"(<?xml version="1.0"?><rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">)"
    R"(<channel><title>Keyloom</title><item><title>Keyloom</title><sparkle:version>1.0.0</sparkle:version>)"
    R"(<sparkle:shortVersionString>1.0.0</sparkle:shortVersionString></item></channel></rss>)";

}  // namespace

AppServers::AppServers() {
    backend.route(QStringLiteral("/api/v1/install/register"),
                  json(R"({"install_id":"echoed-id","install_secret":"secret-1","is_new":true})"));
    backend.route(QStringLiteral("/api/v1/shortcuts"),
                  json(R"({"version":3,"shortcuts":[{"id":"srv-1","category":"Formatting","name":"Server Bold",)"
                       R"("description":"From the backend","windows_keys":["Ctrl","B"],"mac_keys":["⌘B"]}]})"));
    backend.route(QStringLiteral("/api/v1/features"), json(R"({"features":[{"key":"beta","value":"on"}]})"));
    CannedResponse feed;
    feed.contentType = "application/xml";
    feed.body = kAppcast;
    appcast.route(QStringLiteral("/appcast.xml"), feed);
}

AppConfiguration AppServers::configuration(const QString& defaultsPath) const {
    AppConfiguration config;
    config.apiBaseUrl = backend.url();
    config.analyticsUrl = analytics.url(QStringLiteral("/capture/"));
    config.sentryDsn = QStringLiteral("http://0123456789abcdef0123456789abcdef@127.0.0.1:%1/42").arg(crash.port());
    config.appcastUrl = appcast.url(QStringLiteral("/appcast.xml"));
    config.defaultsPath = defaultsPath;
    config.instanceName = AppConfiguration::instanceNameFor(defaultsPath);
    return config;
}

QList<QJsonObject> AppServers::analyticsEvents() const {
    QList<QJsonObject> events;
    for (const RecordedRequest& request : analytics.requests()) {
        events.append(QJsonDocument::fromJson(request.body).object());
    }
    return events;
}

QStringList AppServers::analyticsEventNames() const {
    QStringList names;
    for (const QJsonObject& event : analyticsEvents()) {
        names.append(event.value(QStringLiteral("event")).toString());
    }
    return names;
}

QStringList AppServers::crashEnvelopes() const {
    QStringList envelopes;
    for (const RecordedRequest& request : crash.requests()) {
        envelopes.append(QString::fromUtf8(request.body));
    }
    return envelopes;
}

namespace {

template <typename Predicate>
bool spinUntil(Predicate done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace

bool AppServers::waitForCrashMessage(const QString& text, int timeoutMs) const {
    return spinUntil([&] { return crashEnvelopes().join(QString()).contains(text); }, timeoutMs);
}

bool AppServers::waitForAnalyticsEvent(const QString& name, int timeoutMs) const {
    return spinUntil([&] { return analyticsEventNames().contains(name); }, timeoutMs);
}

AppHarness::AppHarness(AppServers& servers_, const QString& defaultsPath) : servers(servers_), defaults(defaultsPath) {
    AppServiceOverrides overrides;
    overrides.scheduler = &scheduler;
    overrides.clock = &scheduler;
    overrides.console = &console;
    overrides.defaults = &defaults;
    overrides.loginItem = &loginItem;
    overrides.openExternalLink = [this](const QUrl& url) { externalLinks.append(url); };
    services = std::make_unique<AppServices>(servers.configuration(defaultsPath), std::move(overrides));
    delegate = std::make_unique<AppDelegate>(*services);
}

AppHarness::~AppHarness() {
    delegate.reset();
    services.reset();
}

void AppHarness::launch() {
    QSignalSpy loaded(delegate.get(), &AppDelegate::loadingFinished);
    QSignalSpy registered(delegate.get(), &AppDelegate::registrationFinished);
    delegate->applicationDidFinishLaunching();
    scheduler.runPending();
    EXPECT_TRUE(loaded.count() > 0 || loaded.wait(5000)) << "the catalogue and flag loads did not end";
    EXPECT_TRUE(registered.count() > 0 || registered.wait(5000)) << "the registration task did not end";
    scheduler.runPending();
}
