#include <gtest/gtest.h>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <iostream>

#include "services/PostHogService.h"
#include "support/HeapUsage.h"
#include "support/HttpTestServer.h"

namespace {

QJsonObject bodyOf(const RecordedRequest& request) {
    return QJsonDocument::fromJson(request.body).object();
}

QJsonObject props(std::initializer_list<std::pair<QString, QJsonValue>> list) {
    QJsonObject o{{QStringLiteral("app_name"), QStringLiteral("Keyloom")},
                  {QStringLiteral("platform"), QStringLiteral("macOS")}};
    for (const auto& [k, v] : list)
        o.insert(k, v);
    return o;
}

class PostHogServiceTest : public ::testing::Test {
protected:
    HttpTestServer server;
    PostHogService service{server.url(QStringLiteral("/capture/"))};
};

}  // namespace

// The four events the application sends, body for body, after setup() as start-up calls it.
TEST_F(PostHogServiceTest, SendsTheFourEventsWithExactBodies) {
    service.setup(QStringLiteral("REPLACE_WITH_POSTHOG_API_KEY"), QStringLiteral("DEVICE-1"));
    service.capture(QStringLiteral("app_launched"));
    service.capture(QStringLiteral("install_registered"), {{QStringLiteral("is_new"), true}});
    service.capture(QStringLiteral("shortcut_triggered"), {{QStringLiteral("sequence"), QStringLiteral("4,11,0")}});
    service.capture(QStringLiteral("shortcut_used"), {{QStringLiteral("shortcut_name"), QStringLiteral("Bold")},
                                                      {QStringLiteral("total_uses"), qint64{3}}});
    ASSERT_TRUE(server.waitForRequests(4));

    auto expected = [](const QString& event, const QJsonObject& properties) {
        return QJsonObject{{QStringLiteral("api_key"), PostHogService::builtInApiKey},
                           {QStringLiteral("event"), event},
                           {QStringLiteral("distinct_id"), QStringLiteral("DEVICE-1")},
                           {QStringLiteral("properties"), properties}};
    };
    QHash<QString, QJsonObject> byEvent;
    for (const RecordedRequest& r : server.requests()) {
        EXPECT_EQ(r.method, QStringLiteral("POST"));
        EXPECT_EQ(r.path, QStringLiteral("/capture/"));
        EXPECT_EQ(r.header(QStringLiteral("Content-Type")), QStringLiteral("application/json"));
        EXPECT_FALSE(r.body.contains('\n')) << "compact JSON expected";
        byEvent.insert(bodyOf(r).value(QStringLiteral("event")).toString(), bodyOf(r));
    }
    EXPECT_EQ(byEvent.value(QStringLiteral("app_launched")), expected(QStringLiteral("app_launched"), props({})));
    EXPECT_EQ(byEvent.value(QStringLiteral("install_registered")),
              expected(QStringLiteral("install_registered"), props({{QStringLiteral("is_new"), true}})));
    EXPECT_EQ(byEvent.value(QStringLiteral("shortcut_triggered")),
              expected(QStringLiteral("shortcut_triggered"),
                       props({{QStringLiteral("sequence"), QStringLiteral("4,11,0")}})));
    EXPECT_EQ(
        byEvent.value(QStringLiteral("shortcut_used")),
        expected(QStringLiteral("shortcut_used"), props({{QStringLiteral("shortcut_name"), QStringLiteral("Bold")},
                                                         {QStringLiteral("total_uses"), 3}})));
    // Integers go out as JSON integers, not as 3.0.
    for (const RecordedRequest& r : server.requests()) {
        if (r.body.contains("total_uses")) {
            EXPECT_TRUE(r.body.contains("\"total_uses\":3")) << r.body.toStdString();
        }
    }
}

TEST_F(PostHogServiceTest, SetupKeepsTheBuiltInKeyForEmptyOrPlaceholderKeys) {
    EXPECT_EQ(service.apiKey().size(), 48);
    EXPECT_EQ(service.distinctId(), QStringLiteral("anonymous"));
    service.setup(QString(), QStringLiteral("A"));
    EXPECT_EQ(service.apiKey(), PostHogService::builtInApiKey);
    EXPECT_EQ(service.distinctId(), QStringLiteral("A"));
    service.setup(QStringLiteral("REPLACE_ME"), QStringLiteral("B"));
    EXPECT_EQ(service.apiKey(), PostHogService::builtInApiKey);
    EXPECT_EQ(service.distinctId(), QStringLiteral("B"));

    service.setup(QStringLiteral("phc_real"), QStringLiteral("C"));
    service.capture(QStringLiteral("app_launched"));
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(bodyOf(server.requests().first()).value(QStringLiteral("api_key")).toString(),
              QStringLiteral("phc_real"));
}

