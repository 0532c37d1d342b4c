#include "platform/qt/QtScheduler.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QTimerEvent>
#include <unordered_map>
#include <utility>
#include <climits>
#include <cmath>

namespace {

int toMilliseconds(double seconds) {
    if (!(seconds > 0)) {  // also NaN
        return 0;
    }
    const double ms = std::round(seconds * 1000.0);
    return ms >= INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace

// Timers are plain event-loop timers of the context object (startTimer/killTimer): the sequence
// timeout is re-armed on every accepted key inside the event tap, so making and dropping a timer must
// not allocate a QObject or wake the event loop.
class QtScheduler::Context final : public QObject {
public:
    std::unordered_map<int, std::shared_ptr<QtTimer>> timers;

protected:
    void timerEvent(QTimerEvent* event) override;
};

class QtScheduler::QtTimer final : public Timer {
public:
    QtTimer(Context* context, bool repeats, std::function<void()> tick)
        : m_context(context), m_repeats(repeats), m_tick(std::move(tick)) {}

    void start(int ms, const std::shared_ptr<QtTimer>& self) {
        m_id = m_context->startTimer(ms, Qt::PreciseTimer);
        if (m_id == 0) {
            m_valid = false;
            return;
        }
        m_context->timers.emplace(m_id, self);
    }

    void invalidate() override {
        if (m_valid) {
            m_valid = false;
            release();
        }
    }

    bool isValid() const override { return m_valid; }

    void fire() {
        if (!m_valid) {
            return;
        }
        if (!m_repeats) {
            m_valid = false;
            release();
        }
        if (m_tick) {
            m_tick();
        }
    }

private:
    // Drops the scheduler's reference; the caller may still hold this handle.
    void release() {
        if (m_context && m_id != 0) {
            const int id = std::exchange(m_id, 0);
            m_context->killTimer(id);
            m_context->timers.erase(id);  // may destroy this object: nothing after it
        }
    }

    QPointer<Context> m_context;
    int m_id = 0;
    const bool m_repeats;
    std::function<void()> m_tick;
    bool m_valid = true;
};

void QtScheduler::Context::timerEvent(QTimerEvent* event) {
    const auto it = timers.find(event->timerId());
    if (it == timers.end()) {
        killTimer(event->timerId());
        return;
    }
    // Pinned for the tick: it may invalidate (and so release) its own timer.
    const std::shared_ptr<QtTimer> timer = it->second;
    timer->fire();
}

QtScheduler::QtScheduler() : m_context(std::make_unique<Context>()) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        m_context->moveToThread(app->thread());
    }
}

QtScheduler::~QtScheduler() {
    // Invalidate first so that no timer fires during teardown; handles kept elsewhere stay harmless.
    auto timers = std::move(m_context->timers);
    for (auto& [id, timer] : timers) {
        timer->invalidate();
    }
}

size_t QtScheduler::liveTimerCount() const {
    return m_context->timers.size();
}

void QtScheduler::post(std::function<void()> work) {
    if (!work) {
        return;
    }
    QMetaObject::invokeMethod(m_context.get(), std::move(work), Qt::QueuedConnection);
}

void QtScheduler::postAfter(double seconds, std::function<void()> work) {
    if (!work) {
        return;
    }
    QTimer::singleShot(toMilliseconds(seconds), Qt::PreciseTimer, m_context.get(), std::move(work));
}

std::shared_ptr<Timer> QtScheduler::scheduleTimer(double interval, bool repeats, std::function<void()> tick) {
    auto timer = std::make_shared<QtTimer>(m_context.get(), repeats, std::move(tick));
    timer->start(toMilliseconds(interval), timer);
    return timer;
}
