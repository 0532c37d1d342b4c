#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>

class AppSettings;
class Console;
class WindowManager;

// The status item: a tray icon that shows whether shortcuts run (the filled command square) or
// are paused (its outline, drawn disabled), and a menu built afresh on every left click to open
// the main window, open the settings window, pause or resume shortcuts, and quit. The icon is
// redrawn after every write to the user defaults, whichever key changed.
//
// Where the desktop has no tray the manager keeps its state all the same and says so once on the
// console; the main window stays reachable by launching the application again. Main thread only.
class StatusBarManager : public QObject {
    Q_OBJECT
public:
    // `terminate` ends the application ("Quit"); by default it quits the Qt event loop.
    StatusBarManager(AppSettings& settings, Console& console, std::function<void()> terminate = {},
                     QObject* parent = nullptr);
    ~StatusBarManager() override;

    // Creates the tray icon with its first image, the click action and the icon observer. Once.
    void setupStatusItem();
    void setWindowManager(WindowManager* windowManager) { m_windowManager = windowManager; }
    WindowManager* windowManager() const { return m_windowManager; }

    // What a click on the tray icon does: only a left click (Trigger) opens the menu.
    void handleClick(QSystemTrayIcon::ActivationReason reason);

    // The icon now: "command.square.fill" while running, "command.square" while paused.
    QString symbolName() const { return m_symbolName; }
    bool appearsDisabled() const { return m_appearsDisabled; }
    QSystemTrayIcon* statusItem() const { return m_statusItem; }
    bool isTrayAvailable() const { return m_trayAvailable; }
    // The menu while it is open; null otherwise.
    QMenu* menu() const { return m_menu; }

    // The status image for both states, template-like: one colour on transparent.
    static QIcon makeIcon(bool filled, bool disabled, const QColor& color);

    static const QString trayUnavailableMessage;

private:
    void observePauseState();
    void updateIcon();
    void showContextMenu();
    void openMain();
    void openSettings();
    void togglePause();

    AppSettings& m_settings;
    Console& m_console;
    std::function<void()> m_terminate;
    QSystemTrayIcon* m_statusItem = nullptr;
    QPointer<WindowManager> m_windowManager;
    QMetaObject::Connection m_cancellable;
    QPointer<QMenu> m_menu;
    QString m_symbolName;
    bool m_appearsDisabled = false;
    bool m_trayAvailable = false;
};
