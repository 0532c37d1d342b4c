#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
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

    // `asUser`: run by that user (through setpriv) rather than by this one.
    QProcess* launch(const QProcessEnvironment& overrides = {}, std::optional<uid_t> asUser = {}) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        environment.insert(u"XDG_CONFIG_HOME"_s, config.path());
        environment.insert(overrides);
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::MergedChannels);
        if (asUser) {
            const QString id = QString::number(*asUser);
            process->start(u"setpriv"_s, {u"--reuid="_s + id, u"--regid="_s + id, u"--clear-groups"_s,
                                          QStringLiteral(KEYLOOM_EXECUTABLE)});
        } else {
            process->start(QStringLiteral(KEYLOOM_EXECUTABLE), {});
        }
        processes.push_back(std::move(process));
        return processes.back().get();
    }

    // Whether `process` prints `text` within `withinMs` (false at once if it ends without).
    static bool says(QProcess* process, const char* text, int withinMs) {
        const auto said = [&] { return process->peek(1 << 20).contains(text); };
        return QTest::qWaitFor([&] { return said() || process->state() == QProcess::NotRunning; }, withinMs) && said();
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

namespace {

// Runs `script` with sh in `folder` (and `$PLIST`, a settings file): whether it succeeded, and what it printed.
std::pair<bool, std::string> shell(const QString& folder, const QString& script) {
    QProcess sh;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PLIST"_s,
                       u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                       "<key>profileName</key><string>Ada</string></dict></plist>"_s);
    sh.setProcessEnvironment(environment);
    sh.setWorkingDirectory(folder);
    sh.start(u"sh"_s, {u"-c"_s, script});
    const bool succeeded = sh.waitForFinished(60000) && sh.exitStatus() == QProcess::NormalExit && sh.exitCode() == 0;
    return {succeeded, sh.readAll().toStdString()};
}

// Every entry (links not followed, FIFOs not opened) and the bytes of every file, but the login item's.
const QString kSnapshot =
    uR"(find . -mindepth 1 -path ./autostart -prune -o -printf '%p %y %m %U %T@ %l\n' | sort &&
                              find . -path ./autostart -prune -o -type f -exec md5sum {} + | sort)"_s;

}  // namespace

// Where no lock can be made or trusted beside the settings file, as an ordinary user meets it (so the
// program runs as nobody), Keyloom still starts and says once why its settings will not be saved. It leaves
// the settings folder exactly as it was, and takes its lock in its runtime folder, where a second start
// finds it.
TEST_F(LaunchTest, WhereNoLockCanBeTakenBesideTheSettingsItStillStartsAndLeavesThemAlone) {
    constexpr uid_t nobody = 65534;
    ASSERT_EQ(::geteuid(), 0u) << "needs root to set up other users' files";
    ASSERT_EQ(::chown(QFile::encodeName(runtime.path()).constData(), nobody, nobody), 0);
    const QString tmpfs =
        uR"(mount -t tmpfs -o mode=755,uid=65534,gid=65534%1 tmpfs keyloom &&
                              echo "$PLIST" > keyloom/defaults.plist && chown 65534 keyloom/defaults.plist && )"_s;
    const QString lock = u"keyloom/keyloom.instance.lock"_s;
    // Each in $XDG_CONFIG_HOME, where nobody owns the settings folder and file unless the state says otherwise.
    const std::pair<const char*, QString> states[] = {
        {"settings folder read-only, no lock file yet", u"chmod 555 keyloom"_s},
        {"~/.config read-only", u"rm -r keyloom && chmod 555 ."_s},
        {"settings folder and file root's", u"chown -R 0:0 keyloom"_s},
        {"lock file root's", u"touch "_s + lock},
        {"lock file a link", u"ln -s ../elsewhere %1 && chown -h 65534 %1"_s.arg(lock)},
        {"lock file a FIFO", u"mkfifo %1 && chown 65534 %1"_s.arg(lock)},
        {"lock file a folder", u"mkdir %1 && chown 65534 %1"_s.arg(lock)},
        {"settings folder on a read-only file system", tmpfs.arg(QString()) + u"mount -o remount,ro keyloom"_s},
        {"settings folder out of inodes", tmpfs.arg(u",nr_inodes=2"_s) + u"! touch keyloom/more"_s},
    };
    for (const auto& [state, script] : states) {
        QTemporaryDir folder;
        const auto unmount = qScopeGuard([&] { shell(folder.path(), u"umount -l keyloom"_s); });
        if (!shell(
                 folder.path(),
                 u"mkdir keyloom && echo \"$PLIST\" > keyloom/defaults.plist && chown -R 65534:65534 . && "_s + script)
                 .first) {
            ASSERT_TRUE(script.contains(u"mount"_s)) << state << ": not set up";
            std::printf("[ state  ] %s: cannot be made here (no mount)\n", state);
            continue;
        }
        const std::string before = shell(folder.path(), kSnapshot).second;
        QProcessEnvironment environment;
        environment.insert(u"XDG_CONFIG_HOME"_s, folder.path());
        environment.insert(u"HOME"_s, runtime.path());

        QProcess* first = launch(environment, nobody);
        const bool started =
            says(first, "Keyloom will not save its settings: ", 60000) && says(first, "[Engine]", 60000);
        EXPECT_TRUE(started) << state << ": " << first->readAll().toStdString();
        if (!started) {
            continue;
        }
        QProcess* second = launch(environment, nobody);
        EXPECT_TRUE(second->waitForFinished(60000)) << state << ": the second start runs beside the first";
        EXPECT_EQ(second->exitCode(), 0) << state << ": " << second->readAll().toStdString();
        EXPECT_EQ(first->state(), QProcess::Running) << state;
        EXPECT_TRUE(endsCleanlyOn(*first, SIGTERM)) << state;
        EXPECT_EQ(shell(folder.path(), kSnapshot).second, before) << state;
        const QByteArray output = first->readAll();
        const qsizetype said = output.indexOf("Keyloom will not save");
        std::printf("[ state  ] %s: %s\n", state, output.mid(said, output.indexOf('\n', said) - said).constData());
    }
}

