#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include "platform/qt/AppcastFeed.h"
#include "platform/qt/AppcastUpdater.h"
#include "platform/qt/ReplyGuard.h"
#include "platform/qt/VersionComparator.h"
#include "support/HeapUsage.h"
#include "support/HttpTestServer.h"

namespace {

QByteArray feed(const QByteArray& items) {
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel><title>Keyloom</title>)" +
           items + "</channel></rss>";
}

QByteArray item(const QByteArray& version, const QByteArray& shortVersion, const QByteArray& link) {
    return "<item><title>v</title><link>" + link + "</link><sparkle:version>" + version +
           "</sparkle:version><sparkle:shortVersionString>" + shortVersion + "</sparkle:shortVersionString></item>";
}

struct RecordingDelegate : UpdaterDelegate {
    QList<AppcastItem> found;
    QStringList aborted;
    void didFindValidUpdate(const AppcastItem& i) override { found.append(i); }
    void didAbortWithError(const QString& d) override { aborted.append(d); }
    void failedToDownloadUpdate(const AppcastItem&, const QString&) override {}
};

class AppcastUpdaterTest : public ::testing::Test {
protected:
    HttpTestServer server;
    RecordingDelegate delegate;
    QList<AppcastUpdater::InteractiveResult> presented;

    std::unique_ptr<AppcastUpdater> makeUpdater(const QUrl& url, const QString& host = QStringLiteral("1.0.0"),
                                                AppcastUpdater::Limits limits = {}) {
        auto updater = std::make_unique<AppcastUpdater>(url, host, limits);
        updater->setDelegate(&delegate);
        updater->setPresenter([this](const AppcastUpdater::InteractiveResult& r) { presented.append(r); });
        return updater;
    }
    void serveFeed(const QByteArray& body, int status = 200) {
        server.route(QStringLiteral("/appcast.xml"), CannedResponse{status, body, "application/rss+xml", 0, {}});
    }
    // Probes once and waits until the updater is ready again.
    void probe(AppcastUpdater& updater) {
        ASSERT_TRUE(updater.canCheckForUpdates());
        updater.checkForUpdateInformation();
        EXPECT_FALSE(updater.canCheckForUpdates());
        ASSERT_TRUE(QTest::qWaitFor([&] { return updater.canCheckForUpdates(); }, 5000));
    }
};

}  // namespace

TEST(VersionComparator, ComparesDottedVersions) {
    struct Pair {
        const char* a;
        const char* b;
        int expected;
    };
    const Pair pairs[] = {
        {"1.0", "1.0", 0},      {"1.0", "1.0.0", 0},
        {"1.0.0.0", "1", 0},    {"1.0", "1.1", -1},
        {"1.10", "1.9", 1},     {"2", "1.9.9", 1},
        {"1.0b", "1.0", -1},    {"1.0.0b", "1.0", -1},
        {"1.0b1", "1.0b2", -1}, {"1.0a", "1.0b", -1},
        {"1.0.1", "1.0b", 1},   {"010", "10", 0},
        {"1.0.1", "1.01", -1},  {"123456789012345678901234567890", "123456789012345678901234567889", 1},
        {"100", "99", 1},       {"1.0", "", 1},
        {" 1.2 ", "1.2", 0},    {"1.2.0.1", "1.2", 1},
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(VersionComparator::compare(QString::fromLatin1(p.a), QString::fromLatin1(p.b)), p.expected)
            << p.a << " vs " << p.b;
        EXPECT_EQ(VersionComparator::compare(QString::fromLatin1(p.b), QString::fromLatin1(p.a)), -p.expected)
            << p.b << " vs " << p.a;
    }
}

TEST(AppcastFeed, ReadsElementAndEnclosureVersionsAndPicksTheNewest) {
    const QByteArray xml =
        feed(item("150", "1.5", "https://keyloom.example/1.5") +
             R"(<item><enclosure url="https://keyloom.example/k.zip" sparkle:version="200"/></item>)" +
             "<item><title>no version</title></item>" + item("120", "1.2", "https://x.example"));
    const auto items = AppcastFeed::parse(xml);
    ASSERT_TRUE(items.has_value());
    ASSERT_EQ(items->size(), 3);
    const auto newest = AppcastFeed::newest(*items);
    ASSERT_TRUE(newest.has_value());
    EXPECT_EQ(newest->versionString, QStringLiteral("200"));
    EXPECT_EQ(newest->displayVersionString, QStringLiteral("200"));
    EXPECT_EQ(newest->link, QUrl(QStringLiteral("https://keyloom.example/k.zip")));

    EXPECT_TRUE(AppcastFeed::parse(feed(""))->isEmpty());
    EXPECT_FALSE(AppcastFeed::newest({}).has_value());
    for (const QByteArray& bad : {QByteArray(""), QByteArray("{\"json\":1}"), QByteArray("<rss><channel><item>"),
                                  QByteArray("<html><body/></html>"), QByteArray("<rss version=\"2.0\"/>")}) {
        EXPECT_FALSE(AppcastFeed::parse(bad).has_value()) << bad.toStdString();
    }
}

