#include "support/BusyMainThread.h"

#include "platform/qt/QtScheduler.h"

BusyMainThread::BusyMainThread(std::chrono::milliseconds turn) : m_scheduler(std::make_unique<QtScheduler>()) {
    m_timer = m_scheduler->scheduleTimer(0, true, [turn] {
        const auto end = std::chrono::steady_clock::now() + turn;
        while (std::chrono::steady_clock::now() < end) {
        }
    });
}

BusyMainThread::~BusyMainThread() {
    m_timer->invalidate();
}
