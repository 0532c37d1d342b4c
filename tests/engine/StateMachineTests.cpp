// The pass-or-swallow decisions of the tap on virtual time, and what each scenario reports.

#include <gtest/gtest.h>

#include "engine/EngineHarness.h"

using namespace Keys;

namespace {

std::string lines(const QStringList& list) {
    return list.join(u'\n').toStdString();
}

QStringList withoutDiagnostics(const QStringList& messages) {
    QStringList kept;
    for (const QString& m : messages) {
        if (!m.contains(QStringLiteral("[ShortcutEngine][diag "))) {
            kept.append(m);
        }
    }
    return kept;
}

class StateMachine : public ::testing::Test {
protected:
    void SetUp() override { h.startEngine(); }
    EngineHarness h;
};

TEST_F(StateMachine, OptionAloneTimesOutWithEmptyBrackets) {
    const auto r = h.runScenario(R"(
        0.00 flags ⌥ swallow
        0.30 flags - pass
    )");
    EXPECT_EQ(r.expected, r.actual);
    h.advance(3.0);
    EXPECT_EQ(lines(h.timeline.of({"message", "crumb"})),
              lines({"0.00 crumb ⌥ down → entering Alt sequence mode",
                     "2.00 message [ShortcutEngine] Sequence timed out at []"}));
    EXPECT_TRUE(h.excel->log().isEmpty());
}

TEST_F(StateMachine, HeldOptionHBASwallowsEverythingAndAppliesAllBorders) {
    const auto r = h.runScenario(R"(
        0.00 flags ⌥  swallow
        0.10 down  ⌥H swallow
        0.15 up    ⌥H swallow
        0.20 down  ⌥B swallow
        0.25 up    ⌥B swallow
        0.30 down  ⌥A swallow
        0.35 up    ⌥A swallow
        0.40 flags -  pass
    )");
    EXPECT_EQ(r.expected, r.actual);
    h.advance(3.0);
    EXPECT_EQ(lines(h.timeline.of({"message", "post", "press"})),
              lines({
                  "0.10 message [ShortcutEngine][diag 1/5] keyDown keyCode=4 app='Microsoft Excel' "
                  "bundle='com.microsoft.Excel'",
                  "0.20 message [ShortcutEngine][diag 2/5] keyDown keyCode=11 app='Microsoft Excel' "
                  "bundle='com.microsoft.Excel'",
                  "0.30 message [ShortcutEngine][diag 3/5] keyDown keyCode=0 app='Microsoft Excel' "
                  "bundle='com.microsoft.Excel'",
                  "0.30 message [ShortcutEngine] Sequence matched: [4,11,0]",
                  "0.30 post ⌘1",
                  "0.90 press 'Border'",
                  "1.15 press 'Outline'",
                  "1.15 press 'Inside'",
                  "1.25 press 'OK'",
              }));
    EXPECT_EQ(lines(h.excel->log()), lines({"key ⌘1", "open Format Cells", "tab Border", "border Outline",
                                            "border Inside", "OK Format Cells"}));
    EXPECT_EQ(h.usage.records().value("4,11,0").name, QStringLiteral("All Borders"));
    EXPECT_EQ(h.usage.records().value("4,11,0").count, 1);
    EXPECT_EQ(lines(h.analyticsEvents(2)),
              lines({"shortcut_triggered sequence=4,11,0", "shortcut_used shortcut_name=All Borders total_uses=1"}));
    EXPECT_TRUE(h.engine().isActive());
}

TEST_F(StateMachine, OptionTappedAndReleasedThenLettersStillFormASequence) {
    const auto r = h.runScenario(R"(
        0.00 flags ⌥ swallow
        0.05 flags - pass
        0.50 down  H swallow
        0.55 up    H swallow
        1.00 down  A swallow
        1.05 up    A swallow
        1.50 down  C swallow
        1.55 up    C swallow
    )");
    EXPECT_EQ(r.expected, r.actual);
    h.advance(1.0);
    EXPECT_TRUE(h.crumbs().contains("keyDown keyCode=4 ⌥false ⌘false ⇧false ⌃false state=.inAltSequence"));
    EXPECT_TRUE(h.console().contains("[Engine] keyDown keyCode=0 ⌥false ⌘false ⇧false ⌃false state=.inAltSequence"));
    EXPECT_EQ(lines(h.posts()), lines({"⌘E"}));
}

TEST_F(StateMachine, BreakingKeyPassesAndEndsTheSequence) {
    const auto r = h.runScenario(R"(
        0.00 flags ⌥  swallow
        0.10 down  ⌥H swallow
        0.20 down  ⌥X pass
        0.25 up    ⌥X pass
        0.30 up    ⌥H swallow
        0.40 flags -  pass
    )");
    EXPECT_EQ(r.expected, r.actual);
    h.advance(3.0);
    EXPECT_EQ(lines(withoutDiagnostics(h.timeline.of({"message"}))),
              lines({"0.20 message [ShortcutEngine] Sequence broken: [4,7]"}));
    EXPECT_FALSE(ShortcutEngineProbe::inSequence(h.engine()));
    EXPECT_EQ(lines(h.excel->log()), lines({"key ⌥X"}));
    EXPECT_TRUE(ShortcutEngineProbe::suppressed(h.engine()).isEmpty());
}

TEST_F(StateMachine, PauseLongerThanTimeoutResetsBeforeTheNextKey) {
    const auto r = h.runScenario(R"(
        0.00 flags ⌥  swallow
        0.10 down  ⌥H swallow
        0.15 up    ⌥H swallow
        # timed out at 2.10; B (11) is no prefix, so it passes although ⌥ is held
        2.50 down  ⌥B pass
        2.55 up    ⌥B pass
    )");
    EXPECT_EQ(r.expected, r.actual);
    EXPECT_EQ(lines(withoutDiagnostics(h.timeline.of({"message"}))),
              lines({"2.10 message [ShortcutEngine] Sequence timed out at [4]"}));
}

TEST_F(StateMachine, EveryAcceptedKeyRestartsTheFullTimeout) {
    const auto r = h.runScenario(R"(
        0.00 flags ⌥  swallow
        1.90 down  ⌥H swallow
        3.80 down  ⌥O swallow
        5.70 down  ⌥C swallow
        7.60 down  ⌥A swallow
    )");
    EXPECT_EQ(r.expected, r.actual);
    h.advance(3.0);
    EXPECT_EQ(lines(withoutDiagnostics(h.messages())), lines({"[ShortcutEngine] Sequence matched: [4,31,8,0]"}));
}

TEST_F(StateMachine, OptionHeldPastTimeoutStartsANewSequenceFromAPrefixKey) {
    const auto r = h.runScenario(R"(
        0.00 flags ⌥  swallow
        # the empty sequence timed out at 2.00 with ⌥ still down; H is a prefix
        2.50 down  ⌥H swallow
        2.55 up    ⌥H swallow
        2.60 down  ⌥X pass
        2.65 up    ⌥X pass
        3.00 down  ⌥X pass
        3.05 up    ⌥X pass
        # ⌥ together with another modifier never starts one
        3.10 down  ⌥⌘H pass
    )");
    EXPECT_EQ(r.expected, r.actual);
    EXPECT_EQ(lines(withoutDiagnostics(h.timeline.of({"message"}))),
              lines({"2.00 message [ShortcutEngine] Sequence timed out at []",
                     "2.60 message [ShortcutEngine] Sequence broken: [4,7]"}));
}

TEST_F(StateMachine, AutoRepeatCountsAsAnotherKey) {
    h.flags(kOpt);
    EXPECT_FALSE(h.down(H, kOpt));
    EXPECT_FALSE(h.session.keyDown(H, kOpt, true));  // 4,4: Fill Color
    EXPECT_FALSE(h.up(H, kOpt));
    h.advance(1.0);
    EXPECT_EQ(lines(withoutDiagnostics(h.messages())),
              lines({"[ShortcutEngine] Sequence matched: [4,4]",
                     "[ShortcutEngine] Triggered 'Fill Color' — Mac implementation pending"}));
    EXPECT_TRUE(h.console().contains("[Engine] 'Fill Color' triggered (Mac implementation pending)"));
    EXPECT_TRUE(h.usage.records().isEmpty());  // unnamed entries are not counted
    EXPECT_EQ(lines(h.analyticsEvents(1)), lines({"shortcut_triggered sequence=4,4"}));
}

TEST_F(StateMachine, InsideASequenceModifiersAndOtherFlagChangesDoNotMatter) {
    const auto r = h.runScenario(R"(
        0.00 flags ⌥   swallow
        0.10 flags ⌥⇧  pass
        0.20 down  ⌃H  swallow
        0.30 flags ⌥⌘  pass
        0.40 down  ⌘D  swallow
        0.45 up    ⌘D  swallow
        0.50 down  ⌥R  swallow
    )");
    EXPECT_EQ(r.expected, r.actual);
    h.advance(1.0);
    EXPECT_EQ(lines(withoutDiagnostics(h.messages())), lines({"[ShortcutEngine] Sequence matched: [4,2,15]"}));
    EXPECT_EQ(lines(h.posts()), lines({"⌃-"}));  // Delete Row
}

TEST_F(StateMachine, OptionWithOtherModifiersStillEntersTheSequence) {
    const auto r = h.runScenario(R"(
        0.00 flags ⌥⌘ swallow
        0.10 down  W  swallow
        0.20 down  S  swallow
    )");
    EXPECT_EQ(r.expected, r.actual);
}

TEST_F(StateMachine, OtherApplicationsKeepTheirKeys) {
    auto other = std::make_shared<SimApplication>(QStringLiteral("com.apple.TextEdit"), QStringLiteral("TextEdit"));
    h.session.launch(other, true);
    const auto r = h.runScenario(R"(
        0.00 flags ⌥  pass
        0.10 down  ⌥H pass
        0.15 up    ⌥H pass
        0.20 flags -  pass
        0.30 down  ⌃D pass
        0.35 up    ⌃D pass
    )");
    EXPECT_EQ(r.expected, r.actual);
    EXPECT_TRUE(h.posts().isEmpty());

    // The bundle identifier must match exactly, case included.
    auto lookalike =
        std::make_shared<SimApplication>(QStringLiteral("com.microsoft.excel"), QStringLiteral("Microsoft Excel"));
    h.session.launch(lookalike, true);
    EXPECT_TRUE(h.flags(kOpt));
    EXPECT_TRUE(h.down(H, kOpt));
}

TEST_F(StateMachine, ASequenceStartedInExcelKeepsItsKeysAfterSwitchingAway) {
    auto r = h.runScenario(R"(
        0.00 flags ⌥  swallow
        0.10 down  ⌥H swallow
    )");
    EXPECT_EQ(r.expected, r.actual);
    auto other = std::make_shared<SimApplication>(QStringLiteral("com.apple.TextEdit"), QStringLiteral("TextEdit"));
    h.session.launch(other, true);
    r = h.runScenario(R"(
        0.20 up    ⌥H swallow
        0.30 down  ⌥B swallow
        0.35 up    ⌥B swallow
        0.40 down  ⌥X pass
        0.45 up    ⌥X pass
        0.50 flags -  pass
        0.60 down  ⌥H pass
    )");
    EXPECT_EQ(r.expected, r.actual);
    EXPECT_EQ(other->receivedEvents().size(), 4);  // ⌥X down and up, the flags change, the last H
}

struct ChordCase {
    const char* typed;   // scenario chord
    const char* posted;  // what the engine posts, or "" when the key passes
};

TEST_F(StateMachine, CtrlChordsAreRewrittenOnlyWhenExactlyTheirModifiersAreDown) {
    const ChordCase cases[] = {
        {"⌃D", "⌘D"},     {"⌃R", "⌘R"},     {"⌃-", "⌃-"},
        {"⌃PgUp", "⌥⌘←"}, {"⌃PgDn", "⌥⌘→"}, {"⌃Space", "⌃Space to pid"},
        {"⌃⇧=", "⌃⇧="},   {"⌃⇧L", "⇧⌘F"},   {"⌃⌥D", ""},
        {"⌃⌘D", ""},      {"⌃⇧D", ""},      {"⌃L", ""},
        {"⌃=", ""},       {"⌃⇧PgUp", ""},   {"⌃⇧Space", ""},
        {"⌃X", ""},
    };
    double t = 0;
    for (const ChordCase& c : cases) {
        h.timeline.clear();
        h.excel->clearLog();
        const QString expect = QString::fromUtf8(c.posted).isEmpty() ? "pass" : "swallow";
        const QString script = QString("%1 down %2 %3\n%4 up %2 %3")
                                   .arg(t, 0, 'f', 2)
                                   .arg(QString::fromUtf8(c.typed), expect)
                                   .arg(t + 0.05, 0, 'f', 2);
        const auto r = h.runScenario(script);
        EXPECT_EQ(r.expected, r.actual) << c.typed;
        h.advance(0.1);
        t += 0.5;
        EXPECT_EQ(lines(h.posts()),
                  lines(QString::fromUtf8(c.posted).isEmpty() ? QStringList() : QStringList{c.posted}))
            << c.typed;
        // The replacement reaches Excel; chords are neither reported nor counted.
        EXPECT_EQ(h.excel->log().size(), 1) << c.typed;
        EXPECT_TRUE(withoutDiagnostics(h.messages()).isEmpty()) << c.typed;
    }
    EXPECT_TRUE(h.usage.records().isEmpty());
    EXPECT_TRUE(ShortcutEngineProbe::suppressed(h.engine()).isEmpty());
}

TEST_F(StateMachine, CtrlChordsPassOutsideExcel) {
    auto other = std::make_shared<SimApplication>(QStringLiteral("com.apple.TextEdit"), QStringLiteral("TextEdit"));
    h.session.launch(other, true);
    EXPECT_TRUE(h.down(D, kCtrl));
    EXPECT_TRUE(h.up(D, kCtrl));
    EXPECT_TRUE(h.posts().isEmpty());
}

TEST_F(StateMachine, UnrelatedKeysAndEventsPassUntouched) {
    const auto r = h.runScenario(R"(
        0.00 down  H   pass
        0.05 up    H   pass
        0.10 down  ⌘S  pass
        0.15 flags ⌘   pass
        0.20 down  ⌥V  pass
        0.25 up    ⌥V  pass
    )");
    EXPECT_EQ(r.expected, r.actual);
    // A plain pass hands back the very same event, unchanged.
    KeyboardEvent event(EventType::KeyDown, H, 0);
    EXPECT_EQ(ShortcutEngineProbe::callback(EventType::KeyDown, &event, &h.engine()), &event);
    KeyboardEvent other(EventType::Null, 0, 0);
    EXPECT_EQ(ShortcutEngineProbe::callback(EventType::Null, &other, &h.engine()), &other);
}

TEST_F(StateMachine, KeyDownBreadcrumbsComeForEveryKeyDown) {
    h.down(X, kCtrl | kShift);
    h.flags(kOpt);
    h.down(H, kOpt | kCmd);
    EXPECT_EQ(lines(h.crumbs()),
              lines({"keyDown keyCode=7 ⌥false ⌘false ⇧true ⌃true state=.idle", "⌥ down → entering Alt sequence mode",
                     "keyDown keyCode=4 ⌥true ⌘true ⇧false ⌃false state=.inAltSequence"}));
    EXPECT_EQ(lines(h.console()), lines({"[Engine] keyDown keyCode=7 ⌥false ⌘false ⇧true ⌃true state=.idle",
                                         "[Engine] ⌥ down → entering Alt sequence mode",
                                         "[Engine] keyDown keyCode=4 ⌥true ⌘true ⇧false ⌃false "
                                         "state=.inAltSequence"}));
}

}  // namespace
