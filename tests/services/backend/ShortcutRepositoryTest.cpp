#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QTcpServer>

#include "models/ShortcutData.h"
#include "platform/UserDefaults.h"
#include "services/APIClient.h"
#include "services/ShortcutRepository.h"
#include "services/backend/BackendTestSupport.h"
#include "support/HttpTestServer.h"

using namespace std::chrono_literals;

namespace {

QByteArray entry(const char* id, const char* category) {
    return QByteArray(R"({"id":")") + id + R"(","category":")" + category +
           R"(","name":"N","description":"D","windows_keys":["Alt"],"mac_keys":["⌘"]})";
}

CannedResponse reply(QByteArray body, int status = 200) {
    CannedResponse response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

// Logs what an observer of the repository sees, in order.
class Observer {
public:
    Observer(ShortcutRepository& repository, const HttpTestServer& server) {
        QObject::connect(&repository, &ShortcutRepository::objectWillChange, [this] { log << "will"; });
        QObject::connect(&repository, &ShortcutRepository::isLoadingChanged, [this, &repository, &server] {
            log << QStringLiteral("isLoading=%1").arg(repository.isLoading());
            if (repository.isLoading()) {
                requestsWhenLoadingStarted = server.requestCount();
            }
        });
        QObject::connect(&repository, &ShortcutRepository::shortcutsChanged, [this, &repository] {
            log << QStringLiteral("shortcuts=%1").arg(repository.shortcuts().size());
        });
        QObject::connect(&repository, &ShortcutRepository::loadedFromAPIChanged, [this, &repository] {
            log << QStringLiteral("loadedFromAPI=%1").arg(repository.loadedFromAPI());
        });
    }
    QStringList log;
    int requestsWhenLoadingStarted = -1;
};

class ShortcutRepositoryTest : public ::testing::Test {
protected:
    ShortcutRepositoryTest() { client.configure(QStringLiteral("ID-1"), QStringLiteral("secret")); }

    HttpTestServer server;
    QNetworkAccessManager network;
    APIClient client{network, server.url(), BundleInfo::current(), 5000ms};
    UserDefaults defaults;
    ShortcutRepository repository{client, defaults};

    void serveCatalogue(const QByteArray& body, int status = 200) {
        server.route(QStringLiteral("/api/v1/shortcuts"), reply(body, status));
    }
    void expectBuiltInCatalogue() {
        EXPECT_EQ(repository.shortcuts(), ShortcutData::all());
        EXPECT_EQ(repository.shortcuts().size(), 68);
        EXPECT_FALSE(repository.loadedFromAPI());
        EXPECT_FALSE(repository.isLoading());
    }
};

}  // namespace

TEST_F(ShortcutRepositoryTest, PublishesTheBackendCatalogueWithLenientCategories) {
    serveCatalogue(R"({"version":4,"shortcuts":[)" + entry("a", "FORMATTING") + "," + entry("b", "Charts") + "," +
                   entry("c", "pivot") + "," + entry("d", "Insert & Delete") + "]}");
    Observer observer(repository, server);
    EXPECT_TRUE(repository.shortcuts().isEmpty());

    waitForTask(repository.load());

    ASSERT_EQ(repository.shortcuts().size(), 3);
    EXPECT_EQ(repository.shortcuts()[0].id, QStringLiteral("a"));
    EXPECT_EQ(repository.shortcuts()[0].category, ShortcutCategory::format);
    EXPECT_EQ(repository.shortcuts()[1].category, ShortcutCategory::pivot);
    EXPECT_EQ(repository.shortcuts()[2].category, ShortcutCategory::insertDelete);
    EXPECT_EQ(repository.shortcuts()[2].macKeys, QStringList{QString::fromUtf8("⌘")});
    EXPECT_TRUE(repository.loadedFromAPI());
    // Loading shows before the request, and ends only after the list and its source changed.
    EXPECT_EQ(observer.requestsWhenLoadingStarted, 0);
    EXPECT_EQ(observer.log, (QStringList{"will", "isLoading=1", "will", "shortcuts=3", "will", "loadedFromAPI=1",
                                         "will", "isLoading=0"}));
}

TEST_F(ShortcutRepositoryTest, AnEmptyBackendCatalogueIsStillTheBackendsAnswer) {
    serveCatalogue(R"({"version":1,"shortcuts":[]})");
    waitForTask(repository.load());
    EXPECT_TRUE(repository.shortcuts().isEmpty());
    EXPECT_TRUE(repository.loadedFromAPI());
    EXPECT_FALSE(repository.isLoading());
}

