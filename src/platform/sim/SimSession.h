#pragma once

#include <QList>
#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>

#include "platform/Accessibility.h"
#include "platform/EventServices.h"
#include "platform/Workspace.h"
#include "platform/sim/SimApplication.h"

class SimWorkspace;
class SimAccessibility;
class SimEventServices;

// A simulated Mac session in memory: running applications and the frontmost one, installed
// applications, the two privacy permissions, keyboard event taps and accessibility trees. The three
// platform services it hands out all work on this one session. Main thread only, except the
// accessibility reads (see SimAccessibility).
class SimSession : public QObject {
    Q_OBJECT
public:
    explicit SimSession(QObject* parent = nullptr);
    ~SimSession() override;

    Workspace& workspace();
    Accessibility& accessibility();
    EventServices& events();
    SimWorkspace& simWorkspace();
    SimEventServices& simEvents();

    // --- Applications ---
    // Starts the application (gives it a fresh process id) and lists it last among the running ones.
    // It becomes frontmost when `activate` is true.
    void launch(const std::shared_ptr<SimApplication>& app, bool activate = true);
    void quit(const std::shared_ptr<SimApplication>& app);
    void activate(const std::shared_ptr<SimApplication>& app);  // brings a running application to the front
    QList<std::shared_ptr<SimApplication>> runningApplications() const;
    std::shared_ptr<SimApplication> frontmost() const;
    std::shared_ptr<SimApplication> applicationWithPid(qint32 pid) const;

    // Installed applications that Workspace::openApplication can start. The factory is called on each
    // launch of a not-running application.
    void install(const QString& bundleIdentifier, std::function<std::shared_ptr<SimApplication>()> factory);

    // --- Permissions (both start not granted, as on a fresh Mac) ---
    void setAccessibilityTrusted(bool trusted);
    bool accessibilityTrusted() const;
    void setInputMonitoringGranted(bool granted);
    bool inputMonitoringGranted() const;
    // When set, creating a tap fails even with Input Monitoring granted.
    void setRefuseTapCreation(bool refuse);
    // When set, creating event sources (or keyboard events) fails.
    void setRefuseEventCreation(bool refuse);
    // How many times the accessibility prompt was asked for.
    int accessibilityPromptCount() const;

    // --- Keyboard ---
    // Types one event into the session as the hardware would: it passes through every enabled session
    // tap (whose run-loop source is added) in tap order, and unless one swallows it, reaches the
    // frontmost application. Returns true when it reached the application.
    bool type(const KeyboardEvent& event);
    bool keyDown(quint16 keyCode, quint64 flags = 0, bool autorepeat = false);
    bool keyUp(quint16 keyCode, quint64 flags = 0);
    bool flagsChanged(quint64 flags);
    // Down then up.
    void press(quint16 keyCode, quint64 flags = 0);

    // The system disables a tap (timeout or user input): the tap is disabled and its callback gets the notice.
    void disableTapBySystem(const EventTap& tap, EventType notice);

    // Every URL that Workspace::openURL was asked to open, in order.
    QList<QUrl> openedURLs() const;

signals:
    void applicationsChanged();
    void permissionsChanged();
    // A System Settings privacy link was opened ("x-apple.systempreferences:…").
    void systemSettingsRequested(const QUrl& url);
    void urlOpened(const QUrl& url);

private:
    // For the services handed out above.
    bool isInstalled(const QString& bundleIdentifier) const;
    // Brings the running application with this bundle identifier forward, or launches the installed one.
    bool openInstalled(const QString& bundleIdentifier);
    void recordOpenedURL(const QUrl& url);
    void countAccessibilityPrompt();
    bool refusesTapCreation() const;
    bool refusesEventCreation() const;

    friend class SimWorkspace;
    friend class SimAccessibility;
    friend class SimEventServices;
    struct State;
    std::unique_ptr<State> d;
    std::unique_ptr<SimWorkspace> m_workspace;
    std::unique_ptr<SimAccessibility> m_accessibility;
    std::unique_ptr<SimEventServices> m_events;
};
