#include "services/PermissionService.h"

#include <QPointer>

#include "platform/Accessibility.h"
#include "platform/Scheduler.h"
#include "platform/Workspace.h"

QUrl PermissionService::accessibilitySettingsURL() {
    return QUrl(QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility"));
}

PermissionService::PermissionService(Accessibility& accessibility, Workspace& workspace, Scheduler& scheduler,
                                     QObject* parent)
    : QObject(parent),
      m_accessibility(accessibility),
      m_workspace(workspace),
      m_scheduler(scheduler),
      m_hasAccessibility(accessibility.isProcessTrusted()) {}

PermissionService::~PermissionService() {
    stopPolling();
}

void PermissionService::openAccessibilitySettings() {
    m_workspace.openURL(accessibilitySettingsURL());
    startPolling();
}

void PermissionService::startPolling() {
    stopPolling();
    QPointer<PermissionService> weakSelf(this);
    m_pollTimer = m_scheduler.scheduleTimer(pollingInterval, true, [weakSelf] {
        if (weakSelf) {
            weakSelf->tick();
        }
    });
}

void PermissionService::stopPolling() {
    if (m_pollTimer) {
        m_pollTimer->invalidate();
        m_pollTimer.reset();
    }
}

void PermissionService::tick() {
    const bool trusted = m_accessibility.isProcessTrusted();
    // Published on a later turn; a service destroyed meanwhile has nothing left to publish to.
    QPointer<PermissionService> target(this);
    m_scheduler.post([target, trusted] {
        if (!target) {
            return;
        }
        if (trusted != target->m_hasAccessibility) {
            target->m_hasAccessibility = trusted;
            emit target->hasAccessibilityChanged(trusted);
        }
        if (target && trusted) {
            target->stopPolling();
        }
    });
}
