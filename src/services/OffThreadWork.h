#pragma once

#include <QObject>
#include <coroutine>
#include <functional>
#include <vector>

// Runs pure work (no objects of the main thread touched) on Qt's global thread pool and resumes
// the awaiting coroutine on the main thread when it is done. cancelAll() resumes every waiting
// coroutine at once with a cancellation error (TransportError), so that awaiting tasks can end
// while the objects they touch still exist; the work itself still runs to its end, owning
// whatever it writes. Main thread only.
class OffThreadWork : public QObject {
public:
    class Awaiter;

    OffThreadWork() = default;
    ~OffThreadWork() override;

    // co_await run(work): throws TransportError when cancelled first.
    Awaiter run(std::function<void()> work);
    void cancelAll();

private:
    struct Job;
    void finish(Job* job, bool cancelled);

    std::vector<Job*> m_jobs;
};

class OffThreadWork::Awaiter {
public:
    Awaiter(OffThreadWork& owner, std::function<void()> work) : m_owner(owner), m_work(std::move(work)) {}
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiter);
    void await_resume() const;

private:
    friend class OffThreadWork;
    OffThreadWork& m_owner;
    std::function<void()> m_work;
    bool m_cancelled = false;
};