TEST_F(PostHogServiceTest, FixedPropertiesOverwriteTheCallersAndOddValuesDropTheEvent) {
    service.capture(QStringLiteral("x"), {{QStringLiteral("platform"), QStringLiteral("Windows")},
                                          {QStringLiteral("app_name"), QStringLiteral("Other")},
                                          {QStringLiteral("ratio"), 0.5}});
    // Values a JSON serialiser refuses: the whole event is dropped, nothing half-sent.
    service.capture(QStringLiteral("nan"), {{QStringLiteral("v"), std::nan("")}});
    service.capture(QStringLiteral("date"), {{QStringLiteral("v"), QDateTime::currentDateTime()}});
    service.capture(QStringLiteral("after"));
    ASSERT_TRUE(server.waitForRequests(2));
    QTest::qWait(100);
    QStringList events;
    for (const RecordedRequest& r : server.requests())
        events << bodyOf(r).value(QStringLiteral("event")).toString();
    events.sort();
    EXPECT_EQ(events, (QStringList{QStringLiteral("after"), QStringLiteral("x")}));
    for (const RecordedRequest& r : server.requests()) {
        const QJsonObject body = bodyOf(r);
        if (body.value(QStringLiteral("event")) == QStringLiteral("x")) {
            EXPECT_EQ(body.value(QStringLiteral("properties")).toObject(), props({{QStringLiteral("ratio"), 0.5}}));
        }
    }
}

// The analytics session must not carry cookies from one event to the next.
TEST_F(PostHogServiceTest, KeepsNoCookies) {
    CannedResponse withCookie;
    withCookie.headers.insert("Set-Cookie", "track=1; Path=/");
    server.route(QStringLiteral("/capture/"), withCookie);
    service.capture(QStringLiteral("a"));
    ASSERT_TRUE(server.waitForRequests(1));
    QTest::qWait(50);
    service.capture(QStringLiteral("b"));
    ASSERT_TRUE(server.waitForRequests(2));
    for (const RecordedRequest& r : server.requests())
        EXPECT_FALSE(r.hasHeader(QStringLiteral("Cookie")));
}

TEST(PostHogServiceDelivery, FailuresAreSilentAndNotRetried) {
    int port = 0;
    {
        HttpTestServer gone;
        port = gone.port();
    }
    PostHogService offline(QUrl(QStringLiteral("http://127.0.0.1:%1/capture/").arg(port)));
    offline.capture(QStringLiteral("app_launched"));
    QTest::qWait(200);  // the refused connection comes and goes without a trace

    HttpTestServer failing;
    failing.setHandler([](const RecordedRequest&) {
        CannedResponse r;
        r.status = 500;
        return r;
    });
    PostHogService service(failing.url(QStringLiteral("/capture/")));
    service.capture(QStringLiteral("app_launched"));
    ASSERT_TRUE(failing.waitForRequests(1));
    QTest::qWait(300);
    EXPECT_EQ(failing.requestCount(), 1);
}

// Qt would write a file for a POST to a file: URL; analytics only ever speaks HTTP.
TEST(PostHogServiceDelivery, NeverWritesToNonWebEndpoints) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("capture"));
    PostHogService service(QUrl::fromLocalFile(target));
    service.capture(QStringLiteral("app_launched"));
    QTest::qWait(200);
    EXPECT_FALSE(QFile::exists(target));

    // Nor does a redirect from the capture endpoint lead it there.
    HttpTestServer server;
    CannedResponse redirect;
    redirect.status = 307;
    redirect.headers.insert("Location", QUrl::fromLocalFile(target).toEncoded());
    server.route(QStringLiteral("/capture/"), redirect);
    PostHogService redirected(server.url(QStringLiteral("/capture/")));
    redirected.capture(QStringLiteral("app_launched"));
    ASSERT_TRUE(server.waitForRequests(1));
    QTest::qWait(200);
    EXPECT_FALSE(QFile::exists(target));
}