TEST_F(AppcastUpdaterTest, ReportsOnlyNewerVersions) {
    auto updater = makeUpdater(server.url(QStringLiteral("/appcast.xml")));
    ASSERT_FALSE(updater->canCheckForUpdates());  // not started yet
    ASSERT_FALSE(updater->start().has_value());

    serveFeed(feed(item("1.0.0", "1.0", "https://k.example/1.0")));  // equal
    probe(*updater);
    serveFeed(feed(item("0.9", "0.9", "https://k.example/0.9")));  // older
    probe(*updater);
    EXPECT_TRUE(delegate.found.isEmpty());
    EXPECT_TRUE(delegate.aborted.isEmpty());

    serveFeed(
        feed(item("0.9", "0.9", "") + item("1.1", "1.1 (beta)", "https://k.example/1.1") + item("1.0.1", "1.0.1", "")));
    probe(*updater);
    ASSERT_EQ(delegate.found.size(), 1);
    EXPECT_EQ(delegate.found[0].versionString, QStringLiteral("1.1"));
    EXPECT_EQ(delegate.found[0].displayVersionString, QStringLiteral("1.1 (beta)"));
    EXPECT_EQ(delegate.found[0].link, QUrl(QStringLiteral("https://k.example/1.1")));
    EXPECT_TRUE(presented.isEmpty());  // background probes show nothing
}

TEST_F(AppcastUpdaterTest, MalformedAndUnreachableFeedsAbortWithAReason) {
    auto updater = makeUpdater(server.url(QStringLiteral("/appcast.xml")));
    updater->start();
    serveFeed("<rss><channel><item>");
    probe(*updater);
    serveFeed(feed(item("9", "9", "")), 404);
    probe(*updater);
    EXPECT_TRUE(delegate.found.isEmpty());
    ASSERT_EQ(delegate.aborted.size(), 2);
    EXPECT_EQ(delegate.aborted[0], QStringLiteral("An error occurred while parsing the update feed."));
    EXPECT_TRUE(delegate.aborted[1].startsWith(QStringLiteral("An error occurred in retrieving update information: ")));

    int port = 0;
    {
        HttpTestServer gone;
        port = gone.port();
    }
    auto offline = makeUpdater(QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(port)));
    offline->start();
    probe(*offline);
    EXPECT_EQ(delegate.aborted.size(), 3);
}

TEST_F(AppcastUpdaterTest, RefusesNonWebFeedsAndRedirects) {
    QTemporaryDir dir;
    QFile local(dir.filePath(QStringLiteral("appcast.xml")));
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.write(feed(item("9", "9", "https://k.example")));
    local.close();

    auto fileFeed = makeUpdater(QUrl::fromLocalFile(local.fileName()));
    const auto error = fileFeed->start();
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(fileFeed->canCheckForUpdates());

    CannedResponse redirect;
    redirect.status = 302;
    redirect.headers.insert("Location", QUrl::fromLocalFile(local.fileName()).toEncoded());
    server.route(QStringLiteral("/appcast.xml"), redirect);
    auto updater = makeUpdater(server.url(QStringLiteral("/appcast.xml")));
    updater->start();
    probe(*updater);
    EXPECT_TRUE(delegate.found.isEmpty());
    EXPECT_EQ(delegate.aborted.size(), 1);
}

TEST_F(AppcastUpdaterTest, InteractiveChecksPresentTheirOutcome) {
    auto updater = makeUpdater(server.url(QStringLiteral("/appcast.xml")));
    updater->checkForUpdates();
    ASSERT_EQ(presented.size(), 1);
    EXPECT_EQ(presented[0].kind, AppcastUpdater::InteractiveResult::Kind::Failed);

    updater->start();
    serveFeed(feed(item("2.0", "2.0", "https://k.example/2")));
    updater->checkForUpdates();
    ASSERT_TRUE(QTest::qWaitFor([&] { return presented.size() == 2; }, 5000));
    EXPECT_EQ(presented[1].kind, AppcastUpdater::InteractiveResult::Kind::UpdateAvailable);
    EXPECT_EQ(presented[1].item.displayVersionString, QStringLiteral("2.0"));
    EXPECT_EQ(delegate.found.size(), 1);  // the delegate hears of it as well

    serveFeed(feed(item("1.0", "1.0", "")));
    updater->checkForUpdates();
    ASSERT_TRUE(QTest::qWaitFor([&] { return presented.size() == 3; }, 5000));
    EXPECT_EQ(presented[2].kind, AppcastUpdater::InteractiveResult::Kind::UpToDate);
}

