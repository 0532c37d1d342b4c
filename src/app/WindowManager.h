#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSizeF>
#include <QWidget>
#include <functional>
#include <optional>

#include "platform/Workspace.h"

// Creates and re-shows the application's two windows: the main window and the settings window.
// A window that is still open is brought back on screen (un-minimised), to the front and made
// active; one that was closed is replaced by a new one on the next request. Closed windows are
// released. Main thread only.
class WindowManager : public QObject {
    Q_OBJECT
public:
    // Builds the root view of a window (the main window's or the settings'); the window owns it.
    using ViewFactory = std::function<QWidget*()>;

    WindowManager(ViewFactory mainView, ViewFactory settingsView, QObject* parent = nullptr);
    ~WindowManager() override;

    void showMain();
    void showSettings();

    // The Dock presence, on Linux the taskbar's: regular windows are listed in it, accessory ones
    // stay out. Applies to the windows shown now and to every later one.
    void setActivationPolicy(ActivationPolicy policy);
    ActivationPolicy activationPolicy() const { return m_policy; }

    // The last window created of each kind, while it exists.
    QWidget* mainWindow() const { return m_mainWindow; }
    QWidget* settingsWindow() const { return m_settingsWindow; }
    // Whether one of the application's own windows is on screen (shown and not minimised).
    bool hasVisibleWindows() const;

    // The main window's content size: 0.7 × 0.8 of the screen's available area, or of 1440 × 900
    // when there is no screen.
    static QSizeF mainWindowSize(const std::optional<QRect>& availableArea);
    static constexpr int minimumMainWidth = 720;
    static constexpr int minimumMainHeight = 520;
    static constexpr int settingsWidth = 480;
    static constexpr int settingsHeight = 320;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyActivationPolicy(QWidget* window) const;
    static bool isOnScreen(const QWidget* window);
    static std::optional<QRect> availableArea();
    static void centerAndShow(QWidget* window);
    static void bringToFront(QWidget* window);
    static void release(QPointer<QWidget>& window);

    ViewFactory m_mainView;
    ViewFactory m_settingsView;
    QPointer<QWidget> m_mainWindow;
    QPointer<QWidget> m_settingsWindow;
    ActivationPolicy m_policy = ActivationPolicy::Regular;
};
