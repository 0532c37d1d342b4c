#include <gtest/gtest.h>

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTest>
#include <memory>

#include "platform/qt/ReplyGuard.h"
#include "support/HttpTestServer.h"

using namespace std::chrono_literals;

namespace {

CannedResponse bodyOf(qsizetype size, int status = 200, QByteArray declared = {}) {
    CannedResponse response;
    response.status = status;
    response.body = QByteArray(size, 'x');
    response.contentType = "application/octet-stream";
    if (!declared.isEmpty()) {
        response.headers.insert("Content-Length", declared);
    }
    return response;
}

std::string nameOf(ReplyGuard::Breach breach) {
    const char* names[] = {"None", "RefusedRedirect", "TooManyRedirects", "TooLarge", "DeadlinePassed"};
    return names[static_cast<int>(breach)];
}

struct Case {
    const char* path;
    QByteArray method;
    ReplyGuard::Breach breach;
};

struct Outcome {
    ReplyGuard::Breach breach = ReplyGuard::Breach::None;  // when the reply finished
    bool queuedSlotRan = false;
    bool deleted = false;
};

// Sends a prepared request, watched with a cap of 1 KiB and a deadline of 1 s, whose reply deletes
// itself once finished; waits for its end, and with `settle` for its deletion too.
Outcome send(QNetworkAccessManager& network, const QUrl& url, const QByteArray& method, bool settle = false,
             bool abortAtOnce = false) {
    QNetworkRequest request(url);
    ReplyGuard::prepare(request);
    request.setAttribute(QNetworkRequest::AutoDeleteReplyOnFinishAttribute, true);
    QNetworkReply* reply = method == "GET"    ? network.get(request)
                           : method == "HEAD" ? network.head(request)
                                              : network.sendCustomRequest(request, method, QByteArray(2048, 'b'));
    const QPointer<QNetworkReply> alive(reply);
    const QPointer<ReplyGuard> guard = ReplyGuard::watch(reply, 1024, ReplyGuard::Body::Keep, 1000ms);
    // Shared with the slots, which may run after this returns.
    auto outcome = std::make_shared<Outcome>();
    auto finished = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::finished, [finished, outcome, guard] {
        *finished = true;
        outcome->breach = guard->breach();
    });
    QObject::connect(
        reply, &QNetworkReply::finished, reply, [outcome] { outcome->queuedSlotRan = true; }, Qt::QueuedConnection);
    if (abortAtOnce) {
        reply->abort();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return *finished; }, 5000));
    outcome->deleted = settle && QTest::qWaitFor([&] { return !alive; }, 3000);
    return *outcome;
}

}  // namespace

// The guard stops its own transfer and nothing else: however the reply ended, a slot queued on its
// finished() runs and the deletion asked for with AutoDeleteReplyOnFinishAttribute happens; a redirect
// the guard refused still sends nothing.
TEST(ReplyGuardTest, QueuedWorkOnAnEndedReplyRuns) {
    HttpTestServer server;
    HttpTestServer other;
    server.route(QStringLiteral("/small"), bodyOf(100));
    server.route(QStringLiteral("/large"), bodyOf(4096));
    server.route(QStringLiteral("/elsewhere"), redirectTo(other.url(QStringLiteral("/small"))));
    server.route(QStringLiteral("/drip"), endlessBody("x", 0.2));
    QNetworkAccessManager network;
    const Case cases[] = {
        {"/small", "GET", ReplyGuard::Breach::None},
        {"/small", "PUT", ReplyGuard::Breach::None},
        {"/large", "POST", ReplyGuard::Breach::TooLarge},
        {"/elsewhere", "GET", ReplyGuard::Breach::RefusedRedirect},
        {"/elsewhere", "PUT", ReplyGuard::Breach::RefusedRedirect},
        {"/drip", "GET", ReplyGuard::Breach::DeadlinePassed},
    };
    for (const auto& c : cases) {
        const Outcome outcome = send(network, server.url(QString::fromLatin1(c.path)), c.method, true);
        const std::string name = c.method.toStdString() + " " + c.path;
        EXPECT_EQ(nameOf(outcome.breach), nameOf(c.breach)) << name;
        EXPECT_TRUE(outcome.queuedSlotRan) << name << ": the slot queued on finished() never ran";
        EXPECT_TRUE(outcome.deleted) << name << ": the reply was never deleted";
    }
    EXPECT_EQ(other.requestCount(), 0);
    // Aborted before Qt got round to starting it: never sent.
    const int sent = server.requestCount();
    const Outcome aborted = send(network, server.url(QStringLiteral("/never")), "PUT", true, true);
    EXPECT_TRUE(aborted.queuedSlotRan && aborted.deleted);
    EXPECT_FALSE(server.waitForRequests(sent + 1, 300)) << "the aborted request went out";
}

// Redirect chains running at once, on connections kept alive or closed after each hop: each hop's
// request goes out once, and none after the replies ended.
TEST(ReplyGuardTest, EachHopOfAChainIsSentOnce) {
    HttpTestServer server;
    QNetworkAccessManager network;
    constexpr int waves = 3;  // a race with Qt's network thread: a few rounds of it
    constexpr int chains = 6;
    constexpr int hops = 8;
    for (int wave = 0; wave < waves; ++wave) {
        QEventLoop loop;
        int running = chains;
        for (int chain = 0; chain < chains; ++chain) {
            const auto hop = [wave, chain](int i) { return QStringLiteral("/%1/%2/%3").arg(wave).arg(chain).arg(i); };
            for (int i = 0; i < hops; ++i) {
                CannedResponse moved = redirectTo(server.url(hop(i + 1)));
                if (chain % 2 == 0) {
                    moved.headers.remove("Connection");  // kept alive
                }
                server.route(hop(i), moved);
            }
            server.route(hop(hops), bodyOf(100));
            QNetworkRequest request(server.url(hop(0)));
            ReplyGuard::prepare(request);
            QNetworkReply* reply = network.get(request);
            ReplyGuard::watch(reply, 1024, ReplyGuard::Body::Keep, 3000ms);
            QObject::connect(reply, &QNetworkReply::finished, &loop, [&] {
                if (--running == 0) {
                    loop.quit();
                }
            });
        }
        loop.exec();  // the deadline ends every reply
    }
    const int sent = waves * chains * (hops + 1);
    EXPECT_FALSE(server.waitForRequests(sent + 1, 300)) << "a request went out twice";
    EXPECT_EQ(server.requestCount(), sent);
}

// A reply that has no body by its method or status is not held to the cap by the length it declares.
TEST(ReplyGuardTest, ABodilessReplyIsNotHeldToTheCapByItsDeclaredLength) {
    HttpTestServer server;
    server.route(QStringLiteral("/large"), bodyOf(4096));
    server.route(QStringLiteral("/204"), bodyOf(0, 204, "1099511627776"));
    server.route(QStringLiteral("/304"), bodyOf(0, 304, "1099511627776"));
    QNetworkAccessManager network;
    const Case cases[] = {
        {"/large", "HEAD", ReplyGuard::Breach::None},    {"/204", "GET", ReplyGuard::Breach::None},
        {"/304", "GET", ReplyGuard::Breach::None},       {"/204", "PUT", ReplyGuard::Breach::None},
        {"/large", "GET", ReplyGuard::Breach::TooLarge},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(nameOf(send(network, server.url(QString::fromLatin1(c.path)), c.method).breach), nameOf(c.breach))
            << c.method.constData() << " " << c.path;
    }
}
