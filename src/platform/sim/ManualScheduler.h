#pragma once

#include <QDateTime>
#include <map>
#include <memory>
#include <utility>

#include "platform/Clock.h"
#include "platform/Scheduler.h"

// A scheduler on virtual time for tests and scenarios. Nothing runs until `advance()` is called;
// then everything due runs in order of due time, and in order of scheduling for equal times.
// It is also the clock: now() is the start time plus the virtual seconds elapsed.
class ManualScheduler final : public Scheduler, public Clock {
public:
    explicit ManualScheduler(QDateTime start = QDateTime(QDate(2026, 1, 15), QTime(12, 0)));
    ~ManualScheduler() override;

    void post(std::function<void()> work) override;
    void postAfter(double seconds, std::function<void()> work) override;
    std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, std::function<void()> tick) override;

    QDateTime now() const override;

    // Moves virtual time forward by `seconds`, running everything that falls due on the way,
    // including work scheduled meanwhile. advance(0) runs only what is due now.
    void advance(double seconds);
    // Runs what is due now (posted work and zero delays).
    void runPending() { advance(0); }

    double elapsed() const { return m_now; }
    // Scheduled work items and live timers not yet run.
    size_t pendingCount() const { return m_queue.size(); }

private:
    class ManualTimer;
    struct Entry {
        std::function<void()> work;
        std::shared_ptr<ManualTimer> timer;  // set for timer firings
    };
    void enqueue(double due, Entry entry);

    QDateTime m_start;
    double m_now = 0;
    quint64 m_sequence = 0;
    std::map<std::pair<double, quint64>, Entry> m_queue;
};
