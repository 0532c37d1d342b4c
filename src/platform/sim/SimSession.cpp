#include "platform/sim/SimSession.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <atomic>

#include "platform/sim/SimAccessibility.h"
#include "platform/sim/SimEventServices.h"
#include "platform/sim/SimWorkspace.h"

namespace {

// Virtual key codes of the modifier keys, for flags-changed events.
struct ModifierKey {
    quint64 flag;
    quint16 keyCode;
};
constexpr ModifierKey kModifierKeys[] = {
    {EventFlags::Option, 58}, {EventFlags::Command, 55},    {EventFlags::Control, 59},
    {EventFlags::Shift, 56},  {EventFlags::AlphaShift, 57}, {EventFlags::Function, 63},
};

}  // namespace

struct SimSession::State {
    // Guards the application lists: the accessibility service looks up processes from worker threads.
    mutable QMutex appsMutex;
    QList<std::shared_ptr<SimApplication>> running;          // launch order
    QList<std::shared_ptr<SimApplication>> activationOrder;  // the last one is frontmost
    qint32 nextPid = 501;

    // Keyed by the lower-cased bundle identifier: the platform matches identifiers regardless of case.
    QHash<QString, std::function<std::shared_ptr<SimApplication>()>> installed;

    std::atomic<bool> accessibilityTrusted{false};
    std::atomic<bool> inputMonitoringGranted{false};
    std::atomic<int> promptCount{0};
    bool refuseTapCreation = false;
    bool refuseEventCreation = false;

    quint64 modifierFlags = 0;  // as last typed with flagsChanged()
    QList<QUrl> openedURLs;
};

SimSession::SimSession(QObject* parent) : QObject(parent), d(std::make_unique<State>()) {
    m_workspace = std::make_unique<SimWorkspace>(*this);
    m_accessibility = std::make_unique<SimAccessibility>(*this);
    m_events = std::make_unique<SimEventServices>(*this);
}

SimSession::~SimSession() = default;

Workspace& SimSession::workspace() {
    return *m_workspace;
}

Accessibility& SimSession::accessibility() {
    return *m_accessibility;
}

EventServices& SimSession::events() {
    return *m_events;
}

SimWorkspace& SimSession::simWorkspace() {
    return *m_workspace;
}

SimEventServices& SimSession::simEvents() {
    return *m_events;
}

// --- Applications ---

void SimSession::launch(const std::shared_ptr<SimApplication>& app, bool activate) {
    if (!app) {
        return;
    }
    {
        QMutexLocker lock(&d->appsMutex);
        if (!d->running.contains(app)) {
            app->m_pid = d->nextPid++;
            d->running.append(app);
        }
        if (activate) {
            d->activationOrder.removeAll(app);
            d->activationOrder.append(app);
        }
    }
    emit applicationsChanged();
}

void SimSession::quit(const std::shared_ptr<SimApplication>& app) {
    {
        QMutexLocker lock(&d->appsMutex);
        if (!app || !d->running.contains(app)) {
            return;
        }
        d->running.removeAll(app);
        d->activationOrder.removeAll(app);
    }
    emit applicationsChanged();
}

void SimSession::activate(const std::shared_ptr<SimApplication>& app) {
    {
        QMutexLocker lock(&d->appsMutex);
        if (!app || !d->running.contains(app)) {
            return;
        }
        if (!d->activationOrder.isEmpty() && d->activationOrder.last() == app) {
            return;
        }
        d->activationOrder.removeAll(app);
        d->activationOrder.append(app);
    }
    emit applicationsChanged();
}

QList<std::shared_ptr<SimApplication>> SimSession::runningApplications() const {
    QMutexLocker lock(&d->appsMutex);
    return d->running;
}

std::shared_ptr<SimApplication> SimSession::frontmost() const {
    QMutexLocker lock(&d->appsMutex);
    return d->activationOrder.isEmpty() ? nullptr : d->activationOrder.last();
}

