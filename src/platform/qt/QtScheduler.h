#pragma once

#include <QObject>
#include <memory>

#include "platform/Scheduler.h"

// The scheduler on the Qt event loop of the main thread. post() may be called from any thread; the
// work always runs on the main thread. Timers are made and invalidated on the main thread.
//
// A timer stays scheduled until it is invalidated (or has fired, for a one-shot) whether or not the
// caller keeps its handle: the scheduler holds it meanwhile. Destroying the scheduler drops all pending
// work and stops every timer.
class QtScheduler final : public Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;

    void post(std::function<void()> work) override;
    void postAfter(double seconds, std::function<void()> work) override;
    std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, std::function<void()> tick) override;

    // Timers still scheduled (for tests).
    size_t liveTimerCount() const;

private:
    class QtTimer;
    class Context;

    // Receives the queued calls and the timer events; lives on the main thread so that work runs there.
    std::unique_ptr<Context> m_context;
};