// A feed past the cap fails without being read into memory, whether it declares its length or never
// ends; the connection is closed at once, however busy the main thread is.
TEST_F(AppcastUpdaterTest, OversizedFeedsFailWithoutBeingRead) {
    const QString tooLarge =
        QStringLiteral("An error occurred in retrieving update information: the feed is larger than 4 MiB");
    auto updater = makeUpdater(server.url(QStringLiteral("/appcast.xml")));
    updater->start();
    server.route(QStringLiteral("/appcast.xml"), endlessBody(QByteArray(64 * 1024, ' ')));
    expectEndlessRepliesCutShort(
        "update feed", server, AppcastUpdater::maxFeedBytes + 8 * 1024 * 1024,
        [&] { updater->checkForUpdateInformation(); }, [&] { return updater->canCheckForUpdates(); });
    // Measured before: the test server's own copy of this feed would count.
    serveFeed(feed(item("9.9.9", "9.9.9", "") + "<!--" + QByteArray(9 * 1024 * 1024, '-') + "-->"));
    probe(*updater);
    EXPECT_EQ(delegate.aborted.join(u'|').toStdString(), QStringList(3, tooLarge).join(u'|').toStdString());
    EXPECT_TRUE(delegate.found.isEmpty());
}

// A feed dripping a byte at a time keeps the time-out without traffic at bay, but not the deadline.
TEST_F(AppcastUpdaterTest, ADrippingFeedEndsAtTheDeadline) {
    server.route(QStringLiteral("/appcast.xml"), endlessBody("<", 0.2));
    auto updater = makeUpdater(server.url(QStringLiteral("/appcast.xml")), QStringLiteral("1.0.0"),
                               {std::chrono::milliseconds(600), std::chrono::milliseconds(1500)});
    updater->start();
    QElapsedTimer clock;
    clock.start();
    probe(*updater);
    EXPECT_GE(clock.elapsed(), 1400);
    EXPECT_EQ(delegate.aborted.join(u'|').toStdString(),
              "An error occurred in retrieving update information: The request timed out.");
}

// A feed asked for over https never goes on over http, and a redirect loop ends early.
TEST_F(AppcastUpdaterTest, RedirectsNeverLeaveHttpsForHttpNorLoop) {
    HttpTestServer secure(HttpTestServer::Scheme::Https);
    secure.route(QStringLiteral("/old.xml"), redirectTo(secure.url(QStringLiteral("/appcast.xml"))));
    secure.route(QStringLiteral("/appcast.xml"),
                 CannedResponse{200, feed(item("9.9.9", "9.9.9", "")), "application/rss+xml", 0, {}});
    secure.route(QStringLiteral("/downgraded.xml"), redirectTo(server.url(QStringLiteral("/appcast.xml"))));
    serveFeed(feed(item("9.9.9", "9.9.9", "")));
    server.route(QStringLiteral("/loop.xml"), redirectTo(server.url(QStringLiteral("/loop.xml"))));

    for (const QUrl& url : {secure.url(QStringLiteral("/old.xml")), secure.url(QStringLiteral("/downgraded.xml")),
                            server.url(QStringLiteral("/loop.xml"))}) {
        auto updater = makeUpdater(url);
        updater->start();
        probe(*updater);
    }
    EXPECT_EQ(delegate.found.size(), 1);  // over https throughout
    const QString failed = QStringLiteral("An error occurred in retrieving update information: ");
    EXPECT_EQ(
        delegate.aborted.join(u'|').toStdString(),
        (failed + QStringLiteral("redirect refused|") + failed + QStringLiteral("too many redirects")).toStdString());
    EXPECT_EQ(server.requests().first().path, QStringLiteral("/loop.xml"));  // nothing went to the http feed
    EXPECT_GE(server.requestCount(), ReplyGuard::maxRedirects + 1);
    EXPECT_LE(server.requestCount(), 2 * (ReplyGuard::maxRedirects + 1));  // with Qt's sending again
}

// https://h/ and https://h:443/ (http://h/ and http://h:80/) are one origin, which the feed follows
// from one spelling to the other like any other redirect.
TEST_F(AppcastUpdaterTest, TheDefaultPortWrittenOrNotIsOneOrigin) {
    forEachDefaultPortSpelling([&](HttpTestServer& server, const QUrl& from, const QUrl& to, const std::string& name) {
        server.route(QStringLiteral("/appcast.xml"), redirectTo(to.resolved(QUrl(QStringLiteral("/feed.xml")))));
        server.route(QStringLiteral("/feed.xml"),
                     CannedResponse{200, feed(item("9.9.9", "9.9.9", "")), "application/rss+xml", 0, {}});
        auto updater = makeUpdater(from.resolved(QUrl(QStringLiteral("/appcast.xml"))));
        updater->start();
        probe(*updater);
        EXPECT_EQ(delegate.aborted.join(u'|').toStdString(), "") << name;
        EXPECT_EQ(server.requests().last().path, QStringLiteral("/feed.xml")) << name;
    });
    EXPECT_EQ(delegate.found.size(), 4);
}
