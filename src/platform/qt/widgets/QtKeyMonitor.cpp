#include "platform/qt/widgets/QtKeyMonitor.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

#include "platform/qt/MacKeyCodes.h"

class QtKeyMonitor::Monitor final : public KeyMonitorHandle {
public:
    Monitor(quint64 mask, Handler handler) : mask(mask), handler(std::move(handler)) {}
    quint64 mask;
    Handler handler;
    bool active = true;
};

QtKeyMonitor::QtKeyMonitor(QObject* parent) : QObject(parent) {}

QtKeyMonitor::~QtKeyMonitor() {
    setFilterInstalled(false);
}

KeyMonitorToken QtKeyMonitor::addLocalMonitor(quint64 mask, Handler handler) {
    auto monitor = std::make_shared<Monitor>(mask, std::move(handler));
    m_monitors.append(monitor);
    setFilterInstalled(true);
    return monitor;
}

void QtKeyMonitor::removeMonitor(const KeyMonitorToken& token) {
    for (qsizetype i = 0; i < m_monitors.size(); ++i) {
        if (m_monitors[i] == token) {
            m_monitors[i]->active = false;
            m_monitors.removeAt(i);
            break;
        }
    }
    if (m_monitors.isEmpty()) {
        setFilterInstalled(false);
    }
}

void QtKeyMonitor::setFilterInstalled(bool installed) {
    QCoreApplication* app = QCoreApplication::instance();
    if (installed == m_filterInstalled || app == nullptr) {
        return;
    }
    if (installed) {
        app->installEventFilter(this);
    } else {
        app->removeEventFilter(this);
    }
    m_filterInstalled = installed;
}

namespace {

bool isForeignApplicationWindow(QObject* window) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->windowHandle() == window) {
            return widget->property(QtKeyMonitor::kForeignApplicationProperty).toBool();
        }
    }
    return false;
}

}  // namespace

bool QtKeyMonitor::eventFilter(QObject* watched, QEvent* event) {
    // A key event travels window → focus widget → its parents; only the window's copy counts, so
    // each key is seen exactly once.
    if (watched != nullptr && watched->isWindowType() &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        !isForeignApplicationWindow(watched)) {
        translate(*static_cast<QKeyEvent*>(event), event->type() == QEvent::KeyPress);
    }
    return false;  // observe only: the event is always delivered
}

void QtKeyMonitor::translate(const QKeyEvent& event, bool press) {
    const int key = event.key();
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    LocalKeyEvent out;

    if (const quint64 flag = MacKeyCodes::modifierFlag(key); flag != 0) {
        // Modifier keys give one flags-changed event per change, none for auto-repeat.
        if (event.isAutoRepeat()) {
            return;
        }
        if (flag == EventFlags::AlphaShift) {
            if (!press) {
                return;
            }
            m_capsLock = !m_capsLock;
        }
        // Platforms differ in whether a modifier's own press and release already carry its flag,
        // so the key's own bit is set from the direction of the event.
        quint64 held = MacKeyCodes::flags(modifiers) & ~EventFlags::NumericPad;
        if (flag != EventFlags::AlphaShift) {
            held = press ? (held | flag) : (held & ~flag);
        }
        out.type = EventType::FlagsChanged;
        out.keyCode = MacKeyCodes::keyCode(key).value_or(0);
        out.modifierFlags = held | (m_capsLock ? EventFlags::AlphaShift : 0);
        dispatch(out);
        return;
    }

    out.type = press ? EventType::KeyDown : EventType::KeyUp;
    out.charactersIgnoringModifiers = MacKeyCodes::charactersIgnoringModifiers(key, modifiers, event.text());
    const std::optional<quint16> code = MacKeyCodes::keyCode(key, modifiers);
    if (!code && !out.charactersIgnoringModifiers) {
        return;  // neither a Mac key position nor any text: nothing a monitor could use
    }
    out.keyCode = code.value_or(LocalKeyEvent::unknownKeyCode);
    out.modifierFlags = MacKeyCodes::flags(modifiers) | (m_capsLock ? EventFlags::AlphaShift : 0);
    out.isARepeat = event.isAutoRepeat();
    dispatch(out);
}

void QtKeyMonitor::dispatch(const LocalKeyEvent& event) {
    const quint64 bit = eventMaskBit(event.type);
    // A handler may add or remove monitors; walk a snapshot and skip the ones removed meanwhile.
    const QList<std::shared_ptr<Monitor>> snapshot = m_monitors;
    for (const auto& monitor : snapshot) {
        if (monitor->active && (monitor->mask & bit) != 0 && monitor->handler) {
            monitor->handler(event);
        }
    }
}
