#include "services/OffThreadWork.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#include "services/TransportError.h"

struct OffThreadWork::Job {
    std::coroutine_handle<> waiter;
    bool* cancelled;  // in the awaiter, inside the suspended coroutine
    QFutureWatcher<void>* watcher;
};

OffThreadWork::~OffThreadWork() {
    cancelAll();
}

OffThreadWork::Awaiter OffThreadWork::run(std::function<void()> work) {
    return Awaiter(*this, std::move(work));
}

void OffThreadWork::Awaiter::await_suspend(std::coroutine_handle<> waiter) {
    auto* job = new Job{waiter, &m_cancelled, new QFutureWatcher<void>(&m_owner)};
    m_owner.m_jobs.push_back(job);
    OffThreadWork& owner = m_owner;
    QObject::connect(job->watcher, &QFutureWatcherBase::finished, &owner, [&owner, job] { owner.finish(job, false); });
    job->watcher->setFuture(QtConcurrent::run(std::move(m_work)));
}

void OffThreadWork::Awaiter::await_resume() const {
    if (m_cancelled) {
        throw TransportError(QNetworkReply::OperationCanceledError, QStringLiteral("cancelled"));
    }
}

void OffThreadWork::cancelAll() {
    while (!m_jobs.empty()) {
        finish(m_jobs.front(), true);
    }
}

void OffThreadWork::finish(Job* job, bool cancelled) {
    m_jobs.erase(std::find(m_jobs.begin(), m_jobs.end(), job));
    // A late end of still running work reaches nobody. Deleted later: this may run inside the
    // watcher's own signal.
    QObject::disconnect(job->watcher, nullptr, this, nullptr);
    job->watcher->deleteLater();
    *job->cancelled = cancelled;
    const std::coroutine_handle<> waiter = job->waiter;
    delete job;
    waiter.resume();
}
