#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTemporaryDir>

#include "services/APIClient.h"
#include "services/backend/BackendTestSupport.h"
#include "support/HttpTestServer.h"

using namespace std::chrono_literals;

namespace {

BundleInfo testBundle() {
    return BundleInfo{QStringLiteral("2.3.4"), QStringLiteral("99"), QStringLiteral("Version 14.1 (Build 23B74)"),
                      QStringLiteral("x86_64")};
}

CannedResponse json(QByteArray body, int status = 200) {
    CannedResponse response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

const QByteArray kIssueReply =
    R"({"issue_id":"ISS-1","status":"pending","excel_file":"ax.txt","log_file":"log.txt",)"
    R"("excel_upload_url":"https://u.example/a","log_upload_url":"https://u.example/l","expires_in_minutes":15})";

class APIClientTest : public ::testing::Test {
protected:
    HttpTestServer server;
    QNetworkAccessManager network;
    APIClient client{network, server.url(), testBundle(), 5000ms};

    RecordedRequest onlyRequest() {
        const auto requests = server.requests();
        EXPECT_EQ(requests.size(), 1);
        return requests.isEmpty() ? RecordedRequest{} : requests.first();
    }
};

}  // namespace

TEST_F(APIClientTest, SignatureIsAFixedHexDigestOfTheInstallId) {
    // Known HMAC-SHA256 value.
    EXPECT_EQ(APIClient::hmac(QStringLiteral("key"), QStringLiteral("The quick brown fox jumps over the lazy dog")),
              QStringLiteral("f7bc83f430538424b13298e6aa6fb143ef4d59a14946175997479dbc2d1a3cd8"));
    EXPECT_EQ(APIClient::hmac(QString(), QString()).size(), 64);

    EXPECT_THROW(client.authHeaders(), APIError);
    client.configure(QStringLiteral("ID-7"), QString::fromUtf8("sécret"));
    const auto headers = client.authHeaders();
    EXPECT_EQ(headers.value(QStringLiteral("X-Install-Id")), QStringLiteral("ID-7"));
    EXPECT_EQ(headers.value(QStringLiteral("X-Api-Key")), APIClient::hmac(QString::fromUtf8("sécret"), "ID-7"));
    EXPECT_EQ(client.authHeaders(), headers);  // no time stamp or nonce
    client.configure(QString(), QString());    // empty is still configured
    EXPECT_EQ(client.authHeaders().value(QStringLiteral("X-Install-Id")), QString());
}

TEST_F(APIClientTest, RegistrationIsUnauthenticatedAndCarriesTheBuild) {
    client.configure(QStringLiteral("OLD"), QStringLiteral("secret"));
    server.route(QStringLiteral("/api/v1/install/register"),
                 json(R"({"install_id":"ID-1","install_secret":"new-secret","is_new":true,"extra":1})"));

    const auto reply = waitForTask(client.registerInstall(QStringLiteral("ID-1")));

    EXPECT_EQ(reply, (InstallRegisterResponse{"ID-1", "new-secret", true}));
    const RecordedRequest request = onlyRequest();
    EXPECT_EQ(request.method, QStringLiteral("POST"));
    EXPECT_EQ(request.path, QStringLiteral("/api/v1/install/register"));
    EXPECT_EQ(request.header(QStringLiteral("Content-Type")), QStringLiteral("application/json"));
    EXPECT_FALSE(request.hasHeader(QStringLiteral("X-Install-Id")));
    EXPECT_FALSE(request.hasHeader(QStringLiteral("X-Api-Key")));
    EXPECT_EQ(request.body, QByteArray(R"x({"install_id":"ID-1","app_version":"2.3.4",)x"
                                       R"x("macos_version":"Version 14.1 (Build 23B74)","architecture":"x86_64"})x"));
}

TEST_F(APIClientTest, RegistrationFallsBackToVersionOneWithoutAShortVersion) {
    BundleInfo bundle = testBundle();
    bundle.shortVersion.reset();
    APIClient bare(network, server.url(), bundle, 5000ms);
    server.route(QStringLiteral("/api/v1/install/register"),
                 json(R"({"install_id":"I","install_secret":"S","is_new":false})"));
    waitForTask(bare.registerInstall(QStringLiteral("I")));
    EXPECT_TRUE(onlyRequest().body.contains(R"("app_version":"1.0.0")"));
}

TEST_F(APIClientTest, AuthenticatedCallsBeforeConfigureSendNothing) {
    for (auto kind : {apiErrorOf(client.getShortcuts()), apiErrorOf(client.getFeatures()),
                      apiErrorOf(client.updateProfile(QStringLiteral("n"), std::nullopt)),
                      apiErrorOf(client.createIssue()), apiErrorOf(client.markIssueUploaded(QStringLiteral("x")))}) {
        ASSERT_TRUE(kind.has_value());
        EXPECT_EQ(kind->kind(), APIError::Kind::notConfigured);
        EXPECT_STREQ(kind->what(), "notConfigured");
    }
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(APIClientTest, CatalogueAndFlagsAreSignedGets) {
    client.configure(QStringLiteral("ID-1"), QStringLiteral("secret"));
    server.route(QStringLiteral("/api/v1/shortcuts"), json(R"({"version":2,"shortcuts":[]})"));
    server.route(QStringLiteral("/api/v1/features"), json(R"({"features":[{"key":"k","value":"v"}]})"));

    EXPECT_EQ(waitForTask(client.getShortcuts()).version, 2);
    EXPECT_EQ(waitForTask(client.getFeatures()), (FeaturesResponse{{{"k", "v"}}}));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].path, QStringLiteral("/api/v1/shortcuts"));
    EXPECT_EQ(requests[1].path, QStringLiteral("/api/v1/features"));
    for (const RecordedRequest& request : requests) {
        EXPECT_EQ(request.method, QStringLiteral("GET"));
        EXPECT_EQ(request.header(QStringLiteral("X-Install-Id")), QStringLiteral("ID-1"));
        EXPECT_EQ(request.header(QStringLiteral("X-Api-Key")), APIClient::hmac("secret", "ID-1"));
        EXPECT_FALSE(request.hasHeader(QStringLiteral("Content-Type")));
        EXPECT_TRUE(request.body.isEmpty());
    }
}

