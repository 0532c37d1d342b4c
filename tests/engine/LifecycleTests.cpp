// Starting and stopping the tap, missing permissions, refused taps, disabled-tap notices, the
// diagnostic reports, a required update, failed event creation and a released engine.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <functional>

#include "engine/EngineHarness.h"
#include "platform/sim/SimEventServices.h"

using namespace Keys;

namespace {

std::string lines(const QStringList& list) {
    return list.join(u'\n').toStdString();
}

const QString kActiveLine =
    QStringLiteral("[Engine] Active — listening for Alt sequences and direct shortcuts in Excel");

TEST(EngineLifecycle, StartInstallsOneTapAndTurnsActiveOnTheNextTurn) {
    EngineHarness h;
    QSignalSpy spy(&h.engine(), &ShortcutEngine::isActiveChanged);
    h.engine().start();
    EXPECT_FALSE(h.engine().isActive());
    h.advance(0);
    EXPECT_TRUE(h.engine().isActive());
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(h.session.simEvents().taps().size(), 1);
    EXPECT_EQ(lines(h.timeline.of({"console", "message"}, false)),
              lines({"[Engine] start() — Accessibility ✓  Input Monitoring ✓  creating CGEvent tap", kActiveLine,
                     "[ShortcutEngine] CGEvent tap active — engine running"}));

    h.engine().start();  // idempotent while the tap exists
    h.advance(0);
    EXPECT_EQ(h.session.simEvents().taps().size(), 1);
    EXPECT_EQ(h.console().count(kActiveLine), 1);
    EXPECT_FALSE(h.flags(kOpt));
}

TEST(EngineLifecycle, StartWhilePausedDoesNothing) {
    EngineHarness h;
    h.settings.setIsPaused(true);
    h.engine().start();
    h.advance(10);
    EXPECT_TRUE(h.timeline.of({"console", "message", "crumb"}).isEmpty());
    EXPECT_TRUE(h.session.simEvents().taps().isEmpty());
    EXPECT_FALSE(h.engine().isActive());
}

TEST(EngineLifecycle, StopRemovesTheTapForgetsSwallowedKeysAndStillReportsWithoutOne) {
    EngineHarness h;
    h.startEngine();
    h.flags(kOpt);
    h.down(H, kOpt);  // suppressed until its key up
    h.engine().stop();
    EXPECT_TRUE(h.engine().isActive());  // until the next turn
    h.advance(0);
    EXPECT_FALSE(h.engine().isActive());
    EXPECT_FALSE(ShortcutEngineProbe::inSequence(h.engine()));
    EXPECT_TRUE(h.down(B, kOpt));  // no tap any more
    EXPECT_TRUE(h.console().contains("[Engine] Stopped"));
    EXPECT_TRUE(h.crumbs().contains("stop() called"));

    h.timeline.clear();
    h.engine().stop();
    h.advance(0);
    EXPECT_EQ(lines(h.console()), lines({"[Engine] stop() called", "[Engine] Stopped"}));
    EXPECT_FALSE(h.engine().isActive());

    // H's key up came while no tap could see it: once resumed, H typed later is whole.
    EXPECT_TRUE(h.up(H, kOpt));
    h.engine().start();
    h.advance(60);
    auto editor = std::make_shared<SimApplication>(QStringLiteral("com.example.editor"), QStringLiteral("Editor"));
    h.session.launch(editor, true);
    EXPECT_TRUE(h.down(H));
    EXPECT_TRUE(h.up(H));
    EXPECT_EQ(editor->receivedEvents().size(), 2);
}

TEST(EngineLifecycle, MissingPermissionsRetryEveryFiveSecondsUntilGranted) {
    EngineHarness h;
    h.session.setAccessibilityTrusted(false);
    h.engine().start();
    h.advance(10.0);
    h.session.setAccessibilityTrusted(true);
    h.session.setInputMonitoringGranted(false);
    h.advance(5.0);
    h.session.setInputMonitoringGranted(true);
    h.advance(5.0);
    EXPECT_EQ(lines(h.timeline.of({"console"})),
              lines({"0.00 console [Engine] Accessibility not granted — retrying in 5s",
                     "5.00 console [Engine] Accessibility not granted — retrying in 5s",
                     "10.00 console [Engine] Accessibility not granted — retrying in 5s",
                     "15.00 console [Engine] Input Monitoring not granted — retrying in 5s",
                     "20.00 console [Engine] start() — Accessibility ✓  Input Monitoring ✓  creating CGEvent tap",
                     "20.00 console " + kActiveLine}));
    EXPECT_TRUE(h.engine().isActive());
    // Missing permissions are not crash reports.
    EXPECT_EQ(lines(h.messages()), lines({"[ShortcutEngine] CGEvent tap active — engine running"}));
    h.advance(30.0);
    EXPECT_EQ(h.console().count(kActiveLine), 1);
}

TEST(EngineLifecycle, EachStartThatFindsAPermissionMissingSchedulesItsOwnRetry) {
    EngineHarness h;
    h.session.setInputMonitoringGranted(false);
    h.engine().start();
    h.engine().start();
    h.timeline.clear();
    h.advance(5.0);
    EXPECT_EQ(h.console().size(), 2);
}

TEST(EngineLifecycle, ReleasedEngineStopsRetrying) {
    EngineHarness h;
    h.session.setAccessibilityTrusted(false);
    h.engine().start();
    h.releaseEngine();
    h.timeline.clear();
    h.advance(20.0);
    EXPECT_TRUE(h.console().isEmpty());
}

TEST(EngineLifecycle, RefusedTapIsReportedAndNotRetried) {
    EngineHarness h;
    h.session.setRefuseTapCreation(true);
    h.engine().start();
    h.advance(20.0);
    EXPECT_FALSE(h.engine().isActive());
    EXPECT_EQ(lines(h.console()), lines({"[Engine] start() — Accessibility ✓  Input Monitoring ✓  creating CGEvent tap",
                                         "[Engine] CGEvent tap creation failed"}));
    EXPECT_EQ(lines(h.messages()), lines({"[ShortcutEngine] start() failed: CGEvent.tapCreate returned nil"}));
    EXPECT_TRUE(h.flags(kOpt));

    h.session.setRefuseTapCreation(false);
    h.engine().start();
    h.advance(0);
    EXPECT_TRUE(h.engine().isActive());
}

TEST(EngineLifecycle, DisabledTapIsReEnabledAndReportedWithoutTouchingTheSequence) {
    EngineHarness h;
    h.startEngine();
    h.flags(kOpt);
    h.down(H, kOpt);
    const EventTap tap = h.session.simEvents().taps().value(0);
    ASSERT_TRUE(tap);
    h.session.disableTapBySystem(tap, EventType::TapDisabledByTimeout);
    EXPECT_TRUE(h.session.simEvents().tapIsEnabled(tap));
    h.session.disableTapBySystem(tap, EventType::TapDisabledByUserInput);
    EXPECT_TRUE(h.session.simEvents().tapIsEnabled(tap));
    EXPECT_TRUE(h.messages().filter("Tap disabled").isEmpty());  // reported on a later turn
    h.advance(0);
    EXPECT_EQ(lines(h.messages().filter("Tap disabled")),
              lines({"[ShortcutEngine] Tap disabled by macOS (timeout) — re-enabled",
                     "[ShortcutEngine] Tap disabled by macOS (userInput) — re-enabled"}));
    EXPECT_TRUE(ShortcutEngineProbe::inSequence(h.engine()));
    EXPECT_FALSE(h.down(B, kOpt));  // 4,11 is still a prefix

    // The notices are swallowed; a callback without an engine passes the event.
    KeyboardEvent placeholder;
    EXPECT_EQ(ShortcutEngineProbe::callback(EventType::TapDisabledByTimeout, &placeholder, &h.engine()), nullptr);
    KeyboardEvent event(EventType::KeyDown, H, kOpt);
    EXPECT_EQ(ShortcutEngineProbe::callback(EventType::KeyDown, &event, nullptr), &event);
}

TEST(EngineLifecycle, OnlyTheFirstFiveKeyDownsOfTheProcessAreDiagnosed) {
    EngineHarness h;
    h.startEngine();
    auto nameless = std::make_shared<SimApplication>(std::nullopt, std::nullopt);
    h.session.launch(nameless, true);
    h.down(X);
    h.session.activate(h.excel);
    h.down(X);
    h.up(X);
    h.flags(kCtrl);
    h.down(D, kCtrl);  // rewritten: the only one whose key code is told
    h.engine().stop();
    h.engine().start();
    h.advance(0);
    h.down(X);
    h.down(X);
    h.down(X);  // the sixth
    h.advance(1);
    EXPECT_EQ(lines(h.messages().filter("[diag")),
              lines({"[ShortcutEngine][diag 1/5] keyDown app='nil' bundle='nil'",
                     "[ShortcutEngine][diag 2/5] keyDown app='Microsoft Excel' bundle='com.microsoft.Excel'",
                     "[ShortcutEngine][diag 3/5] keyDown keyCode=2 app='Microsoft Excel' bundle='com.microsoft.Excel'",
                     "[ShortcutEngine][diag 4/5] keyDown app='Microsoft Excel' bundle='com.microsoft.Excel'",
                     "[ShortcutEngine][diag 5/5] keyDown app='Microsoft Excel' bundle='com.microsoft.Excel'"}));
}

TEST(EngineLifecycle, RequiredUpdateSwallowsAndReportsButNeitherRunsNorCounts) {
    EngineHarness h;
    h.startEngine();
    h.updater.reportValidUpdate(AppcastItem{QStringLiteral("2.0"), QStringLiteral("2.0"), QUrl()});
    h.advance(0);
    ASSERT_TRUE(h.updaterService.updateRequired());
    h.timeline.clear();

    EXPECT_FALSE(h.flags(kOpt));
    EXPECT_FALSE(h.down(H, kOpt));
    EXPECT_FALSE(h.down(A, kOpt));
    EXPECT_FALSE(h.down(C, kOpt));
    EXPECT_FALSE(h.up(C, kOpt));
    h.advance(3.0);
    EXPECT_TRUE(h.messages().contains("[ShortcutEngine] Sequence matched: [4,0,8]"));
    EXPECT_EQ(lines(h.analyticsEvents(1)), lines({"shortcut_triggered sequence=4,0,8"}));
    EXPECT_TRUE(h.posts().isEmpty());
    EXPECT_TRUE(h.usage.records().isEmpty());
    EXPECT_TRUE(h.excel->log().isEmpty());
}

TEST(EngineLifecycle, FailedEventCreationIsReportedAndPostsNothing) {
    EngineHarness h;
    h.startEngine();
    h.session.setRefuseEventCreation(true);
    EXPECT_FALSE(h.down(D, kCtrl));  // the chord is still swallowed
    EXPECT_FALSE(h.up(D, kCtrl));
    EXPECT_FALSE(h.down(Space, kCtrl));  // silent: posted straight to Excel's process
    h.advance(0);
    EXPECT_EQ(lines(h.messages().filter("injectKey")),
              lines({"[ShortcutEngine] injectKey: event creation failed keyCode=2"}));
    EXPECT_TRUE(h.posts().isEmpty());
    EXPECT_TRUE(h.session.simEvents().postedEvents().isEmpty());
}

TEST(EngineLifecycle, ReleasedEngineLeavesPendingStepsAndTheTapInert) {
    EngineHarness h;
    h.startEngine();
    // A timer, a match step and a paste-special macro in flight.
    h.flags(kOpt);
    h.down(E, kOpt);
    h.down(S, kOpt);
    h.down(V, kOpt);
    h.advance(0);  // match step ran: ⌃⌘V posted, V and Return pending
    h.flags(kOpt);
    h.down(H, kOpt);  // a new sequence with its timer
    const int tapsBefore = int(h.session.simEvents().taps().size());
    EXPECT_EQ(tapsBefore, 1);
    h.releaseEngine();
    h.timeline.clear();
    h.excel->clearLog();
    h.advance(5.0);
    EXPECT_TRUE(h.timeline.of({"message", "post", "press", "console"}).isEmpty());
    EXPECT_TRUE(h.excel->log().isEmpty());
    // The tap went with the engine: keys now reach Excel untouched.
    EXPECT_TRUE(h.down(B, kOpt));
    EXPECT_TRUE(h.flags(kOpt));
}

TEST(EngineLifecycle, AnOptionReleaseTheTapNeverSawCostsNoLaterOptionPress) {
    const std::function<void(EngineHarness&)> releasesUnseen[] = {
        [](EngineHarness& h) {  // paused with ⌥ held
            h.engine().stop();
            h.flags(0);
            h.engine().start();
        },
        [](EngineHarness& h) { h.whileTapDisabledBySystem([&] { h.flags(0); }); },
    };
    for (const auto& releaseUnseen : releasesUnseen) {
        EngineHarness h;
        h.startEngine();
        h.flags(kOpt);
        releaseUnseen(h);
        h.advance(3.0);
        EXPECT_FALSE(h.flags(kOpt));  // tapped, then E S V: Paste Values
        h.flags(0);
        for (const quint16 key : {E, S, V}) {
            EXPECT_FALSE(h.down(key));
            h.up(key);
        }
        h.advance(2.0);
        EXPECT_EQ(lines(h.posts()), lines({"⌃⌘V", "V", "↩"}));
    }

    // Every settings write calls start(): on a running tap it keeps the ⌥ still held, so ⇧ joining it passes.
    EngineHarness h;
    h.startEngine();
    h.flags(kOpt);
    h.advance(3.0);
    h.engine().start();
    EXPECT_TRUE(h.flags(kOpt | kShift));
}

}  // namespace
