#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>
#include <vector>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AppHarness.h"
#include "app/TerminationSignals.h"
#include "services/SentryBridge.h"

using namespace Qt::StringLiterals;

namespace {

// The real executable, started as a user would start it, on the offscreen platform with a
// runtime and a configuration folder of its own.
class LaunchTest : public ::testing::Test {
protected:
    QTemporaryDir runtime;  // 0700, as a session's runtime folder is
    QTemporaryDir config;
    std::vector<std::unique_ptr<QProcess>> processes;

    ~LaunchTest() override {
        for (const auto& process : processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(10000);
            }
        }
    }

    QProcess* launch(const QProcessEnvironment& overrides = {}) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        environment.insert(u"XDG_CONFIG_HOME"_s, config.path());
        environment.insert(overrides);
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(QStringLiteral(KEYLOOM_EXECUTABLE), {});
        processes.push_back(std::move(process));
        return processes.back().get();
    }

    QStringList sockets() const { return QDir(runtime.path()).entryList({u"*.socket"_s}, QDir::System | QDir::Files); }

    // Ends `process` with `signal` and returns whether it exited normally with 0.
    static testing::AssertionResult endsCleanlyOn(QProcess& process, int signal) {
        ::kill(static_cast<pid_t>(process.processId()), signal);
        if (!process.waitForFinished(30000)) {
            return testing::AssertionFailure() << "still running after signal " << signal;
        }
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            return testing::AssertionFailure()
                   << "signal " << signal << " ended it with status " << process.exitStatus() << ", code "
                   << process.exitCode() << ": " << process.readAll().toStdString();
        }
        return testing::AssertionSuccess();
    }
};

int finishedCount(const std::vector<QProcess*>& launched) {
    return static_cast<int>(std::count_if(launched.begin(), launched.end(),
                                          [](QProcess* p) { return p->state() == QProcess::NotRunning; }));
}

}  // namespace

// Starts that race each other leave exactly one instance: the others hand it a reopen request
// and exit with 0. SIGTERM and SIGINT then end it like "Quit", and its socket goes with it.
// Twenty rounds of ten starts, in four batches that may run side by side.
class SimultaneousStartsTest : public LaunchTest, public ::testing::WithParamInterface<int> {};

TEST_P(SimultaneousStartsTest, LeaveExactlyOneInstance) {
    for (int i = 0; i < 5; ++i) {
        const int round = GetParam() * 5 + i;
        std::vector<QProcess*> launched;
        for (int j = 0; j < 10; ++j) {
            launched.push_back(launch());
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return finishedCount(launched) >= 9; }, 120000)) << "round " << round;
        QTest::qWait(200);  // a second survivor would have had time to give up by now
        ASSERT_EQ(finishedCount(launched), 9) << "round " << round;
        QProcess* survivor = nullptr;
        for (QProcess* process : launched) {
            if (process->state() != QProcess::NotRunning) {
                survivor = process;
            } else {
                ASSERT_EQ(process->exitStatus(), QProcess::NormalExit) << "round " << round;
                ASSERT_EQ(process->exitCode(), 0) << "round " << round << ": " << process->readAll().toStdString();
            }
        }
        ASSERT_EQ(sockets().size(), 1) << "round " << round;
        ASSERT_TRUE(endsCleanlyOn(*survivor, round % 2 ? SIGINT : SIGTERM)) << "round " << round;
        ASSERT_TRUE(sockets().isEmpty()) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Batches, SimultaneousStartsTest, ::testing::Range(0, 4));

// A killed instance leaves its socket behind; the next start still becomes the instance.
TEST_F(LaunchTest, ASocketLeftByAKilledInstanceDoesNotStopTheNextStart) {
    QProcess* first = launch();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sockets().size() == 1; }, 60000));  // it holds the lock
    QProcess* probe = launch();                                                  // answered once the first one runs
    ASSERT_TRUE(probe->waitForFinished(120000));
    ASSERT_EQ(probe->exitCode(), 0);
    ::kill(static_cast<pid_t>(first->processId()), SIGKILL);
    ASSERT_TRUE(first->waitForFinished(30000));
    ASSERT_EQ(sockets().size(), 1);  // stale

    // One of the next two becomes the instance and answers the other.
    const std::vector<QProcess*> next = {launch(), launch()};
    ASSERT_TRUE(QTest::qWaitFor([&] { return finishedCount(next) >= 1; }, 120000));
    QTest::qWait(200);
    ASSERT_EQ(finishedCount(next), 1);
    QProcess* answered = next[0]->state() == QProcess::NotRunning ? next[0] : next[1];
    QProcess* instance = answered == next[0] ? next[1] : next[0];
    EXPECT_EQ(answered->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(answered->exitCode(), 0);
    EXPECT_TRUE(endsCleanlyOn(*instance, SIGTERM));
    EXPECT_TRUE(sockets().isEmpty());
    // What the instance wrote is all there.
    QFile defaults(config.filePath(u"keyloom/defaults.plist"_s));
    ASSERT_TRUE(defaults.open(QIODevice::ReadOnly));
    EXPECT_TRUE(defaults.readAll().contains("hasAutoRegisteredLoginItem"));
}