// A later start reaches a running instance whose socket it cannot reach (deleted; never made, its path
// too long; never written down, the disk full) and gets its answer within a few seconds. Where nothing
// that holds the lock can be reached, it says so within 5 s, in a window that stays up (and on stderr).
TEST_F(LaunchTest, ALaterStartGetsItsAnswerWithinSecondsEvenWhenTheSocketCannotBeReached) {
    QTemporaryDir disk;
    const auto unmount = qScopeGuard([&] { shell(disk.path(), u"umount -l cfg"_s); });
    const QString longRuntime = runtime.filePath(QString(60, u'r') + u'/' + QString(60, u'r'));
    QProcessEnvironment longPath, fullDisk;
    longPath.insert(u"XDG_RUNTIME_DIR"_s, longRuntime);
    fullDisk.insert(u"XDG_CONFIG_HOME"_s, disk.filePath(u"cfg"_s));
    int held = -1;
    const struct {
        const char* state;
        QProcessEnvironment environment;
        std::function<bool()> setUp;  // before the first start; false: cannot be made here
        const char* firstSays;        // what shows that the state was met (by a first start, if any)
    } states[] = {
        {"socket deleted", {}, [] { return true; }, "[Engine]"},
        {"runtime path too long for a socket", longPath,
         [&] { return shell(runtime.path(), u"mkdir -p -m 700 "_s + longRuntime).first; },
         "Later starts cannot reach this instance"},
        {"disk full", fullDisk,
         [&] {
             return shell(disk.path(),
                          uR"(mkdir cfg && mount -t tmpfs -o size=64k tmpfs cfg && mkdir cfg/keyloom &&
                                           touch cfg/keyloom/keyloom.instance.lock && ! cat /dev/zero > cfg/filler)"_s)
                 .first;
         },
         "Later starts cannot find this instance"},
        {"lock held by another program",
         {},
         [&] {
             held = ::open(qPrintable(config.filePath(u"keyloom/keyloom.instance.lock"_s)), O_RDWR | O_CREAT, 0600);
             return ::flock(held, LOCK_EX | LOCK_NB) == 0;
         },
         nullptr},
    };
    for (const auto& s : states) {
        if (!s.setUp()) {
            ASSERT_EQ(s.environment, fullDisk) << s.state << ": not set up";
            std::printf("[ state  ] %s: cannot be made here (no mount)\n", s.state);
            continue;
        }
        QProcess* first = s.firstSays ? launch(s.environment) : nullptr;
        if (first) {
            ASSERT_TRUE(says(first, s.firstSays, 60000)) << s.state << ": " << first->readAll().toStdString();
            ASSERT_TRUE(says(first, "[Engine]", 60000)) << s.state;
            QDir(runtime.path()).remove(sockets().value(0, u"none"_s));
        }
        QElapsedTimer clock;
        clock.start();
        QProcess* later = launch(s.environment);
        const bool ended = first ? later->waitForFinished(60000)
                                 : says(later, "Keyloom is already running but does not answer.", 60000);
        const qint64 elapsed = clock.elapsed();
        std::printf("[ state  ] %s: %s after %lld ms\n", s.state,
                    later->state() == QProcess::Running ? "running"
                    : later->exitCode()                 ? "exit 1"
                                                        : "exit 0",
                    static_cast<long long>(elapsed));
        EXPECT_TRUE(ended) << s.state;
        EXPECT_LT(elapsed, 5000) << s.state;
        if (first) {
            EXPECT_EQ(later->exitCode(), 0) << s.state << ": " << later->readAll().toStdString();
            EXPECT_TRUE(endsCleanlyOn(*first, SIGTERM)) << s.state;
        } else {
            EXPECT_EQ(later->state(), QProcess::Running) << s.state << ": no window";
        }
    }
    ::close(held);
}
