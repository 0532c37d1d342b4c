#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStringList>

#include "platform/sim/SimEventServices.h"
#include "platform/sim/SimSession.h"

namespace {

// What one test tap does with each event, and the log it writes ("<name>:<type>:<key code>").
struct Probe {
    enum class Mode { Pass, Swallow, Replace };
    explicit Probe(const QString& name, Mode mode = Mode::Pass) : name(name), mode(mode) {}
    QString name;
    QStringList* log = nullptr;
    Mode mode = Mode::Pass;
    KeyboardEvent replacement;
    // Optional extra step run inside the callback.
    std::function<void(EventType, KeyboardEvent*)> during;
};

KeyboardEvent* probeCallback(EventType type, KeyboardEvent* event, void* userInfo) {
    auto* probe = static_cast<Probe*>(userInfo);
    probe->log->append(
        QStringLiteral("%1:%2:%3").arg(probe->name).arg(static_cast<quint32>(type)).arg(event->keyCode()));
    if (probe->during) {
        probe->during(type, event);
    }
    switch (probe->mode) {
        case Probe::Mode::Pass:
            return event;
        case Probe::Mode::Swallow:
            return nullptr;
        case Probe::Mode::Replace:
            return &probe->replacement;
    }
    return event;
}

constexpr quint64 kKeyMask =
    eventMaskBit(EventType::KeyDown) | eventMaskBit(EventType::KeyUp) | eventMaskBit(EventType::FlagsChanged);

class SimEventServicesTest : public ::testing::Test {
protected:
    SimEventServicesTest() {
        session.setInputMonitoringGranted(true);
        session.setAccessibilityTrusted(true);
        app = std::make_shared<SimApplication>(QStringLiteral("com.example.front"), QStringLiteral("Front"));
        session.launch(app);
    }

    // A tap at the session location whose source is in the run loop.
    EventTap installTap(Probe& probe, EventTapPlacement placement = EventTapPlacement::TailAppend,
                        quint64 mask = kKeyMask, EventTapLocation location = EventTapLocation::Session,
                        EventTapOptions options = EventTapOptions::Default) {
        probe.log = &log;
        EventTap tap = events().tapCreate(location, placement, options, mask, probeCallback, &probe);
        EXPECT_TRUE(tap);
        RunLoopSource source = events().createRunLoopSource(tap);
        events().addRunLoopSource(source);
        sources.append(source);
        return tap;
    }

    SimEventServices& events() { return session.simEvents(); }

    QList<quint16> receivedCodes(const SimApplication& a) const {
        QList<quint16> out;
        for (const auto& e : a.receivedEvents()) {
            out.append(e.keyCode());
        }
        return out;
    }

