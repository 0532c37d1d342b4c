#include "app/WindowManager.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

#include "platform/qt/widgets/TaskbarPresence.h"

using namespace Qt::StringLiterals;

WindowManager::WindowManager(ViewFactory mainView, ViewFactory settingsView, QObject* parent)
    : QObject(parent), m_mainView(std::move(mainView)), m_settingsView(std::move(settingsView)) {}

WindowManager::~WindowManager() {
    delete m_mainWindow.data();
    delete m_settingsWindow.data();
}

bool WindowManager::hasVisibleWindows() const {
    return isOnScreen(m_mainWindow) || isOnScreen(m_settingsWindow);
}

bool WindowManager::isOnScreen(const QWidget* window) {
    // Qt counts a minimised window as visible; the user does not see it.
    return window && window->isVisible() && !window->isMinimized();
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
    applyActivationPolicy(window);
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
    // Window managers may offer minimise and maximise whatever the hints say; such a change is undone.
    window->installEventFilter(this);
    applyActivationPolicy(window);
    m_settingsWindow = window;
    centerAndShow(window);
}

void WindowManager::setActivationPolicy(ActivationPolicy policy) {
    if (policy == m_policy) {
        return;
    }
    m_policy = policy;
    for (QWidget* window : {m_mainWindow.data(), m_settingsWindow.data()}) {
        if (window) {
            applyActivationPolicy(window);
        }
    }
}

void WindowManager::applyActivationPolicy(QWidget* window) const {
    TaskbarPresence::setListed(window, m_policy == ActivationPolicy::Regular);
}

bool WindowManager::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && watched == m_settingsWindow.data()) {
        static constexpr Qt::WindowStates kRefused = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
        if (m_settingsWindow->windowState() & kRefused) {
            // Undone on the next turn: the platform is still in the middle of its own change.
            QMetaObject::invokeMethod(
                this,
                [window = m_settingsWindow] {
                    if (window) {
                        window->setWindowState(window->windowState() & ~kRefused);
                    }
                },
                Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
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
    // show() alone leaves a minimised window minimised; a maximised one stays maximised.
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
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
