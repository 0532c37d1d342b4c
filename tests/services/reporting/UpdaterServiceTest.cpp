#include <gtest/gtest.h>

#include <QSignalSpy>

#include "platform/UserDefaults.h"
#include "platform/sim/ManualScheduler.h"
#include "platform/sim/RecordingConsole.h"
#include "platform/sim/SimUpdater.h"
#include "services/UpdaterService.h"

namespace {

const QString notReady = QStringLiteral("[Sparkle] Not ready to check yet — will retry in 3s");

class UpdaterServiceTest : public ::testing::Test {
protected:
    SimUpdater updater;
    UserDefaults defaults;
    ManualScheduler scheduler;
    RecordingConsole console;
};

}  // namespace

TEST_F(UpdaterServiceTest, StartsTheUpdaterAsDelegateWithAnHourlyInterval) {
    UpdaterService service(updater, defaults, scheduler, console);
    EXPECT_EQ(updater.startCount(), 1);
    EXPECT_EQ(updater.updateCheckInterval(), 3600.0);
    EXPECT_NE(updater.delegate(), nullptr);
    EXPECT_FALSE(service.updateRequired());
    EXPECT_TRUE(console.lines().isEmpty());
    EXPECT_EQ(updater.probeCount(), 0);  // creating the service probes nothing
}

TEST_F(UpdaterServiceTest, StartFailureIsPrintedAndTheServiceStaysUsable) {
    updater.setStartError(QStringLiteral("feed missing"));
    UpdaterService service(updater, defaults, scheduler, console);
    EXPECT_EQ(console.lines(), QStringList{QStringLiteral("[Sparkle] Failed to start updater: feed missing")});
    service.checkInBackground();
    EXPECT_EQ(updater.probeCount(), 1);
    service.checkForUpdates();
    EXPECT_EQ(updater.interactiveCount(), 1);
}

TEST_F(UpdaterServiceTest, NotReadyProbesRetryEveryThreeSecondsUntilReady) {
    UpdaterService service(updater, defaults, scheduler, console);
    updater.setCanCheckForUpdates(false);
    service.checkInBackground();
    EXPECT_EQ(console.lines(), QStringList{notReady});
    scheduler.advance(2.9);
    EXPECT_EQ(console.lines().size(), 1);
    scheduler.advance(0.1);
    EXPECT_EQ(console.lines().size(), 2);
    scheduler.advance(3.0);
    EXPECT_EQ(console.lines().size(), 3);
    EXPECT_EQ(updater.probeCount(), 0);

    updater.setCanCheckForUpdates(true);
    scheduler.advance(3.0);
    EXPECT_EQ(updater.probeCount(), 1);
    scheduler.advance(60);
    EXPECT_EQ(console.lines().size(), 3);  // the loop ended by itself
    EXPECT_EQ(updater.probeCount(), 1);
}

TEST_F(UpdaterServiceTest, SkippedVersionsAreForgottenBeforeEveryProbe) {
    UpdaterService service(updater, defaults, scheduler, console);
    const QStringList keys{QStringLiteral("SUSkippedVersion"), QStringLiteral("SUSkippedMinorVersion"),
                           QStringLiteral("SUSkippedMajorVersion")};
    auto skip = [&] {
        for (const QString& key : keys)
            defaults.setString(QStringLiteral("2.0"), key);
    };
    skip();
    defaults.setString(QStringLiteral("kept"), QStringLiteral("other"));
    service.startPeriodicChecks();
    for (const QString& key : keys)
        EXPECT_FALSE(defaults.contains(key)) << key.toStdString();
    EXPECT_TRUE(defaults.contains(QStringLiteral("other")));

    skip();
    scheduler.advance(3600);  // the hourly probe
    for (const QString& key : keys)
        EXPECT_FALSE(defaults.contains(key)) << key.toStdString();
    EXPECT_EQ(updater.probeCount(), 2);

    // Also a probe that finds the updater not ready clears them first.
    skip();
    updater.setCanCheckForUpdates(false);
    service.checkInBackground();
    for (const QString& key : keys)
        EXPECT_FALSE(defaults.contains(key)) << key.toStdString();
}

TEST_F(UpdaterServiceTest, StartingPeriodicChecksTwiceLeavesOneTimer) {
    UpdaterService service(updater, defaults, scheduler, console);
    service.startPeriodicChecks();
    service.startPeriodicChecks();
    EXPECT_EQ(updater.probeCount(), 2);  // two immediate probes
    scheduler.advance(3600);
    EXPECT_EQ(updater.probeCount(), 3);
    scheduler.advance(3600 * 3);
    EXPECT_EQ(updater.probeCount(), 6);
}

TEST_F(UpdaterServiceTest, UpdateRequiredOnlyEverRises) {
    UpdaterService service(updater, defaults, scheduler, console);
    QSignalSpy changed(&service, &UpdaterService::updateRequiredChanged);
    const AppcastItem item{QStringLiteral("200"), QStringLiteral("2.0"), QUrl()};

    updater.reportValidUpdate(item);
    EXPECT_EQ(console.lines(), QStringList{QStringLiteral("[Sparkle] Update found: 2.0 (200)")});
    EXPECT_FALSE(service.updateRequired());  // published on a later turn of the main queue
    scheduler.runPending();
    EXPECT_TRUE(service.updateRequired());
    EXPECT_EQ(changed.count(), 1);

    updater.reportValidUpdate(item);
    scheduler.runPending();
    EXPECT_EQ(changed.count(), 2);  // announced again though already true

    updater.reportAbort(QStringLiteral("You’re up to date."));
    updater.reportDownloadFailure(item, QStringLiteral("disk full"));
    service.startPeriodicChecks();
    scheduler.advance(7200);
    EXPECT_TRUE(service.updateRequired());
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(console.lines().mid(2), (QStringList{QStringLiteral("[Sparkle] Aborted: You’re up to date."),
                                                   QStringLiteral("[Sparkle] Download failed: disk full")}));
}

// Found updates, retries and timer ticks that arrive after the service is gone do nothing.
TEST_F(UpdaterServiceTest, LateCallbacksAfterTheServiceIsGoneAreHarmless) {
    {
        UpdaterService service(updater, defaults, scheduler, console);
        service.startPeriodicChecks();
        updater.setCanCheckForUpdates(false);
        service.checkInBackground();
        updater.reportValidUpdate({QStringLiteral("2"), QStringLiteral("2"), QUrl()});
    }
    EXPECT_EQ(updater.delegate(), nullptr);
    const int printed = static_cast<int>(console.lines().size());
    scheduler.advance(7200);
    EXPECT_EQ(console.lines().size(), printed);
}
