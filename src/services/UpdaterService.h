#pragma once

#include <QObject>
#include <memory>

#include "services/SparkleLogger.h"

class Console;
class Scheduler;
class Timer;
class Updater;
class UserDefaults;

// Keeps the application up to date: probes for a newer version at once and then every hour,
// and publishes `updateRequired` once a valid update has been found. The flag only ever rises
// within a process. Main thread only.
class UpdaterService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool updateRequired READ updateRequired NOTIFY updateRequiredChanged)
public:
    static constexpr double pollInterval = 3600.0;
    static constexpr double notReadyRetryDelay = 3.0;

    // Becomes the updater's delegate and starts it; a start error is printed and the service
    // stays usable. `updater` must outlive the service.
    UpdaterService(Updater& updater, UserDefaults& defaults, Scheduler& scheduler, Console& console,
                   QObject* parent = nullptr);
    ~UpdaterService() override;

    bool updateRequired() const { return m_updateRequired; }

    // One probe now, then one every hour; a second call replaces the timer.
    void startPeriodicChecks();
    // One silent probe; while the updater is not ready it retries every 3 seconds.
    void checkInBackground();
    // The updater's interactive check.
    void checkForUpdates();

signals:
    // Sent on every assignment of `updateRequired`, also when it was already true.
    void updateRequiredChanged();

private:
    void setUpdateRequired(bool value);
    void clearSkippedVersion();

    Updater& m_updater;
    UserDefaults& m_defaults;
    Scheduler& m_scheduler;
    Console& m_console;
    bool m_updateRequired = false;
    SparkleLogger m_sparkleDelegate;
    std::shared_ptr<Timer> m_pollTimer;
};