TEST_F(ShortcutRepositoryTest, EveryKindOfFailureFallsBackToTheBuiltInCatalogue) {
    struct Case {
        const char* what;
        CannedResponse response;
    };
    CannedResponse slow = reply(R"({"version":1,"shortcuts":[]})");
    slow.delaySeconds = 1.0;
    const Case cases[] = {
        {"status", reply(R"({"version":1,"shortcuts":[]})", 500)},
        {"undecodable", reply(R"({"version":1,"shortcuts":[{"id":"x"}]})")},
        {"empty body", reply(QByteArray(), 204)},
        {"time-out", slow},
    };
    APIClient impatient(network, server.url(), BundleInfo::current(), 200ms);
    impatient.configure(QStringLiteral("ID-1"), QStringLiteral("secret"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ShortcutRepository fresh(impatient, defaults);
        Observer observer(fresh, server);
        serveCatalogue(c.response.body, c.response.status);
        if (c.response.delaySeconds > 0) {
            server.route(QStringLiteral("/api/v1/shortcuts"), c.response);
        }
        waitForTask(fresh.load());
        EXPECT_EQ(fresh.shortcuts(), ShortcutData::all());
        EXPECT_FALSE(fresh.loadedFromAPI());
        EXPECT_EQ(observer.log, (QStringList{"will", "isLoading=1", "will", "shortcuts=68", "will", "isLoading=0"}));
    }
}

TEST_F(ShortcutRepositoryTest, UnconfiguredOrUnreachableBackendFallsBackWithoutSending) {
    APIClient unconfigured(network, server.url(), BundleInfo::current(), 5000ms);
    ShortcutRepository early(unconfigured, defaults);
    waitForTask(early.load());
    EXPECT_EQ(early.shortcuts(), ShortcutData::all());
    EXPECT_EQ(server.requestCount(), 0);

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QUrl nowhere(QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
    closed.close();
    APIClient unreachable(network, nowhere, BundleInfo::current(), 5000ms);
    unreachable.configure(QStringLiteral("ID-1"), QStringLiteral("secret"));
    ShortcutRepository offline(unreachable, defaults);
    waitForTask(offline.load());
    EXPECT_EQ(offline.shortcuts(), ShortcutData::all());
}

TEST_F(ShortcutRepositoryTest, DisabledIdsApplyToEitherSource) {
    defaults.setObject(QStringList{QStringLiteral("ps-v")}, QStringLiteral("disabledShortcutIDs"));

    serveCatalogue(R"({"version":1,"shortcuts":[)" + entry("ps-v", "Paste Special") + "," + entry("x", "Data") + "]}");
    waitForTask(repository.load());
    ASSERT_EQ(repository.shortcuts().size(), 2);
    EXPECT_FALSE(repository.shortcuts()[0].isEnabled);
    EXPECT_TRUE(repository.shortcuts()[1].isEnabled);

    // A later failing load publishes the built-in list but keeps the earlier source flag.
    serveCatalogue("{}", 503);
    waitForTask(repository.load());
    EXPECT_EQ(repository.shortcuts().size(), 68);
    EXPECT_TRUE(repository.loadedFromAPI());
    for (const Shortcut& shortcut : repository.shortcuts()) {
        EXPECT_EQ(shortcut.isEnabled, shortcut.id != QLatin1String("ps-v")) << shortcut.id.toStdString();
    }
}

TEST_F(ShortcutRepositoryTest, AStoredValueThatIsNotAListOfIdsDisablesNothing) {
    defaults.setObject(QVariantList{QStringLiteral("ps-v"), 3}, QStringLiteral("disabledShortcutIDs"));
    serveCatalogue("{}", 500);
    waitForTask(repository.load());
    expectBuiltInCatalogue();
    for (const Shortcut& shortcut : repository.shortcuts()) {
        EXPECT_TRUE(shortcut.isEnabled);
    }
}

TEST_F(ShortcutRepositoryTest, ARepositoryDestroyedDuringTheRequestIsLeftAlone) {
    CannedResponse slow = reply(R"({"version":1,"shortcuts":[]})");
    slow.delaySeconds = 0.3;
    server.route(QStringLiteral("/api/v1/shortcuts"), slow);
    auto doomed = std::make_unique<ShortcutRepository>(client, defaults);
    QCoro::Task<void> task = doomed->load();
    ASSERT_TRUE(server.waitForRequests(1));
    doomed.reset();
    waitForTask(std::move(task));  // finishes without touching the deleted object
}
