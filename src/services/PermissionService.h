#pragma once

#include <QObject>
#include <QUrl>
#include <memory>

class Accessibility;
class Scheduler;
class Timer;
class Workspace;

// Sends the user to the Accessibility page of System Settings and then checks once a second until the
// permission is granted. `hasAccessibility` is assigned (and announced) only when it changes. Main
// thread only.
class PermissionService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasAccessibility READ hasAccessibility NOTIFY hasAccessibilityChanged)

public:
    static constexpr double pollingInterval = 1.0;
    static QUrl accessibilitySettingsURL();

    // Starts from the current trust check; does not poll until asked to.
    PermissionService(Accessibility& accessibility, Workspace& workspace, Scheduler& scheduler,
                      QObject* parent = nullptr);
    ~PermissionService() override;

    bool hasAccessibility() const { return m_hasAccessibility; }
    bool isPolling() const { return m_pollTimer != nullptr; }

    void openAccessibilitySettings();
    // Restarts the 1-second rhythm; at most one timer runs.
    void startPolling();
    void stopPolling();

signals:
    void hasAccessibilityChanged(bool granted);

private:
    void tick();

    Accessibility& m_accessibility;
    Workspace& m_workspace;
    Scheduler& m_scheduler;
    bool m_hasAccessibility = false;
    std::shared_ptr<Timer> m_pollTimer;
};
