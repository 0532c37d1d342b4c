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

TEST_F(StateMachine, HeldKeyRepeatsNeverMoveASequenceAndGoWhereTheirFirstPressWent) {
    // A second of ⌥H held down: the repeats neither advance (4,4 is an entry) nor restart the sequence.
    QString script = "0.00 flags ⌥ swallow\n0.10 down ⌥H swallow\n";
    for (int i = 0; i < 30; ++i) {
        script += QString("%1 repeat ⌥H swallow\n").arg(0.6 + i / 30.0, 0, 'f', 3);
    }
    script += R"(
        # timed out at 2.10 with ⌥ and H still held
        2.50 repeat ⌥H swallow
        2.60 up     ⌥H swallow
        # a key whose press passed repeats into Excel
        2.70 down   ⌥X pass
        2.80 repeat ⌥X pass
        2.90 up     ⌥X pass
        3.00 flags  -  pass
    )";
    const auto r = h.runScenario(script);
    EXPECT_EQ(r.expected, r.actual);
    h.advance(3.0);
    EXPECT_EQ(lines(withoutDiagnostics(h.timeline.of({"message"}))),
              lines({"2.10 message [ShortcutEngine] Sequence timed out at [4]"}));
    EXPECT_TRUE(h.posts().isEmpty());
    EXPECT_TRUE(ShortcutEngineProbe::suppressed(h.engine()).isEmpty());
}