std::shared_ptr<SimApplication> SimSession::applicationWithPid(qint32 pid) const {
    QMutexLocker lock(&d->appsMutex);
    for (const auto& app : d->running) {
        if (app->m_pid == pid) {
            return app;
        }
    }
    return nullptr;
}

void SimSession::install(const QString& bundleIdentifier, std::function<std::shared_ptr<SimApplication>()> factory) {
    if (factory) {
        d->installed.insert(bundleIdentifier.toLower(), std::move(factory));
    } else {
        d->installed.remove(bundleIdentifier.toLower());
    }
}

bool SimSession::isInstalled(const QString& bundleIdentifier) const {
    return d->installed.contains(bundleIdentifier.toLower());
}

bool SimSession::openInstalled(const QString& bundleIdentifier) {
    const QString wanted = bundleIdentifier.toLower();
    for (const auto& app : runningApplications()) {
        if (app->bundleIdentifier() && app->bundleIdentifier()->toLower() == wanted) {
            activate(app);
            return true;
        }
    }
    const auto factory = d->installed.value(wanted);
    if (!factory) {
        return false;
    }
    auto app = factory();
    if (!app) {
        return false;
    }
    launch(app, true);
    return true;
}

// --- Permissions ---

void SimSession::setAccessibilityTrusted(bool trusted) {
    if (d->accessibilityTrusted.exchange(trusted) != trusted) {
        emit permissionsChanged();
    }
}

bool SimSession::accessibilityTrusted() const {
    return d->accessibilityTrusted.load();
}

void SimSession::setInputMonitoringGranted(bool granted) {
    if (d->inputMonitoringGranted.exchange(granted) != granted) {
        emit permissionsChanged();
    }
}

bool SimSession::inputMonitoringGranted() const {
    return d->inputMonitoringGranted.load();
}

void SimSession::setRefuseTapCreation(bool refuse) {
    d->refuseTapCreation = refuse;
}

void SimSession::setRefuseEventCreation(bool refuse) {
    d->refuseEventCreation = refuse;
}

bool SimSession::refusesTapCreation() const {
    return d->refuseTapCreation;
}

bool SimSession::refusesEventCreation() const {
    return d->refuseEventCreation;
}

int SimSession::accessibilityPromptCount() const {
    return d->promptCount.load();
}

void SimSession::countAccessibilityPrompt() {
    ++d->promptCount;
}

// --- Keyboard ---

bool SimSession::type(const KeyboardEvent& event) {
    return m_events->dispatchTyped(event);
}

bool SimSession::keyDown(quint16 keyCode, quint64 flags, bool autorepeat) {
    return type(KeyboardEvent(EventType::KeyDown, keyCode, flags, autorepeat));
}

bool SimSession::keyUp(quint16 keyCode, quint64 flags) {
    return type(KeyboardEvent(EventType::KeyUp, keyCode, flags));
}

bool SimSession::flagsChanged(quint64 flags) {
    // The event carries the code of the modifier key that changed, as the hardware reports it.
    const quint64 changed = d->modifierFlags ^ flags;
    d->modifierFlags = flags;
    quint16 keyCode = 0;
    for (const auto& key : kModifierKeys) {
        if (changed & key.flag) {
            keyCode = key.keyCode;
            break;
        }
    }
    return type(KeyboardEvent(EventType::FlagsChanged, keyCode, flags));
}

void SimSession::press(quint16 keyCode, quint64 flags) {
    keyDown(keyCode, flags);
    keyUp(keyCode, flags);
}

void SimSession::disableTapBySystem(const EventTap& tap, EventType notice) {
    m_events->disableBySystem(tap, notice);
}

// --- URLs ---

QList<QUrl> SimSession::openedURLs() const {
    return d->openedURLs;
}

void SimSession::recordOpenedURL(const QUrl& url) {
    d->openedURLs.append(url);
    emit urlOpened(url);
    if (url.scheme() == QLatin1String("x-apple.systempreferences")) {
        emit systemSettingsRequested(url);
    }
}
