#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "platform/EventServices.h"

// One keyboard event of this application as a local monitor sees it: a key down or up, or a
// change of the modifier keys. Key codes and flags are the macOS virtual key codes and event
// flag bits (see EventServices.h).
struct LocalKeyEvent {
    // Stands in for a key that has no position on a Mac keyboard but types text.
    static constexpr quint16 unknownKeyCode = 0xFFFF;

    EventType type = EventType::Null;
    quint16 keyCode = 0;
    quint64 modifierFlags = 0;
    // What the key types with no modifier but Shift applied; nothing for modifier changes.
    std::optional<QString> charactersIgnoringModifiers;
    bool isARepeat = false;
};

// Opaque token of an installed monitor.
class KeyMonitorHandle {
public:
    virtual ~KeyMonitorHandle() = default;
};
using KeyMonitorToken = std::shared_ptr<KeyMonitorHandle>;

// Local event monitoring: handlers see the key events that the platform delivers to this
// application's own windows, before the windows do. Main thread only; handlers run on the main
// thread while the event is being dispatched.
class KeyMonitor {
public:
    // Returns the event to deliver. Monitors on this platform only observe: every event is
    // delivered as it came, so a handler returns the event it was given.
    using Handler = std::function<const LocalKeyEvent*(const LocalKeyEvent& event)>;

    virtual ~KeyMonitor() = default;

    // `mask` is a set of eventMaskBit(type) bits; the handler sees only events of those types.
    virtual KeyMonitorToken addLocalMonitor(quint64 mask, Handler handler) = 0;
    // Removing an unknown or already removed token does nothing.
    virtual void removeMonitor(const KeyMonitorToken& token) = 0;
};
