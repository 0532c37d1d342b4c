#include "platform/sim/ManualScheduler.h"

#include <cmath>

class ManualScheduler::ManualTimer final : public Timer {
public:
    ManualTimer(double interval, bool repeats, std::function<void()> tick)
        : interval(interval), repeats(repeats), tick(std::move(tick)) {}
    void invalidate() override { valid = false; }
    bool isValid() const override { return valid; }

    double interval;
    bool repeats;
    std::function<void()> tick;
    bool valid = true;
};

ManualScheduler::ManualScheduler(QDateTime start) : m_start(std::move(start)) {}

ManualScheduler::~ManualScheduler() = default;

void ManualScheduler::post(std::function<void()> work) {
    enqueue(m_now, Entry{std::move(work), nullptr});
}

void ManualScheduler::postAfter(double seconds, std::function<void()> work) {
    enqueue(m_now + std::max(0.0, seconds), Entry{std::move(work), nullptr});
}

std::shared_ptr<Timer> ManualScheduler::scheduleTimer(double interval, bool repeats, std::function<void()> tick) {
    auto timer = std::make_shared<ManualTimer>(std::max(0.0, interval), repeats, std::move(tick));
    enqueue(m_now + timer->interval, Entry{nullptr, timer});
    return timer;
}

QDateTime ManualScheduler::now() const {
    return m_start.addMSecs(static_cast<qint64>(std::llround(m_now * 1000.0)));
}

void ManualScheduler::enqueue(double due, Entry entry) {
    m_queue.emplace(std::make_pair(due, m_sequence++), std::move(entry));
}

void ManualScheduler::advance(double seconds) {
    // A tiny tolerance so that 0.1 + 0.2 style sums still fall due at 0.3.
    const double target = m_now + std::max(0.0, seconds) + 1e-9;
    while (!m_queue.empty() && m_queue.begin()->first.first <= target) {
        auto node = m_queue.extract(m_queue.begin());
        m_now = std::max(m_now, node.key().first);
        Entry entry = std::move(node.mapped());
        if (entry.timer) {
            auto timer = entry.timer;
            if (!timer->valid) {
                continue;
            }
            if (timer->repeats) {
                // Re-arm before the tick so that the tick may invalidate it.
                enqueue(m_now + std::max(timer->interval, 1e-6), Entry{nullptr, timer});
            } else {
                timer->valid = false;
            }
            timer->tick();
        } else if (entry.work) {
            entry.work();
        }
    }
    m_now = std::max(m_now, target - 1e-9);
}
