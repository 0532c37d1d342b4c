#pragma once

#include <QtGlobal>
#include <memory>

// Keyboard event types as the event services number them.
enum class EventType : quint32 {
    Null = 0,
    KeyDown = 10,
    KeyUp = 11,
    FlagsChanged = 12,
    TapDisabledByTimeout = 0xFFFFFFFE,
    TapDisabledByUserInput = 0xFFFFFFFF,
};

// Event flag bits. Only the four modifiers matter to the program; the others are carried along.
namespace EventFlags {
inline constexpr quint64 AlphaShift = 0x10000;  // caps lock
inline constexpr quint64 Shift = 0x20000;
inline constexpr quint64 Control = 0x40000;
inline constexpr quint64 Option = 0x80000;
inline constexpr quint64 Command = 0x100000;
inline constexpr quint64 NumericPad = 0x200000;
inline constexpr quint64 Function = 0x800000;
}  // namespace EventFlags

// Event masks are bit (1 << type).
inline constexpr quint64 eventMaskBit(EventType type) {
    return quint64{1} << static_cast<quint32>(type);
}

enum class EventTapLocation : quint32 { HID = 0, Session = 1, AnnotatedSession = 2 };
enum class EventTapPlacement : quint32 { HeadInsert = 0, TailAppend = 1 };
enum class EventTapOptions : quint32 { Default = 0, ListenOnly = 1 };
enum class EventSourceStateID : qint32 { Private = -1, CombinedSession = 0, HIDSystem = 1 };

// Integer fields readable from a keyboard event.
enum class EventField : quint32 { KeyboardEventAutorepeat = 8, KeyboardEventKeycode = 9 };

// One keyboard event (key down, key up or modifier change). Plain data: taps read it and may
// pass it on unchanged; created events are flagged and then posted.
class KeyboardEvent {
public:
    KeyboardEvent() = default;
    KeyboardEvent(EventType type, quint16 keyCode, quint64 flags, bool autorepeat = false)
        : m_type(type), m_keyCode(keyCode), m_flags(flags), m_autorepeat(autorepeat) {}

    EventType type() const { return m_type; }
    quint16 keyCode() const { return m_keyCode; }
    quint64 flags() const { return m_flags; }
    bool isAutorepeat() const { return m_autorepeat; }
    void setFlags(quint64 flags) { m_flags = flags; }

    qint64 integerValueField(EventField field) const {
        switch (field) {
            case EventField::KeyboardEventKeycode:
                return m_keyCode;
            case EventField::KeyboardEventAutorepeat:
                return m_autorepeat ? 1 : 0;
        }
        return 0;
    }

    bool operator==(const KeyboardEvent&) const = default;

private:
    EventType m_type = EventType::Null;
    quint16 m_keyCode = 0;
    quint64 m_flags = 0;
    bool m_autorepeat = false;
};
using KeyboardEventRef = std::shared_ptr<KeyboardEvent>;

// Opaque handles of the event services.
class EventTapHandle {
public:
    virtual ~EventTapHandle() = default;
};
class RunLoopSourceHandle {
public:
    virtual ~RunLoopSourceHandle() = default;
};
class EventSourceHandle {
public:
    virtual ~EventSourceHandle() = default;
};
using EventTap = std::shared_ptr<EventTapHandle>;
using RunLoopSource = std::shared_ptr<RunLoopSourceHandle>;
using EventSource = std::shared_ptr<EventSourceHandle>;

// A tap callback: returns the event to let it pass (the same pointer, unchanged, for a plain pass)
// or nullptr to swallow it. For the two disabled-tap notices `event` may be a placeholder.
using EventTapCallback = KeyboardEvent* (*)(EventType type, KeyboardEvent* event, void* userInfo);

// The keyboard event services of the session. Main thread only. Taps see events only while they
// are enabled and their run-loop source is in the main run loop.
class EventServices {
public:
    virtual ~EventServices() = default;

    // Input Monitoring: whether this process may watch the keyboard.
    virtual bool preflightListenEventAccess() const = 0;

    // Null when the tap cannot be created (for example without Input Monitoring).
    virtual EventTap tapCreate(EventTapLocation location, EventTapPlacement placement, EventTapOptions options,
                               quint64 eventsOfInterest, EventTapCallback callback, void* userInfo) = 0;
    virtual void tapEnable(const EventTap& tap, bool enable) = 0;
    virtual bool tapIsEnabled(const EventTap& tap) const = 0;

    virtual RunLoopSource createRunLoopSource(const EventTap& tap) = 0;
    // Adds to / removes from the main run loop in its common modes.
    virtual void addRunLoopSource(const RunLoopSource& source) = 0;
    virtual void removeRunLoopSource(const RunLoopSource& source) = 0;

    // Null when no source can be made.
    virtual EventSource createEventSource(EventSourceStateID state) = 0;
    // Null when the event cannot be made. The event starts without flags.
    virtual KeyboardEventRef createKeyboardEvent(const EventSource& source, quint16 keyCode, bool keyDown) = 0;

    // Posts into the session's event stream at `location`; events posted at the annotated-session
    // location are not seen by session taps.
    virtual void post(EventTapLocation location, const KeyboardEventRef& event) = 0;
    // Posts straight to one process, past every tap.
    virtual void postToPid(qint32 processIdentifier, const KeyboardEventRef& event) = 0;
};
