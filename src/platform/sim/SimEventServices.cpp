#include "platform/sim/SimEventServices.h"

#include <algorithm>

#include "platform/sim/SimSession.h"

class SimEventServices::Tap final : public EventTapHandle {
public:
    Tap(size_t stage, bool listenOnly, quint64 mask, EventTapCallback callback, void* userInfo)
        : stage(stage), listenOnly(listenOnly), mask(mask), callback(callback), userInfo(userInfo) {}

    bool sees(EventType type) const {
        const auto bit = static_cast<quint32>(type);
        return enabled && addedSources > 0 && bit < 64 && (mask & (quint64{1} << bit)) != 0;
    }

    const size_t stage;
    const bool listenOnly;
    const quint64 mask;
    const EventTapCallback callback;
    void* const userInfo;
    bool enabled = true;
    int addedSources = 0;
};

class SimEventServices::Source final : public RunLoopSourceHandle {
public:
    explicit Source(std::shared_ptr<Tap> tap) : tap(std::move(tap)) {}
    const std::shared_ptr<Tap> tap;
    bool added = false;
};

namespace {

class SimEventSource final : public EventSourceHandle {};

size_t stageOf(EventTapLocation location) {
    // An unknown location lies past every tap.
    return std::min<size_t>(static_cast<size_t>(location), 3);
}

}  // namespace

SimEventServices::SimEventServices(SimSession& session) : m_session(session) {}

SimEventServices::~SimEventServices() = default;

bool SimEventServices::preflightListenEventAccess() const {
    return m_session.inputMonitoringGranted();
}

SimEventServices::Tap* SimEventServices::tapOf(const EventTap& tap) {
    return dynamic_cast<Tap*>(tap.get());
}

EventTap SimEventServices::tapCreate(EventTapLocation location, EventTapPlacement placement, EventTapOptions options,
                                     quint64 eventsOfInterest, EventTapCallback callback, void* userInfo) {
    const size_t stage = stageOf(location);
    if (!callback || stage >= kStages || !m_session.inputMonitoringGranted() || m_session.refusesTapCreation()) {
        return nullptr;
    }
    auto tap =
        std::make_shared<Tap>(stage, options == EventTapOptions::ListenOnly, eventsOfInterest, callback, userInfo);
    if (m_dispatchDepth > 0) {
        // Inserting now would shift the list a dispatch is walking.
        m_pendingTaps.emplace_back(tap, placement);
        return tap;
    }
    auto& list = m_taps[stage];
    std::erase_if(list, [](const std::weak_ptr<Tap>& t) { return t.expired(); });
    if (placement == EventTapPlacement::HeadInsert) {
        list.insert(list.begin(), tap);
    } else {
        list.push_back(tap);
    }
    return tap;
}

void SimEventServices::tapEnable(const EventTap& tap, bool enable) {
    if (Tap* t = tapOf(tap)) {
        t->enabled = enable;
    }
}

bool SimEventServices::tapIsEnabled(const EventTap& tap) const {
    const Tap* t = tapOf(tap);
    return t && t->enabled;
}

RunLoopSource SimEventServices::createRunLoopSource(const EventTap& tap) {
    auto t = std::dynamic_pointer_cast<Tap>(tap);
    if (!t) {
        return nullptr;
    }
    return std::make_shared<Source>(std::move(t));
}

void SimEventServices::addRunLoopSource(const RunLoopSource& source) {
    auto s = std::dynamic_pointer_cast<Source>(source);
    if (!s || s->added) {
        return;
    }
    s->added = true;
    ++s->tap->addedSources;
    m_addedSources.push_back(std::move(s));
}

void SimEventServices::removeRunLoopSource(const RunLoopSource& source) {
    auto s = std::dynamic_pointer_cast<Source>(source);
    if (!s || !s->added) {
        return;
    }
    s->added = false;
    --s->tap->addedSources;
    std::erase(m_addedSources, s);
}

EventSource SimEventServices::createEventSource(EventSourceStateID) {
    if (m_session.refusesEventCreation()) {
        return nullptr;
    }
    return std::make_shared<SimEventSource>();
}