    SimSession session;
    std::shared_ptr<SimApplication> app;
    QStringList log;
    QList<RunLoopSource> sources;
};

TEST_F(SimEventServicesTest, TapsRunInPlacementOrderAndTheEventReachesTheFrontmostApplication) {
    Probe a{QStringLiteral("a")}, b{QStringLiteral("b")}, c{QStringLiteral("c")};
    installTap(a);
    installTap(b);
    installTap(c, EventTapPlacement::HeadInsert);

    EXPECT_TRUE(session.keyDown(4, EventFlags::Option));
    EXPECT_EQ(log, (QStringList{"c:10:4", "a:10:4", "b:10:4"}));
    ASSERT_EQ(app->receivedEvents().size(), 1);
    EXPECT_EQ(app->receivedEvents().first(), KeyboardEvent(EventType::KeyDown, 4, EventFlags::Option));
    EXPECT_EQ(events().taps().size(), 3);
}

TEST_F(SimEventServicesTest, SwallowStopsTheChainAndReplacementIsPassedOn) {
    Probe first{QStringLiteral("first")}, second{QStringLiteral("second")};
    installTap(first);
    installTap(second);

    first.mode = Probe::Mode::Swallow;
    EXPECT_FALSE(session.keyDown(4));
    EXPECT_EQ(log, QStringList{"first:10:4"});
    EXPECT_TRUE(app->receivedEvents().isEmpty());

    log.clear();
    first.mode = Probe::Mode::Replace;
    first.replacement = KeyboardEvent(EventType::KeyDown, 2, EventFlags::Command);
    EXPECT_TRUE(session.keyDown(4));
    EXPECT_EQ(log, (QStringList{"first:10:4", "second:10:2"}));
    ASSERT_EQ(app->receivedEvents().size(), 1);
    EXPECT_EQ(app->receivedEvents().first(), first.replacement);

    // A listen-only tap can neither swallow nor change the event.
    log.clear();
    Probe listener{QStringLiteral("listener"), Probe::Mode::Swallow};
    installTap(listener, EventTapPlacement::HeadInsert, kKeyMask, EventTapLocation::Session,
               EventTapOptions::ListenOnly);
    first.mode = Probe::Mode::Pass;
    EXPECT_TRUE(session.keyUp(4));
    EXPECT_EQ(log, (QStringList{"listener:11:4", "first:11:4", "second:11:4"}));
}

TEST_F(SimEventServicesTest, MaskEnableStateAndRunLoopSourceDecideWhatATapSees) {
    Probe downOnly{QStringLiteral("down")};
    installTap(downOnly, EventTapPlacement::TailAppend, eventMaskBit(EventType::KeyDown));
    session.press(4);
    session.flagsChanged(EventFlags::Option);
    EXPECT_EQ(log, QStringList{"down:10:4"});
    // The flags change carries the code of the modifier key (Option is 58).
    EXPECT_EQ(app->receivedEvents().last(), KeyboardEvent(EventType::FlagsChanged, 58, EventFlags::Option));

    log.clear();
    Probe probe{QStringLiteral("p")};
    probe.log = &log;
    EventTap tap = events().tapCreate(EventTapLocation::Session, EventTapPlacement::HeadInsert,
                                      EventTapOptions::Default, kKeyMask, probeCallback, &probe);
    ASSERT_TRUE(tap);
    EXPECT_TRUE(events().tapIsEnabled(tap));  // created enabled, as on the platform
    session.keyDown(5);
    EXPECT_EQ(log, QStringList{"down:10:5"}) << "a tap whose source is not in the run loop sees nothing";

    log.clear();
    RunLoopSource source = events().createRunLoopSource(tap);
    events().addRunLoopSource(source);
    events().addRunLoopSource(source);  // adding twice is harmless
    session.keyDown(6);
    EXPECT_EQ(log, (QStringList{"p:10:6", "down:10:6"}));

    log.clear();
    events().tapEnable(tap, false);
    EXPECT_FALSE(events().tapIsEnabled(tap));
    session.keyDown(7);
    EXPECT_EQ(log, QStringList{"down:10:7"});

    log.clear();
    events().tapEnable(tap, true);
    events().removeRunLoopSource(source);
    session.keyDown(8);
    EXPECT_EQ(log, QStringList{"down:10:8"});

    // The run loop holds an added source, and the source its tap, like the platform's retain chain.
    log.clear();
    events().addRunLoopSource(source);
    std::weak_ptr<EventTapHandle> weakTap = tap;
    tap.reset();
    session.keyDown(9);
    EXPECT_EQ(log, (QStringList{"p:10:9", "down:10:9"}));
    events().removeRunLoopSource(source);
    source.reset();
    EXPECT_TRUE(weakTap.expired());
    EXPECT_EQ(events().taps().size(), 1);
}

TEST_F(SimEventServicesTest, PostingAtSessionAnnotatedSessionAndToAProcess) {
    auto background = std::make_shared<SimApplication>(QStringLiteral("com.example.back"), std::nullopt);
    session.launch(background, false);
    Probe probe{QStringLiteral("tap")};
    installTap(probe);
    auto& ev = events();

    auto source = ev.createEventSource(EventSourceStateID::HIDSystem);
    ASSERT_TRUE(source);
    auto down = ev.createKeyboardEvent(source, 2, true);
    auto up = ev.createKeyboardEvent(source, 2, false);
    ASSERT_TRUE(down && up);
    EXPECT_EQ(*down, KeyboardEvent(EventType::KeyDown, 2, 0));
    EXPECT_EQ(up->type(), EventType::KeyUp);
    down->setFlags(EventFlags::Command);

    ev.post(EventTapLocation::AnnotatedSession, down);
    EXPECT_TRUE(log.isEmpty()) << "annotated-session posts skip session taps";
    ev.post(EventTapLocation::Session, up);
    EXPECT_EQ(log, QStringList{"tap:11:2"});
    EXPECT_EQ(receivedCodes(*app), (QList<quint16>{2, 2}));
    EXPECT_EQ(app->receivedEvents().first().flags(), EventFlags::Command);

    ev.postToPid(background->processIdentifier(), down);
    ev.postToPid(99999, up);  // no such process: nothing happens
    ev.post(EventTapLocation::Session, nullptr);
    EXPECT_EQ(background->receivedEvents(), QList<KeyboardEvent>{*down});
    EXPECT_EQ(app->receivedEvents().size(), 2);
    EXPECT_EQ(log.size(), 1);

    const QList<PostedEvent> expected{
        {EventTapLocation::AnnotatedSession, -1, *down},
        {EventTapLocation::Session, -1, *up},
        {EventTapLocation::AnnotatedSession, background->processIdentifier(), *down},
        {EventTapLocation::AnnotatedSession, 99999, *up},
    };
    EXPECT_EQ(ev.postedEvents(), expected);
    ev.clearPostedEvents();
    EXPECT_TRUE(ev.postedEvents().isEmpty());

    // With nothing frontmost a typed event reaches no one.
    session.quit(app);
    session.quit(background);
    EXPECT_FALSE(session.keyDown(1));
}

TEST_F(SimEventServicesTest, EventsPostedFromACallbackArriveAfterTheEventBeingHandled) {
    Probe injector{QStringLiteral("inj")};
    injector.during = [this](EventType type, KeyboardEvent* event) {
        if (type == EventType::KeyDown && event->keyCode() == 2) {
            auto& ev = events();
            ev.post(EventTapLocation::AnnotatedSession, ev.createKeyboardEvent(nullptr, 40, true));
            ev.post(EventTapLocation::Session, ev.createKeyboardEvent(nullptr, 41, true));
        }
    };
    installTap(injector);
    EXPECT_TRUE(session.keyDown(2));
    EXPECT_EQ(receivedCodes(*app), (QList<quint16>{2, 40, 41}));
    // The re-posted session event went through the tap again, after the original.
    EXPECT_EQ(log, (QStringList{"inj:10:2", "inj:10:41"}));

    // A swallowed event still lets the injected ones through (the chord-rewrite pattern).
    app->clearReceivedEvents();
    log.clear();
    injector.mode = Probe::Mode::Swallow;
    EXPECT_FALSE(session.keyDown(2));
    EXPECT_EQ(receivedCodes(*app), (QList<quint16>{40}));
}

TEST_F(SimEventServicesTest, ATapCreatedInsideACallbackSeesOnlyLaterEvents) {
    Probe late{QStringLiteral("late")};
    late.log = &log;
    EventTap lateTap;
    RunLoopSource lateSource;
    Probe first{QStringLiteral("first")};
    first.during = [&](EventType, KeyboardEvent*) {
        if (!lateTap) {
            lateTap = events().tapCreate(EventTapLocation::Session, EventTapPlacement::HeadInsert,
                                         EventTapOptions::Default, kKeyMask, probeCallback, &late);
            lateSource = events().createRunLoopSource(lateTap);
            events().addRunLoopSource(lateSource);
        }
    };
    installTap(first);
    session.keyDown(1);
    session.keyDown(2);
    EXPECT_EQ(log, (QStringList{"first:10:1", "late:10:2", "first:10:2"}));
}

TEST_F(SimEventServicesTest, PermissionsAndRefusalsMakeCreationFail) {
    Probe probe{QStringLiteral("p")};
    auto& ev = events();
    QSignalSpy permissions(&session, &SimSession::permissionsChanged);

    session.setInputMonitoringGranted(false);
    EXPECT_FALSE(ev.preflightListenEventAccess());
    EXPECT_FALSE(ev.tapCreate(EventTapLocation::Session, EventTapPlacement::HeadInsert, EventTapOptions::Default,
                              kKeyMask, probeCallback, &probe));
    session.setInputMonitoringGranted(true);
    session.setInputMonitoringGranted(true);  // no change, no signal
    EXPECT_EQ(permissions.count(), 2);
    EXPECT_TRUE(ev.preflightListenEventAccess());

    session.setRefuseTapCreation(true);
    EXPECT_FALSE(ev.tapCreate(EventTapLocation::Session, EventTapPlacement::HeadInsert, EventTapOptions::Default,
                              kKeyMask, probeCallback, &probe));
    session.setRefuseTapCreation(false);
    EXPECT_FALSE(ev.tapCreate(EventTapLocation::Session, EventTapPlacement::HeadInsert, EventTapOptions::Default,
                              kKeyMask, nullptr, &probe))
        << "a tap needs a callback";
    EXPECT_TRUE(ev.tapCreate(EventTapLocation::Session, EventTapPlacement::HeadInsert, EventTapOptions::Default,
                             kKeyMask, probeCallback, &probe));

    session.setRefuseEventCreation(true);
    EXPECT_FALSE(ev.createEventSource(EventSourceStateID::HIDSystem));
    EXPECT_FALSE(ev.createKeyboardEvent(nullptr, 1, true));
    session.setRefuseEventCreation(false);
    EXPECT_TRUE(ev.createEventSource(EventSourceStateID::HIDSystem));
}

TEST_F(SimEventServicesTest, SystemDisableNotifiesTheCallbackWhichMayReenable) {
    Probe probe{QStringLiteral("p")};
    EventTap tap = installTap(probe);
    EventServices* services = &events();
    probe.during = [&](EventType type, KeyboardEvent*) {
        if (type == EventType::TapDisabledByTimeout || type == EventType::TapDisabledByUserInput) {
            EXPECT_FALSE(services->tapIsEnabled(tap));
            services->tapEnable(tap, true);
        }
    };
    session.disableTapBySystem(tap, EventType::TapDisabledByUserInput);
    EXPECT_EQ(log, QStringList{QStringLiteral("p:%1:0").arg(0xFFFFFFFFu)});
    EXPECT_TRUE(events().tapIsEnabled(tap));

    log.clear();
    probe.during = nullptr;
    session.disableTapBySystem(tap, EventType::TapDisabledByTimeout);
    EXPECT_EQ(log, QStringList{QStringLiteral("p:%1:0").arg(0xFFFFFFFEu)});
    EXPECT_FALSE(events().tapIsEnabled(tap));
    log.clear();
    session.keyDown(3);
    EXPECT_TRUE(log.isEmpty());
}

}  // namespace