TEST_F(APIClientTest, ProfileUpdateSendsOnlyTheGivenFields) {
    client.configure(QStringLiteral("ID-1"), QStringLiteral("secret"));
    server.route(QStringLiteral("/api/v1/profile"), json(R"({"install_id":"ID-1","name":"Ann"})"));

    EXPECT_EQ(waitForTask(client.updateProfile(QStringLiteral("Ann"), QStringLiteral("a/b@x.example"))),
              (ProfileResponse{"ID-1", QStringLiteral("Ann"), std::nullopt}));
    waitForTask(client.updateProfile(std::nullopt, QStringLiteral("e@x.example")));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].method, QStringLiteral("PUT"));
    EXPECT_EQ(requests[0].header(QStringLiteral("Content-Type")), QStringLiteral("application/json"));
    EXPECT_EQ(requests[0].header(QStringLiteral("X-Api-Key")), APIClient::hmac("secret", "ID-1"));
    EXPECT_EQ(requests[0].body, QByteArray(R"({"name":"Ann","email":"a\/b@x.example"})"));
    EXPECT_EQ(requests[1].body, QByteArray(R"({"email":"e@x.example"})"));
}

TEST_F(APIClientTest, IssueIsCreatedWithAnEmptyObjectAndMarkedWithAPatch) {
    client.configure(QStringLiteral("ID-1"), QStringLiteral("secret"));
    server.setHandler([](const RecordedRequest& request) {
        return request.method == QLatin1String("POST") ? json(kIssueReply)
                                                       : json(R"({"issue_id":"ISS-1","status":"uploaded"})");
    });

    EXPECT_EQ(waitForTask(client.createIssue()).logUploadUrl, QStringLiteral("https://u.example/l"));
    EXPECT_EQ(waitForTask(client.markIssueUploaded(QStringLiteral("ISS-1"))),
              (IssuePatchResponse{"ISS-1", "uploaded"}));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].method, QStringLiteral("POST"));
    EXPECT_EQ(requests[0].path, QStringLiteral("/api/v1/issues"));
    EXPECT_EQ(requests[0].header(QStringLiteral("Content-Type")), QStringLiteral("application/json"));
    EXPECT_EQ(requests[0].body, QByteArray("{}"));
    EXPECT_EQ(requests[1].method, QStringLiteral("PATCH"));
    EXPECT_EQ(requests[1].path, QStringLiteral("/api/v1/issues/ISS-1"));
    EXPECT_FALSE(requests[1].hasHeader(QStringLiteral("Content-Type")));
    EXPECT_EQ(requests[1].header(QStringLiteral("X-Install-Id")), QStringLiteral("ID-1"));
    EXPECT_TRUE(requests[1].body.isEmpty());
}

