#pragma once

#include <functional>
#include <memory>

// A one-shot or repeating timer made by a Scheduler. Invalidating it stops every later firing,
// also from inside its own tick; invalidating twice is harmless.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};

// The main run loop. Every deferred step, delay and timer of the program goes through it, so that
// tests can run the whole program on virtual time. All work runs on the main thread.
class Scheduler {
public:
    virtual ~Scheduler() = default;

    // Runs `work` on a later turn of the main queue.
    virtual void post(std::function<void()> work) = 0;
    // Runs `work` on the main queue `seconds` from now.
    virtual void postAfter(double seconds, std::function<void()> work) = 0;
    // A timer firing `interval` seconds from now, and then every `interval` seconds when `repeats`.
    // The timer stays scheduled while the caller holds it or not, until it is invalidated (or fired, one-shot).
    virtual std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, std::function<void()> tick) = 0;
};
