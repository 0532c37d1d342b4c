#include <gtest/gtest.h>

#include <QNetworkAccessManager>

#include "services/APIClient.h"
#include "services/FeatureFlagService.h"
#include "services/backend/BackendTestSupport.h"
#include "support/HttpTestServer.h"

using namespace std::chrono_literals;

namespace {

class FeatureFlagServiceTest : public ::testing::Test {
protected:
    FeatureFlagServiceTest() {
        client.configure(QStringLiteral("ID-1"), QStringLiteral("secret"));
        QObject::connect(&service, &FeatureFlagService::objectWillChange, [this] { log << "will"; });
        QObject::connect(&service, &FeatureFlagService::flagsChanged,
                         [this] { log << QStringLiteral("flags=%1").arg(service.flags().size()); });
    }

    void serve(const QByteArray& body, int status = 200) {
        CannedResponse response;
        response.status = status;
        response.body = body;
        server.route(QStringLiteral("/api/v1/features"), response);
    }

    HttpTestServer server;
    QNetworkAccessManager network;
    APIClient client{network, server.url(), BundleInfo::current(), 5000ms};
    FeatureFlagService service{client};
    QStringList log;
};

const QHash<QString, QString> kLoaded{{"limit", "3"}, {" Beta ", " On "}};

}  // namespace

TEST_F(FeatureFlagServiceTest, ReplacesTheFlagsInOneStepWithTheValuesAsSent) {
    serve(R"({"features":[{"key":"limit","value":"3"},{"key":" Beta ","value":" On "}]})");
    EXPECT_TRUE(service.flags().isEmpty());
    waitForTask(service.load());
    EXPECT_EQ(service.flags(), kLoaded);
    using FlagMap = QHash<QString, QString>;
    EXPECT_EQ(service.property("flags").value<FlagMap>(), kLoaded);
    EXPECT_EQ(log, (QStringList{"will", "flags=2"}));

    serve(R"({"features":[]})");
    waitForTask(service.load());
    EXPECT_TRUE(service.flags().isEmpty());
}

TEST_F(FeatureFlagServiceTest, FailuresKeepThePreviousFlagsSilently) {
    serve(R"({"features":[{"key":"limit","value":"3"},{"key":" Beta ","value":" On "}]})");
    waitForTask(service.load());
    log.clear();

    for (const auto& [body, status] : {std::pair<QByteArray, int>{R"({"features":[]})", 500},
                                       {R"({"features":[{"key":"a","value":1}]})", 200},
                                       {"", 200}}) {
        serve(body, status);
        waitForTask(service.load());
        EXPECT_EQ(service.flags(), kLoaded);
    }
    APIClient unconfigured(network, server.url(), BundleInfo::current(), 5000ms);
    FeatureFlagService early(unconfigured);
    waitForTask(early.load());
    EXPECT_TRUE(early.flags().isEmpty());
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(FeatureFlagServiceTest, ARepeatedKeyKeepsItsLastValue) {
    serve(R"({"features":[{"key":"k","value":"first"},{"key":"other","value":"x"},{"key":"k","value":"last"}]})");
    waitForTask(service.load());
    EXPECT_EQ(service.flags(), (QHash<QString, QString>{{"k", "last"}, {"other", "x"}}));
}
