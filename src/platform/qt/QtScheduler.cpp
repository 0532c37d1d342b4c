#include "platform/qt/QtScheduler.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
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

class QtScheduler::QtTimer final : public Timer {
public:
    QtTimer(QObject* context, std::weak_ptr<LiveTimers> live, bool repeats, std::function<void()> tick)
        : m_timer(new QTimer(context)), m_live(std::move(live)), m_repeats(repeats), m_tick(std::move(tick)) {}

    ~QtTimer() override {
        if (m_timer) {
            m_timer->stop();
            // Possibly inside the timer's own timeout signal: let the event loop delete it.
            m_timer->deleteLater();
        }
    }

    void start(int ms, std::weak_ptr<QtTimer> self) {
        m_timer->setTimerType(Qt::PreciseTimer);
        m_timer->setSingleShot(!m_repeats);
        m_timer->setInterval(ms);
        QObject::connect(m_timer, &QTimer::timeout, m_timer, [self = std::move(self)] {
            // Pinned for the tick: it may invalidate (and so release) its own timer.
            if (const auto timer = self.lock()) {
                timer->fire();
            }
        });
        m_timer->start();
    }

    void invalidate() override {
        if (!m_valid) {
            return;
        }
        m_valid = false;
        if (m_timer) {
            m_timer->stop();
        }
        release();
    }

    bool isValid() const override { return m_valid; }

private:
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

    void release() {
        if (const auto live = m_live.lock()) {
            live->erase(this);
        }
    }

    QPointer<QTimer> m_timer;  // owned; its parent deletes it first when the scheduler goes away
    std::weak_ptr<LiveTimers> m_live;
    const bool m_repeats;
    std::function<void()> m_tick;
    bool m_valid = true;
};

QtScheduler::QtScheduler() : m_context(std::make_unique<QObject>()), m_live(std::make_shared<LiveTimers>()) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        m_context->moveToThread(app->thread());
    }
}

QtScheduler::~QtScheduler() {
    // Drop the timers before their QTimer parent so that none fires during teardown.
    auto live = std::move(m_live);
    live->clear();
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
    auto timer = std::make_shared<QtTimer>(m_context.get(), m_live, repeats, std::move(tick));
    m_live->emplace(timer.get(), timer);
    timer->start(toMilliseconds(interval), timer);
    return timer;
}