// The id from the create reply is one path segment, sent as it is, or nothing is sent at all.
TEST_F(APIClientTest, AnIssueIdStaysOnePathSegment) {
    client.configure(QStringLiteral("ID-1"), QStringLiteral("secret"));
    server.setHandler([](const RecordedRequest&) { return json(R"({"issue_id":"x","status":"uploaded"})"); });
    struct Row {
        const char* id;
        bool sent;
    };
    for (const Row& row : {Row{"", false}, Row{".", false}, Row{"..", false}, Row{"../../install/register", false},
                           Row{"a/b", false}, Row{"a?b", false}, Row{"a#b", false}, Row{"...", true}, Row{"a b", true},
                           Row{"%2e%2e", true}, Row{"a%2Fb", true}, Row{"a\\b;c", true}, Row{"ü-€", true}}) {
        const QString id = QString::fromUtf8(row.id);
        server.clear();
        if (!row.sent) {
            const auto error = transportErrorOf(client.markIssueUploaded(id));
            ASSERT_TRUE(error.has_value()) << row.id;
            EXPECT_STREQ(error->what(), "unsupported URL") << row.id;
            EXPECT_EQ(server.requestCount(), 0) << row.id;
            continue;
        }
        waitForTask(client.markIssueUploaded(id));
        ASSERT_EQ(server.requestCount(), 1) << row.id;
        EXPECT_EQ(server.requests().first().path, QStringLiteral("/api/v1/issues/") + id) << row.id;
        EXPECT_TRUE(server.requests().first().query.isEmpty()) << row.id;
    }
}

TEST_F(APIClientTest, StatusAndBodyDecideTheError) {
    client.configure(QStringLiteral("ID-1"), QStringLiteral("secret"));
    const auto errorFor = [&](CannedResponse response) {
        server.route(QStringLiteral("/api/v1/features"), std::move(response));
        return apiErrorOf(client.getFeatures());
    };

    for (const int status : {404, 500, 302, 401}) {
        const auto error = errorFor(json(R"({"features":[]})", status));
        ASSERT_TRUE(error.has_value()) << status;
        EXPECT_EQ(error->kind(), APIError::Kind::httpError);
        EXPECT_EQ(error->statusCode(), status);
    }
    EXPECT_STREQ(errorFor(json("not json", 404))->what(), "httpError(404)");

    const auto missingKey = errorFor(json(R"({"flags":[]})"));
    EXPECT_EQ(missingKey->kind(), APIError::Kind::decodingError);
    EXPECT_EQ(missingKey->decodingMessage(), QStringLiteral("Key not found: \"features\""));
    EXPECT_EQ(errorFor(json(QByteArray(), 204))->kind(), APIError::Kind::decodingError);
    EXPECT_EQ(errorFor(json("<html></html>"))->kind(), APIError::Kind::decodingError);

    // Any 2xx with a decodable body is a success.
    server.route(QStringLiteral("/api/v1/features"), json(R"({"features":[]})", 201));
    EXPECT_TRUE(waitForTask(client.getFeatures()).features.isEmpty());
}

TEST_F(APIClientTest, TransportFailuresComeThroughUnwrapped) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    APIClient unreachable(network, QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)), testBundle(), 5000ms);
    const auto refused = transportErrorOf(unreachable.registerInstall(QStringLiteral("I")));
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->code(), QNetworkReply::ConnectionRefusedError);
    EXPECT_FALSE(QString::fromUtf8(refused->what()).isEmpty());

    APIClient impatient(network, server.url(), testBundle(), 200ms);
    CannedResponse slow = json(R"({"install_id":"I","install_secret":"S","is_new":true})");
    slow.delaySeconds = 1.5;
    server.route(QStringLiteral("/api/v1/install/register"), slow);
    const auto timedOut = transportErrorOf(impatient.registerInstall(QStringLiteral("I")));
    ASSERT_TRUE(timedOut.has_value());
    EXPECT_TRUE(timedOut->isTimeout()) << timedOut->what();
}