KeyboardEventRef SimEventServices::createKeyboardEvent(const EventSource&, quint16 keyCode, bool keyDown) {
    if (m_session.refusesEventCreation()) {
        return nullptr;
    }
    return std::make_shared<KeyboardEvent>(keyDown ? EventType::KeyDown : EventType::KeyUp, keyCode, 0);
}

void SimEventServices::post(EventTapLocation location, const KeyboardEventRef& event) {
    if (!event) {
        return;
    }
    m_posted.append(PostedEvent{location, -1, *event});
    deliver(Delivery{location, false, -1, *event});
}

void SimEventServices::postToPid(qint32 processIdentifier, const KeyboardEventRef& event) {
    if (!event) {
        return;
    }
    m_posted.append(PostedEvent{EventTapLocation::AnnotatedSession, processIdentifier, *event});
    deliver(Delivery{EventTapLocation::AnnotatedSession, true, processIdentifier, *event});
}

QList<EventTap> SimEventServices::taps() const {
    QList<EventTap> out;
    for (const auto& list : m_taps) {
        for (const auto& weak : list) {
            if (auto tap = weak.lock()) {
                out.append(tap);
            }
        }
    }
    return out;
}

bool SimEventServices::dispatchTyped(const KeyboardEvent& event) {
    return runThrough(EventTapLocation::HID, event);
}

bool SimEventServices::runThrough(EventTapLocation entry, KeyboardEvent event) {
    // The hot path: no allocation here; each tap is pinned only while its callback runs.
    ++m_dispatchDepth;
    bool passed = true;
    for (size_t stage = stageOf(entry); passed && stage < kStages; ++stage) {
        const auto& list = m_taps[stage];
        for (size_t i = 0; i < list.size(); ++i) {
            const std::shared_ptr<Tap> tap = list[i].lock();
            if (!tap || !tap->sees(event.type())) {
                continue;
            }
            KeyboardEvent* result = tap->callback(event.type(), &event, tap->userInfo);
            if (tap->listenOnly) {
                continue;
            }
            if (!result) {
                passed = false;
                break;
            }
            if (result != &event) {
                event = *result;
            }
        }
    }
    bool reached = false;
    if (passed) {
        if (const auto app = m_session.frontmost()) {
            app->receive(event);
            reached = true;
        }
    }
    finishDispatch();
    return reached;
}

void SimEventServices::deliver(const Delivery& delivery) {
    if (m_dispatchDepth > 0) {
        m_pendingDeliveries.push_back(delivery);
        return;
    }
    if (!delivery.toPid) {
        runThrough(delivery.location, delivery.event);
        return;
    }
    if (const auto app = m_session.applicationWithPid(delivery.pid)) {
        ++m_dispatchDepth;
        app->receive(delivery.event);
        finishDispatch();
    }
}

void SimEventServices::finishDispatch() {
    if (--m_dispatchDepth > 0) {
        return;
    }
    if (!m_pendingTaps.empty()) {
        auto pending = std::move(m_pendingTaps);
        m_pendingTaps.clear();
        for (auto& [tap, placement] : pending) {
            auto& list = m_taps[tap->stage];
            if (placement == EventTapPlacement::HeadInsert) {
                list.insert(list.begin(), tap);
            } else {
                list.push_back(tap);
            }
        }
    }
    if (m_draining) {
        return;
    }
    // Deliver what was posted meanwhile, in posting order; deliveries may post more.
    m_draining = true;
    for (size_t i = 0; i < m_pendingDeliveries.size(); ++i) {
        const Delivery next = m_pendingDeliveries[i];
        deliver(next);
    }
    m_pendingDeliveries.clear();
    m_draining = false;
}

void SimEventServices::disableBySystem(const EventTap& tap, EventType notice) {
    const auto t = std::dynamic_pointer_cast<Tap>(tap);
    if (!t) {
        return;
    }
    t->enabled = false;
    KeyboardEvent placeholder;
    ++m_dispatchDepth;
    t->callback(notice, &placeholder, t->userInfo);
    finishDispatch();
}