// A second start on the same settings file never runs beside the first, whatever runtime folder
// either start was given: it hands its reopen over and exits with 0. With no private folder at all
// (the runtime folder open to others, <tmp>/keyloom-<uid> taken by another user) the guard holds.
TEST_F(LaunchTest, ASecondStartOnTheSameSettingsFileNeverRunsBesideTheFirst) {
    QTemporaryDir otherRuntime, openRuntime, temp;
    ::chmod(QFile::encodeName(openRuntime.path()).constData(), 0755);
    const QString planted = temp.filePath(u"keyloom-%1"_s.arg(::getuid()));
    // Without root, a link stands in for another user's folder.
    ASSERT_TRUE(::geteuid() == 0 ? QDir().mkdir(planted) && ::chown(qPrintable(planted), ::getuid() + 1, 0) == 0
                                 : QFile::link(otherRuntime.path(), planted));
    QProcessEnvironment elsewhere, unusable;
    elsewhere.insert(u"XDG_RUNTIME_DIR"_s, otherRuntime.path());
    unusable.insert(u"XDG_RUNTIME_DIR"_s, openRuntime.path());
    unusable.insert(u"TMPDIR"_s, temp.path());
    const struct {
        const char* what;
        QProcessEnvironment first, second;
    } cases[] = {{"different runtime folders", {}, elsewhere}, {"no private folder", unusable, unusable}};
    for (const auto& c : cases) {
        QProcess* first = launch(c.first);
        ASSERT_TRUE(QTest::qWaitFor([&] { return first->peek(1 << 20).contains("[Engine]"); }, 60000)) << c.what;
        QProcess* second = launch(c.second);
        EXPECT_TRUE(second->waitForFinished(60000)) << c.what << ": the second start runs beside the first";
        EXPECT_EQ(second->exitCode(), 0) << c.what << ": " << second->readAll().toStdString();
        EXPECT_TRUE(endsCleanlyOn(*first, SIGTERM)) << c.what;
    }
}

// SIGTERM while every service streams a reply that never ends quits as promptly as when idle: the
// signal is taken and everything torn down, as main() does, within 2 s.
TEST(TerminationTest, SigtermWhileRepliesStreamQuitsWithinTwoSeconds) {
    QTemporaryDir folder;
    AppServers servers;
    const CannedResponse endless = endlessBody(QByteArray(64 * 1024, ' '));
    for (const char* path : {"/api/v1/install/register", "/api/v1/shortcuts", "/api/v1/features"}) {
        servers.backend.route(QString::fromLatin1(path), endless);
    }
    servers.appcast.route(QStringLiteral("/appcast.xml"), endless);
    servers.analytics.setHandler([endless](const RecordedRequest&) { return endless; });
    servers.crash.setHandler([endless](const RecordedRequest&) { return endless; });

    auto app = std::make_unique<AppHarness>(servers, folder.filePath(u"defaults.plist"_s));
    app->delegate->applicationDidFinishLaunching();
    app->scheduler.runPending();
    app->services->sentry().captureMessage(u"streaming"_s);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return servers.backend.requestCount() && servers.analytics.requestCount() && servers.crash.requestCount() &&
                   servers.appcast.requestCount();
        },
        10000));
    QTest::qWait(300);  // the bodies are flowing

    bool quit = false;
    TerminationSignals termination([&] { quit = true; });
    QElapsedTimer clock;
    clock.start();
    ::kill(::getpid(), SIGTERM);
    ASSERT_TRUE(QTest::qWaitFor([&] { return quit; }, 10000));
    app.reset();
    EXPECT_LT(clock.elapsed(), 2000);
}