TEST_F(APIClientTest, UploadIsAPlainUnsignedPutThatOnlyAcceptsStatus200) {
    client.configure(QStringLiteral("ID-1"), QStringLiteral("secret"));
    server.route(QStringLiteral("/upload/log"), json("ignored <xml/>", 200));
    waitForTask(client.uploadToPresignedURL(server.url(QStringLiteral("/upload/log?sig=a%2Fb")),
                                            QString::fromUtf8("log ✓\nline")));

    const RecordedRequest request = onlyRequest();
    EXPECT_EQ(request.method, QStringLiteral("PUT"));
    EXPECT_EQ(request.path, QStringLiteral("/upload/log"));
    EXPECT_EQ(request.query, QStringLiteral("sig=a%2Fb"));
    EXPECT_EQ(request.header(QStringLiteral("Content-Type")), QStringLiteral("text/plain"));
    EXPECT_EQ(request.body, QString::fromUtf8("log ✓\nline").toUtf8());
    EXPECT_FALSE(request.hasHeader(QStringLiteral("X-Install-Id")));
    EXPECT_FALSE(request.hasHeader(QStringLiteral("X-Api-Key")));

    for (const int status : {201, 204, 403}) {
        server.route(QStringLiteral("/upload/log"), json(QByteArray(), status));
        const auto error = apiErrorOf(client.uploadToPresignedURL(server.url(QStringLiteral("/upload/log")), "x"));
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->kind(), APIError::Kind::httpError);
        EXPECT_EQ(error->statusCode(), status);
    }
}

TEST_F(APIClientTest, NonWebURLsAreRefusedBeforeAnythingIsSent) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("written.txt"));
    for (const QUrl& url : {QUrl::fromLocalFile(target), QUrl(QStringLiteral("data:text/plain,hello")),
                            QUrl(QStringLiteral("ftp://127.0.0.1/x")), QUrl(QStringLiteral("relative/path")),
                            QUrl(QStringLiteral("http:///nohost"))}) {
        const auto error = transportErrorOf(client.uploadToPresignedURL(url, QStringLiteral("secret text")));
        ASSERT_TRUE(error.has_value()) << url.toString().toStdString();
        EXPECT_STREQ(error->what(), "unsupported URL");
    }
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    // Nor does a redirect lead there: refused like one to another origin.
    CannedResponse redirect = json(QByteArray(), 307);
    redirect.headers.insert("Location", QUrl::fromLocalFile(target).toEncoded());
    server.route(QStringLiteral("/upload/redirect"), redirect);
    EXPECT_STREQ(
        transportErrorOf(client.uploadToPresignedURL(server.url(QStringLiteral("/upload/redirect")), "x"))->what(),
        "redirect refused");
    EXPECT_FALSE(QFile::exists(target));

    APIClient badBase(network, QUrl(QStringLiteral("file:///tmp")), testBundle(), 5000ms);
    EXPECT_TRUE(transportErrorOf(badBase.registerInstall(QStringLiteral("I"))));
    EXPECT_EQ(server.requestCount(), 1);  // only the redirecting request
}

TEST_F(APIClientTest, RedirectsBetweenWebURLsAreFollowed) {
    CannedResponse moved = json(QByteArray(), 307);
    moved.headers.insert("Location", server.url(QStringLiteral("/upload/new")).toEncoded());
    // Qt re-sends a PUT whose 307 arrives on a kept-alive connection of this test server and then
    // fails the redirected request now and then; a closing connection keeps the test about redirects.
    moved.headers.insert("Connection", "close");
    server.route(QStringLiteral("/upload/old"), moved);
    server.route(QStringLiteral("/upload/new"), json(QByteArray(), 200));
    waitForTask(client.uploadToPresignedURL(server.url(QStringLiteral("/upload/old")), QStringLiteral("body")));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[1].path, QStringLiteral("/upload/new"));
    EXPECT_EQ(requests[1].body, QByteArray("body"));
}

TEST_F(APIClientTest, AnInstallIdThatCannotBeAHeaderIsNeverSent) {
    client.configure(QStringLiteral("ID\r\nX-Injected: 1"), QStringLiteral("secret"));
    EXPECT_TRUE(transportErrorOf(client.getFeatures()));
    EXPECT_EQ(server.requestCount(), 0);
}
