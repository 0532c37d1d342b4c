#include "services/UpdaterService.h"

#include <QPointer>

#include "platform/Console.h"
#include "platform/Scheduler.h"
#include "platform/Updater.h"
#include "platform/UserDefaults.h"

UpdaterService::UpdaterService(Updater& updater, UserDefaults& defaults, Scheduler& scheduler, Console& console,
                               QObject* parent)
    : QObject(parent),
      m_updater(updater),
      m_defaults(defaults),
      m_scheduler(scheduler),
      m_console(console),
      m_sparkleDelegate(console, scheduler) {
    m_updater.setDelegate(&m_sparkleDelegate);
    m_sparkleDelegate.onUpdateFound = [self = QPointer<UpdaterService>(this)] {
        if (self) {
            self->setUpdateRequired(true);
        }
    };
    m_updater.setUpdateCheckInterval(pollInterval);
    if (const auto error = m_updater.start()) {
        m_console.print(QStringLiteral("[Sparkle] Failed to start updater: ") + *error);
    }
}

UpdaterService::~UpdaterService() {
    m_updater.setDelegate(nullptr);
    if (m_pollTimer) {
        m_pollTimer->invalidate();
    }
}

void UpdaterService::startPeriodicChecks() {
    checkInBackground();
    if (m_pollTimer) {
        m_pollTimer->invalidate();
    }
    m_pollTimer = m_scheduler.scheduleTimer(pollInterval, true, [self = QPointer<UpdaterService>(this)] {
        if (self) {
            self->checkInBackground();
        }
    });
}

void UpdaterService::checkInBackground() {
    clearSkippedVersion();
    if (m_updater.canCheckForUpdates()) {
        m_updater.checkForUpdateInformation();
        return;
    }
    m_console.print(QStringLiteral("[Sparkle] Not ready to check yet — will retry in 3s"));
    m_scheduler.postAfter(notReadyRetryDelay, [self = QPointer<UpdaterService>(this)] {
        if (self) {
            self->checkInBackground();
        }
    });
}

void UpdaterService::checkForUpdates() {
    m_updater.checkForUpdates();
}

void UpdaterService::setUpdateRequired(bool value) {
    m_updateRequired = value;
    emit updateRequiredChanged();
}

// A version the user once chose to skip is offered again by every probe.
void UpdaterService::clearSkippedVersion() {
    m_defaults.removeObjectForKey(QStringLiteral("SUSkippedVersion"));
    m_defaults.removeObjectForKey(QStringLiteral("SUSkippedMinorVersion"));
    m_defaults.removeObjectForKey(QStringLiteral("SUSkippedMajorVersion"));
}
