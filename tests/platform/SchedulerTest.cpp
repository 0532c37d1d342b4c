#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>
#include <thread>

#include "platform/qt/QtScheduler.h"
#include "platform/sim/ManualScheduler.h"

namespace {

TEST(ManualSchedulerTest, RunsByDueTimeThenBySchedulingOrder) {
    ManualScheduler scheduler;
    QStringList log;
    scheduler.postAfter(0.5, [&] { log << "b@0.5"; });
    scheduler.post([&] { log << "post1"; });
    scheduler.postAfter(0.2, [&] { log << "a@0.2"; });
    scheduler.postAfter(0.5, [&] { log << "c@0.5"; });
    scheduler.postAfter(0, [&] { log << "post2"; });
    EXPECT_TRUE(log.isEmpty()) << "nothing runs before advance";

    scheduler.runPending();
    EXPECT_EQ(log, (QStringList{"post1", "post2"}));
    scheduler.advance(0.3);
    EXPECT_EQ(log.size(), 3);
    scheduler.advance(0.2);  // 0.1 + 0.2 style sums still reach 0.5
    EXPECT_EQ(log, (QStringList{"post1", "post2", "a@0.2", "b@0.5", "c@0.5"}));
    EXPECT_NEAR(scheduler.elapsed(), 0.5, 1e-9);
    EXPECT_EQ(scheduler.now(), QDateTime(QDate(2026, 1, 15), QTime(12, 0)).addMSecs(500));
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST(ManualSchedulerTest, WorkScheduledDuringAdvanceRunsWhenItFallsDue) {
    ManualScheduler scheduler;
    QStringList log;
    scheduler.postAfter(1.0, [&] {
        log << QStringLiteral("first@%1").arg(scheduler.elapsed());
        scheduler.post([&] { log << QStringLiteral("posted@%1").arg(scheduler.elapsed()); });
        scheduler.postAfter(0.5, [&] { log << QStringLiteral("later@%1").arg(scheduler.elapsed()); });
        scheduler.postAfter(5.0, [&] { log << "beyond"; });
    });
    scheduler.advance(2.0);
    EXPECT_EQ(log, (QStringList{"first@1", "posted@1", "later@1.5"}));
    EXPECT_EQ(scheduler.pendingCount(), 1u);
    EXPECT_NEAR(scheduler.elapsed(), 2.0, 1e-9);
}

TEST(ManualSchedulerTest, TimersRepeatAndStopWhenInvalidatedEvenFromTheirOwnTick) {
    ManualScheduler scheduler;
    int oneShot = 0;
    int repeating = 0;
    int selfStopping = 0;
    auto once = scheduler.scheduleTimer(1.0, false, [&] { ++oneShot; });
    std::weak_ptr<Timer> weakOnce = once;
    once.reset();  // stays scheduled without a holder
    auto every = scheduler.scheduleTimer(1.0, true, [&] { ++repeating; });
    std::shared_ptr<Timer> stopper;
    stopper = scheduler.scheduleTimer(0.5, true, [&] {
        if (++selfStopping == 3) {
            stopper->invalidate();
            stopper->invalidate();  // twice is harmless
        }
    });

    scheduler.advance(3.0);
    EXPECT_EQ(oneShot, 1);
    EXPECT_TRUE(weakOnce.expired()) << "a fired one-shot is released";
    EXPECT_EQ(repeating, 3);
    EXPECT_EQ(selfStopping, 3);
    EXPECT_FALSE(stopper->isValid());
    EXPECT_TRUE(every->isValid());

    every->invalidate();
    scheduler.advance(5.0);
    EXPECT_EQ(repeating, 3);
    EXPECT_EQ(selfStopping, 3);

    // Invalidated before its first firing: never runs.
    int never = 0;
    auto cancelled = scheduler.scheduleTimer(1.0, false, [&] { ++never; });
    cancelled->invalidate();
    scheduler.advance(2.0);
    EXPECT_EQ(never, 0);
}

// Runs the Qt event loop until `done` or the time limit.
bool spinUntil(const std::function<bool()>& done, int limitMs = 2000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

TEST(QtSchedulerTest, PostsRunOnTheMainThreadInOrder) {
    QtScheduler scheduler;
    QStringList log;
    scheduler.post([&] { log << "one"; });
    scheduler.post([&] { log << "two"; });
    EXPECT_TRUE(log.isEmpty()) << "post never runs inline";

    const auto mainThread = std::this_thread::get_id();
    bool onMain = false;
    std::thread worker([&] {
        scheduler.post([&] {
            onMain = std::this_thread::get_id() == mainThread;
            log << "from worker";
        });
    });
    worker.join();
    ASSERT_TRUE(spinUntil([&] { return log.size() == 3; }));
    EXPECT_EQ(log, (QStringList{"one", "two", "from worker"}));
    EXPECT_TRUE(onMain);

    QElapsedTimer clock;
    clock.start();
    bool delayed = false;
    qint64 firedAfter = -1;
    scheduler.postAfter(0.05, [&] {
        delayed = true;
        firedAfter = clock.elapsed();
    });
    ASSERT_TRUE(spinUntil([&] { return delayed; }));
    EXPECT_GE(firedAfter, 45);
}

TEST(QtSchedulerTest, TimersFireUntilInvalidatedWithoutBeingHeld) {
    QtScheduler scheduler;
    int ticks = 0;
    std::shared_ptr<Timer> selfStopping;
    selfStopping = scheduler.scheduleTimer(0.01, true, [&] {
        if (++ticks == 3) {
            selfStopping->invalidate();
        }
    });
    int unheldTicks = 0;
    std::weak_ptr<Timer> unheld = scheduler.scheduleTimer(0.01, true, [&] { ++unheldTicks; });
    int oneShot = 0;
    std::weak_ptr<Timer> once = scheduler.scheduleTimer(0.01, false, [&] { ++oneShot; });
    EXPECT_EQ(scheduler.liveTimerCount(), 3u);

    ASSERT_TRUE(spinUntil([&] { return ticks >= 3 && unheldTicks >= 3 && oneShot == 1; }));
    EXPECT_FALSE(selfStopping->isValid());
    EXPECT_TRUE(once.expired()) << "a fired one-shot is released";
    ASSERT_FALSE(unheld.expired()) << "the scheduler keeps an unheld repeating timer alive";
    unheld.lock()->invalidate();
    EXPECT_TRUE(unheld.expired());
    EXPECT_EQ(scheduler.liveTimerCount(), 0u);

    const int ticksAfterStop = ticks;
    const int unheldAfterStop = unheldTicks;
    spinUntil([] { return false; }, 60);
    EXPECT_EQ(ticks, ticksAfterStop);
    EXPECT_EQ(unheldTicks, unheldAfterStop);
    EXPECT_EQ(oneShot, 1);
}

TEST(QtSchedulerTest, NothingRunsAfterTheSchedulerIsGone) {
    bool ran = false;
    std::shared_ptr<Timer> held;
    {
        QtScheduler scheduler;
        scheduler.post([&] { ran = true; });
        scheduler.postAfter(0.01, [&] { ran = true; });
        held = scheduler.scheduleTimer(0.01, true, [&] { ran = true; });
    }
    spinUntil([] { return false; }, 50);
    EXPECT_FALSE(ran);
    held->invalidate();  // still safe on a handle that outlived its scheduler
}

}  // namespace
