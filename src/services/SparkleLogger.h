#pragma once

#include <functional>

#include "platform/Updater.h"

class Console;
class Scheduler;

// The updater's delegate: prints what the updater reports and passes a found update on.
class SparkleLogger final : public UpdaterDelegate {
public:
    SparkleLogger(Console& console, Scheduler& scheduler) : m_console(console), m_scheduler(scheduler) {}

    // Called on a later turn of the main queue after each valid update found.
    std::function<void()> onUpdateFound;

    void didFindValidUpdate(const AppcastItem& item) override;
    void didAbortWithError(const QString& localizedDescription) override;
    void failedToDownloadUpdate(const AppcastItem& item, const QString& localizedDescription) override;

private:
    Console& m_console;
    Scheduler& m_scheduler;
};
