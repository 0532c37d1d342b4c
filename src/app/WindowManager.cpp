#include "app/WindowManager.h"

#include <QGuiApplication>
#include <QScreen>

using namespace Qt::StringLiterals;

WindowManager::WindowManager(ViewFactory mainView, ViewFactory settingsView, QObject* parent)
    : QObject(parent), m_mainView(std::move(mainView)), m_settingsView(std::move(settingsView)) {}

WindowManager::~WindowManager() {
    delete m_mainWindow.data();
    delete m_settingsWindow.data();
}

bool WindowManager::hasVisibleWindows() const {
    return (m_mainWindow && m_mainWindow->isVisible()) || (m_settingsWindow && m_settingsWindow->isVisible());
}

QSizeF WindowManager::mainWindowSize(const std::optional<QRect>& availableArea) {
    const QSizeF frame = availableArea ? QSizeF(availableArea->size()) : QSizeF(1440, 900);
    return {0.7 * frame.width(), 0.8 * frame.height()};
}

std::optional<QRect> WindowManager::availableArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return std::nullopt;
    }
    return screen->availableGeometry();
}

void WindowManager::showMain() {
    if (m_mainWindow && m_mainWindow->isVisible()) {
        bringToFront(m_mainWindow);
        return;
    }
    if (!m_mainView) {
        return;
    }
    QWidget* window = m_mainView();
    if (!window) {
        return;
    }
    release(m_mainWindow);
    window->setParent(nullptr, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(u"Keyloom"_s);
    const QSizeF size = mainWindowSize(availableArea());
    window->setMinimumSize(qMax(window->minimumWidth(), minimumMainWidth),
                           qMax(window->minimumHeight(), minimumMainHeight));
    window->resize(qRound(size.width()), qRound(size.height()));
    m_mainWindow = window;
    centerAndShow(window);
}

void WindowManager::showSettings() {
    if (m_settingsWindow && m_settingsWindow->isVisible()) {
        bringToFront(m_settingsWindow);
        return;
    }
    if (!m_settingsView) {
        return;
    }
    QWidget* window = m_settingsView();
    if (!window) {
        return;
    }
    release(m_settingsWindow);
    // Titled and closable; neither resizable nor minimisable.
    window->setParent(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(u"Settings"_s);
    window->setFixedSize(settingsWidth, settingsHeight);
    m_settingsWindow = window;
    centerAndShow(window);
}

void WindowManager::centerAndShow(QWidget* window) {
    if (const auto area = availableArea()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(area->center());
        window->move(frame.topLeft());
    }
    bringToFront(window);
}

void WindowManager::bringToFront(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

void WindowManager::release(QPointer<QWidget>& window) {
    // A hidden (closed but not yet released) window is replaced, never shown again.
    if (window) {
        window->deleteLater();
    }
    window = nullptr;
}