namespace {

QStringList eventNames(const HttpTestServer& server) {
    QStringList names;
    for (const RecordedRequest& r : server.requests()) {
        names << bodyOf(r).value(QStringLiteral("event")).toString();
    }
    return names;
}

}  // namespace

// Events follow a redirect within the capture endpoint's origin only.
TEST_F(PostHogServiceTest, RedirectsAreFollowedOnlyWithinTheOrigin) {
    HttpTestServer other;
    server.route(QStringLiteral("/capture/"), redirectTo(server.url(QStringLiteral("/capture/v2/"))));
    service.capture(QStringLiteral("same_origin"));
    ASSERT_TRUE(server.waitForRequests(2));
    EXPECT_EQ(server.requests().last().path, QStringLiteral("/capture/v2/"));
    EXPECT_EQ(bodyOf(server.requests().last()).value(QStringLiteral("event")).toString(),
              QStringLiteral("same_origin"));

    for (const QUrl& target : {other.url(QStringLiteral("/capture/")),
                               QUrl(QStringLiteral("http://localhost:%1/capture/v2/").arg(server.port()))}) {
        server.clear();
        server.route(QStringLiteral("/capture/"), redirectTo(target));
        service.capture(QStringLiteral("elsewhere"));
        ASSERT_TRUE(server.waitForRequests(1));
        QTest::qWait(300);
        EXPECT_EQ(server.requestCount(), 1) << target.toString().toStdString();
    }
    EXPECT_EQ(other.requestCount(), 0);
}

// A capture endpoint whose reply never ends costs a bounded amount of memory, however busy the main
// thread is, and the client closes the connection at once.
TEST_F(PostHogServiceTest, AnEndlessReplyIsCutShort) {
    server.route(QStringLiteral("/capture/"), endlessBody(QByteArray(64 * 1024, 'x')));
    expectEndlessRepliesCutShort("analytics", server, 8 * 1024 * 1024,
                                 [&] { service.capture(QStringLiteral("app_launched")); });
}

// With replies dripping a byte at a time, requests end at the time-out, at most a few wait, and
// memory stays bounded; once the endpoint answers again, new events arrive.
TEST(PostHogServiceDelivery, ADrippingEndpointNeitherPilesUpNorBlocksLaterEvents) {
    HttpTestServer server;
    const CannedResponse drip = endlessBody("x", 0.2);
    server.setHandler([drip](const RecordedRequest&) { return drip; });
    DeliveryQueue::Limits limits;
    limits.timeout = std::chrono::milliseconds(400);
    limits.maxWaiting = 16;
    PostHogService service(server.url(QStringLiteral("/capture/")), limits);

    const QVariantMap properties{{QStringLiteral("sequence"), QString(2000, QLatin1Char('4'))}};
    const qint64 growth = peakHeapGrowthSending(
        300, [&] { service.capture(QStringLiteral("shortcut_triggered"), properties); },
        [&] { return server.requestCount() >= 12; }, 20000);
    // More than Qt's six connections' worth: ended requests make room for waiting ones.
    EXPECT_GE(server.requestCount(), 12);
    EXPECT_LT(growth, 8 * 1024 * 1024);
    std::cout << "[ measured ] heap growth " << growth / 1024 << " KiB, requests " << server.requestCount() << "\n";

    server.setHandler([](const RecordedRequest&) { return CannedResponse{}; });
    server.endStreams();
    service.capture(QStringLiteral("after_recovery"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return eventNames(server).contains(QStringLiteral("after_recovery")); }, 10000));
}

// http://h/ and http://h:80/ (https://h/ and https://h:443/) are one origin: an event follows a
// redirect from one spelling to the other.
TEST(PostHogServiceRedirects, TheDefaultPortWrittenOrNotIsOneOrigin) {
    forEachDefaultPortSpelling([](HttpTestServer& server, const QUrl& from, const QUrl& to, const std::string& name) {
        server.route(QStringLiteral("/capture/"), redirectTo(to.resolved(QUrl(QStringLiteral("/capture/v2/")))));
        PostHogService service(from.resolved(QUrl(QStringLiteral("/capture/"))));
        service.capture(QStringLiteral("moved"));
        ASSERT_TRUE(server.waitForRequests(2, 3000)) << name;
        EXPECT_EQ(server.requests().last().path, QStringLiteral("/capture/v2/")) << name;
        EXPECT_EQ(bodyOf(server.requests().last()).value(QStringLiteral("event")), QStringLiteral("moved")) << name;
    });
}
