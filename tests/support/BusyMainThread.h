#pragma once

#include <chrono>
#include <memory>

class QtScheduler;
class Timer;

// Keeps the main thread busy while it lives, as a heavy redraw or a long computation would: a
// zero-delay repeating timer whose every turn burns `turn` of time, so that the event loop gets to
// anything else only between two turns.
class BusyMainThread {
public:
    explicit BusyMainThread(std::chrono::milliseconds turn = std::chrono::milliseconds(50));
    ~BusyMainThread();
    BusyMainThread(const BusyMainThread&) = delete;
    BusyMainThread& operator=(const BusyMainThread&) = delete;

private:
    std::unique_ptr<QtScheduler> m_scheduler;
    std::shared_ptr<Timer> m_timer;
};