// A key still held from the press that ended a sequence, ⌥ released, ⌃ pressed: its repeats look like a
// Ctrl chord but belong to the sequence. Only a press rewritten as the chord repeats it.
TEST(StateMachineHeldKeys, RepeatsFireACtrlChordOnlyWhenTheirPressWasRewrittenAsIt) {
    const struct {
        const char* name;
        QList<quint16> keys;  // with ⌥, the last one held; a single key is pressed with ⌃ instead
        bool staleChord;      // ⌃D rewritten first, its release unseen while the system had the tap off
        QStringList posts;
    } cases[] = {
        {"⌥ A S D, D held", {A, S, D}, false, {}},
        {"⌥ H D R, R held", {H, D, R}, false, {"⌃-"}},
        {"⌥ A S D after an unseen ⌃D release", {A, S, D}, true, {"⌘D"}},
        {"⌃D held", {D}, false, QStringList(16, "⌘D")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EngineHarness h;
        h.startEngine();
        if (c.staleChord) {
            h.down(D, kCtrl);
            h.whileTapDisabledBySystem([&] { h.up(D, kCtrl); });
        }
        const quint16 held = c.keys.last();
        if (c.keys.size() > 1) {
            h.flags(kOpt);
            for (const quint16 key : c.keys) {
                EXPECT_FALSE(h.down(key, kOpt));
                if (key != held) {
                    h.up(key, kOpt);
                }
            }
            h.flags(0);
        }
        h.flags(kCtrl);
        int passed = c.keys.size() > 1 ? 0 : h.down(held, kCtrl);
        for (int i = 0; i < 15; ++i) {
            passed += h.repeat(held, kCtrl);
        }
        passed += h.up(held, kCtrl);
        h.advance(3.0);
        EXPECT_EQ(passed, 0);
        EXPECT_EQ(lines(h.posts()), lines(c.posts));
    }
}

TEST_F(StateMachine, InsideASequenceShiftControlAndFlagChangesDoNotMatter) {
    const auto r = h.runScenario(R"(
        0.00 flags ⌥   swallow
        0.10 flags ⌥⇧  pass
        0.20 down  ⌃H  swallow
        0.30 flags ⌥⌃  pass
        0.40 down  ⇧D  swallow
        0.45 up    ⇧D  swallow
        0.50 down  ⌥R  swallow
    )");
    EXPECT_EQ(r.expected, r.actual);
    h.advance(1.0);
    EXPECT_EQ(lines(withoutDiagnostics(h.messages())), lines({"[ShortcutEngine] Sequence matched: [4,2,15]"}));
    EXPECT_EQ(lines(h.posts()), lines({"⌃-"}));  // Delete Row
}

TEST_F(StateMachine, CommandAndControlShortcutsWithOptionReachExcelInEitherPressOrder) {
    const auto r = h.runScenario(R"(
        # ⌥ first: the key carrying ⌘ ends the sequence and passes
        0.00 flags ⌥   swallow
        0.10 flags ⌥⌘  pass
        0.20 down  ⌥⌘W pass
        0.25 up    ⌥⌘W pass
        0.30 down  ⌥⌘A pass
        0.35 up    ⌥⌘A pass
        0.40 flags ⌥   pass
        0.50 flags -   pass
        # ⌘ first: no sequence starts
        1.00 flags ⌘   pass
        1.10 flags ⌥⌘  pass
        1.20 down  ⌥⌘W pass
        1.30 down  ⌥⌘H pass
        1.40 down  ⌥⌘M pass
        1.50 flags ⌘   pass
        1.60 flags -   pass
        # nor with ⌃
        2.00 flags ⌃   pass
        2.10 flags ⌥⌃  pass
        2.20 down  ⌥⌃H pass
    )");
    EXPECT_EQ(r.expected, r.actual);
    h.advance(3.0);
    EXPECT_EQ(lines(h.excel->log()), lines({"key ⌥⌘W", "key ⌥⌘A", "key ⌥⌘W", "key ⌥⌘H", "key ⌥⌘M", "key ⌃⌥H"}));
    EXPECT_TRUE(withoutDiagnostics(h.messages()).isEmpty());
    EXPECT_TRUE(h.timeline.of({"press", "post"}).isEmpty());
}

TEST_F(StateMachine, ShiftPressedWhileOptionIsStillHeldReachesExcel) {
    const auto r = h.runScenario(R"(
        0.00 flags ⌥   swallow
        0.10 down  ⌥H  swallow
        0.20 down  ⌥A  swallow
        0.30 down  ⌥C  swallow
        # the sequence is done, ⌥ still down: only an Option press is taken
        0.40 flags ⌥⇧  pass
        0.50 down  ⌥⇧C pass
        0.60 flags ⌥   pass
        0.70 flags -   pass
        0.80 flags ⌥   swallow
    )");
    EXPECT_EQ(r.expected, r.actual);
    h.advance(0.1);
    EXPECT_EQ(lines(h.posts()), lines({"⌘E"}));
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

TEST_F(StateMachine, ASequenceEndsWhenExcelLeavesTheFront) {
    auto r = h.runScenario(R"(
        0.00 flags ⌥  swallow
        0.10 down  ⌥H swallow
    )");
    EXPECT_EQ(r.expected, r.actual);
    auto chat = std::make_shared<SimApplication>(QStringLiteral("com.example.chat"), QStringLiteral("Chat"));
    h.session.launch(chat, true);
    r = h.runScenario(R"(
        0.20 up    ⌥H swallow
        0.30 flags -  pass
        0.40 down  E  pass
        0.45 up    E  pass
        0.50 down  S  pass
        0.55 up    S  pass
        0.60 down  V  pass
        0.65 up    V  pass
    )");
    EXPECT_EQ(r.expected, r.actual);
    h.advance(3.0);
    EXPECT_EQ(chat->receivedEvents().size(), 7);  // the flags change and the three letters
    EXPECT_TRUE(h.posts().isEmpty());
    EXPECT_TRUE(withoutDiagnostics(h.messages()).isEmpty());
    EXPECT_FALSE(ShortcutEngineProbe::inSequence(h.engine()));
}

TEST_F(StateMachine, AnActionStopsPostingOnceAnotherApplicationIsInFront) {
    const auto r = h.runScenario(R"(
        0.00 flags ⌥  swallow
        0.10 down  ⌥E swallow
        0.20 down  ⌥S swallow
        0.30 down  ⌥V swallow
        0.40 flags -  pass
    )");
    EXPECT_EQ(r.expected, r.actual);
    h.advance(0.1);  // Paste Values: ⌃⌘V went out at 0.30, V is due at 0.65
    auto chat = std::make_shared<SimApplication>(QStringLiteral("com.example.chat"), QStringLiteral("Chat"));
    h.session.launch(chat, true);
    h.timeline.clear();
    h.advance(2.0);
    EXPECT_TRUE(h.posts().isEmpty());
    EXPECT_TRUE(chat->receivedEvents().isEmpty());
    EXPECT_EQ(lines(h.timeline.of({"console"})),
              lines({"0.65 console [Engine] Excel is not frontmost — dropped the rest of the action"}));
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

TEST_F(StateMachine, KeyDownBreadcrumbsComeOnlyForKeysTheEngineTakes) {
    h.down(X, kCtrl | kShift);  // passes
    h.down(D, kCtrl);           // rewritten
    h.flags(kOpt);
    h.down(H, kOpt | kShift);  // in the sequence
    h.down(X, kOpt);           // breaks it
    h.down(H, kOpt);           // starts one
    h.down(S, kOpt | kCmd);    // ends it and passes
    const QStringList expected{"keyDown keyCode=2 ⌥false ⌘false ⇧false ⌃true state=.idle",
                               "⌥ down → entering Alt sequence mode",
                               "keyDown keyCode=4 ⌥true ⌘false ⇧true ⌃false state=.inAltSequence",
                               "keyDown keyCode=7 ⌥true ⌘false ⇧false ⌃false state=.inAltSequence",
                               "keyDown keyCode=4 ⌥true ⌘false ⇧false ⌃false state=.idle"};
    EXPECT_EQ(lines(h.crumbs()), lines(expected));
    QStringList printed;
    for (const QString& crumb : expected) {
        printed.append("[Engine] " + crumb);
    }
    EXPECT_EQ(lines(h.console()), lines(printed));
}

}  // namespace
