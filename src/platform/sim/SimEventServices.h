#pragma once

#include <QList>
#include <array>
#include <memory>
#include <vector>

#include "platform/EventServices.h"

class SimSession;

// One event posted through the event services, as the simulated session logged it.
struct PostedEvent {
    EventTapLocation location = EventTapLocation::AnnotatedSession;
    qint32 pid = -1;  // the target process for postToPid, else -1
    KeyboardEvent event;

    bool operator==(const PostedEvent&) const = default;
};

// The keyboard event services of a simulated session.
//
// The event stream has three stages, in this order: HID, Session, AnnotatedSession, then the frontmost
// application. A typed event enters at HID; a posted event enters at the stage of its location, so it is
// seen by the taps of that stage and the later ones (an event posted at AnnotatedSession skips session
// taps). Within a stage, taps run in list order (HeadInsert puts a new tap first). A tap sees an event
// only while it is enabled, its run-loop source is added, and its mask has the event's type. Taps are
// enabled when created, as on the platform.
//
// Events posted while a tap callback runs are delivered after the event being handled, as the platform
// queues them; outside a callback they are delivered at once. Every post is logged. Main thread only.
class SimEventServices final : public EventServices {
public:
    using PostedEvent = ::PostedEvent;

    explicit SimEventServices(SimSession& session);
    ~SimEventServices() override;

    bool preflightListenEventAccess() const override;

    EventTap tapCreate(EventTapLocation location, EventTapPlacement placement, EventTapOptions options,
                       quint64 eventsOfInterest, EventTapCallback callback, void* userInfo) override;
    void tapEnable(const EventTap& tap, bool enable) override;
    bool tapIsEnabled(const EventTap& tap) const override;

    RunLoopSource createRunLoopSource(const EventTap& tap) override;
    void addRunLoopSource(const RunLoopSource& source) override;
    void removeRunLoopSource(const RunLoopSource& source) override;

    EventSource createEventSource(EventSourceStateID state) override;
    KeyboardEventRef createKeyboardEvent(const EventSource& source, quint16 keyCode, bool keyDown) override;

    void post(EventTapLocation location, const KeyboardEventRef& event) override;
    void postToPid(qint32 processIdentifier, const KeyboardEventRef& event) override;

    // Every post and postToPid, in order.
    QList<PostedEvent> postedEvents() const { return m_posted; }
    void clearPostedEvents() { m_posted.clear(); }

    // The taps that still exist, in the order they see events.
    QList<EventTap> taps() const;

private:
    friend class SimSession;
    class Tap;
    class Source;
    struct Delivery {
        EventTapLocation location;
        bool toPid;
        qint32 pid;
        KeyboardEvent event;
    };
    static constexpr size_t kStages = 3;

    // Runs `event` from `entry` through the taps, then to the frontmost application. True when it got there.
    bool dispatchTyped(const KeyboardEvent& event);
    bool runThrough(EventTapLocation entry, KeyboardEvent event);
    void deliver(const Delivery& delivery);
    void finishDispatch();
    void disableBySystem(const EventTap& tap, EventType notice);
    static Tap* tapOf(const EventTap& tap);

    SimSession& m_session;
    // Weak: a tap lives while its owner or an added run-loop source holds it.
    std::array<std::vector<std::weak_ptr<Tap>>, kStages> m_taps;
    // Added sources are held by the run loop, as the platform's run loop retains them.
    std::vector<std::shared_ptr<Source>> m_addedSources;
    // Taps created and events posted during a callback wait until the outermost dispatch ends.
    int m_dispatchDepth = 0;
    bool m_draining = false;
    std::vector<std::pair<std::shared_ptr<Tap>, EventTapPlacement>> m_pendingTaps;
    std::vector<Delivery> m_pendingDeliveries;
    QList<PostedEvent> m_posted;
};
