#include <gtest/gtest.h>

#include "CountingPlatform.h"
#include "platform/sim/ManualScheduler.h"
#include "platform/sim/SimSession.h"
#include "services/PermissionService.h"

namespace {

class PermissionServiceTest : public ::testing::Test {
protected:
    std::unique_ptr<PermissionService> makeService() {
        auto made = std::make_unique<PermissionService>(accessibility, session.workspace(), scheduler);
        QObject::connect(made.get(), &PermissionService::hasAccessibilityChanged,
                         [this](bool granted) { published << granted; });
        return made;
    }

    ManualScheduler scheduler;
    SimSession session;
    CountingAccessibility accessibility{session.accessibility()};
    QList<bool> published;
};

TEST_F(PermissionServiceTest, StartsFromTheTrustCheck) {
    session.setAccessibilityTrusted(true);
    EXPECT_TRUE(makeService()->hasAccessibility());
    session.setAccessibilityTrusted(false);
    EXPECT_FALSE(makeService()->hasAccessibility());
}

TEST_F(PermissionServiceTest, OpeningSettingsPollsUntilGrantedAndPublishesOnlyChanges) {
    session.setAccessibilityTrusted(false);
    auto service = makeService();
    service->openAccessibilitySettings();
    ASSERT_FALSE(session.openedURLs().isEmpty());
    EXPECT_EQ(session.openedURLs().last().toString(),
              QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility"));
    EXPECT_TRUE(service->isPolling());

    const int checksBefore = accessibility.trustChecks;
    scheduler.advance(3.0);
    EXPECT_EQ(accessibility.trustChecks - checksBefore, 3);
    EXPECT_TRUE(published.isEmpty());  // still denied: nothing assigned

    session.setAccessibilityTrusted(true);
    scheduler.advance(1.0);
    EXPECT_EQ(published, QList<bool>({true}));
    EXPECT_TRUE(service->hasAccessibility());
    EXPECT_FALSE(service->isPolling());

    // Stopped by itself: no further checks.
    scheduler.advance(10.0);
    EXPECT_EQ(accessibility.trustChecks - checksBefore, 4);
    EXPECT_EQ(published.size(), 1);
}

TEST_F(PermissionServiceTest, AlreadyGrantedStopsAtTheFirstTick) {
    session.setAccessibilityTrusted(true);
    auto service = makeService();
    service->startPolling();
    scheduler.advance(0.999);
    EXPECT_TRUE(service->isPolling());
    scheduler.advance(0.001);
    EXPECT_FALSE(service->isPolling());
    EXPECT_TRUE(published.isEmpty());  // the same value is not assigned again
}

TEST_F(PermissionServiceTest, RevokedThenGrantedPublishesEachChangeOnce) {
    session.setAccessibilityTrusted(true);
    auto service = makeService();
    service->startPolling();
    session.setAccessibilityTrusted(false);
    scheduler.advance(5.0);
    EXPECT_EQ(published, QList<bool>({false}));
    EXPECT_TRUE(service->isPolling());
    session.setAccessibilityTrusted(true);
    scheduler.advance(5.0);
    EXPECT_EQ(published, QList<bool>({false, true}));
    EXPECT_FALSE(service->isPolling());
}

TEST_F(PermissionServiceTest, AtMostOneTimerAndNothingAfterRelease) {
    session.setAccessibilityTrusted(false);
    auto service = makeService();
    service->startPolling();
    scheduler.advance(0.5);
    service->startPolling();
    service->openAccessibilitySettings();
    const int checksBefore = accessibility.trustChecks;
    // The rhythm restarted at 0.5 s: ticks at 1.5, 2.5 and 3.5 s, one check each.
    scheduler.advance(3.0);
    EXPECT_EQ(accessibility.trustChecks - checksBefore, 3);

    service->stopPolling();
    scheduler.advance(3.0);
    EXPECT_EQ(accessibility.trustChecks - checksBefore, 3);

    service->startPolling();
    service.reset();
    scheduler.advance(5.0);
    EXPECT_EQ(accessibility.trustChecks - checksBefore, 3);
}

}  // namespace
