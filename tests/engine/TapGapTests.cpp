// Gaps in the tap: the engine paused and resumed, or the system turning the tap off until the engine
// turns it back on. The engine cannot know what changed meanwhile.

#include <gtest/gtest.h>

#include "engine/EngineHarness.h"

using namespace Keys;

namespace {

struct Gap {
    const char* name;
    void (EngineHarness::*across)(const std::function<void()>& unseen);
};
const Gap kGaps[] = {{"paused", &EngineHarness::whilePaused},
                     {"disabled by the system", &EngineHarness::whileTapDisabledBySystem}};

// The scenario line of a flags change to `to`; none when `to` is empty or what is down already.
QString flagsLine(const char* time, const QString& from, const QString& to, const char* decision) {
    return from == to || to.isEmpty() ? QString() : QString("%1 flags %2 %3\n").arg(time, to, decision);
}

TEST(EngineTapGaps, OnlyAnOptionKeyGoingDownStartsASequence) {
    const struct {
        const char* name;
        const char* held;     // down before the gap, ⌥ first
        const char* unseen;   // pressed in the gap
        const char* changed;  // after it: must pass
        const char* typing;   // then ⇧ joins and ⇧H is typed, passing too
    } rows[] = {
        // clang-format off
        {"⇧ pressed with ⌥ held",    "⌥",  "",  "⌥⇧", "⌥⇧"},
        {"⇧ released from ⇧⌥",       "⌥⇧", "",  "⌥",  "⌥⇧"},
        {"⌘ released from ⌥⌘",       "⌥⌘", "",  "⌥",  "⌥⇧"},
        {"⌃ released from ⌃⌥",       "⌃⌥", "",  "⌥",  "⌥⇧"},
        {"Caps Lock on with ⌥ held", "⌥",  "",  "⌥⇪", "⌥⇧⇪"},
        {"⌥ pressed in the gap",     "",   "⌥", "⌥⇧", "⌥⇧"},
        // clang-format on
    };
    for (const Gap& gap : kGaps) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(gap.name) + ", " + row.name);
            EngineHarness h;
            h.startEngine();
            const QString held = QString::fromUtf8(row.held);
            auto r = h.runScenario((held.isEmpty() ? QString() : "0.00 flags ⌥ swallow\n") +
                                   flagsLine("0.10", "⌥", held, "pass"));
            EXPECT_EQ(r.expected, r.actual);
            h.advance(3.0 - h.scheduler.elapsed());  // the sequence timed out, ⌥ still down
            (h.*gap.across)([&] {
                r = h.runScenario(flagsLine("3.00", held, QString::fromUtf8(row.unseen), "pass"));
                EXPECT_EQ(r.expected, r.actual);
            });
            const QString typing = QString::fromUtf8(row.typing);
            r = h.runScenario(flagsLine("4.00", "", QString::fromUtf8(row.changed), "pass") +
                              flagsLine("4.10", QString::fromUtf8(row.changed), typing, "pass") +
                              QString("4.20 down %1H pass\n4.30 up %1H pass").arg(typing));
            EXPECT_EQ(r.expected, r.actual);
        }
    }
}

TEST(EngineTapGaps, EitherOptionKeyGoingDownStillStartsASequence) {
    for (const Gap& gap : kGaps) {
        for (const quint16 optionKey : {58, 61}) {
            SCOPED_TRACE(std::string(gap.name) + ", Option key " + std::to_string(optionKey));
            EngineHarness h;
            h.startEngine();
            h.flags(kOpt);
            (h.*gap.across)([&] { h.flags(0); });
            h.advance(3.0);
            EXPECT_FALSE(h.session.type(KeyboardEvent(EventType::FlagsChanged, optionKey, kOpt)));
            for (const quint16 key : {H, A, C}) {
                EXPECT_FALSE(h.down(key, kOpt));
                EXPECT_FALSE(h.up(key, kOpt));
            }
            h.advance(1.0);
            EXPECT_EQ(h.posts().join(' ').toStdString(), "⌘E");
            // The other Option key going down or up while this one is held is no Option press.
            EXPECT_TRUE(h.session.type(KeyboardEvent(EventType::FlagsChanged, 58 + 61 - optionKey, kOpt)));
        }
    }
}

TEST(EngineTapGaps, AKeyWhoseReleaseWentUnseenTypesNormallyAfterwards) {
    const struct {
        const char* name;
        quint64 held;
        quint16 key;
    } rows[] = {
        {"⌃D rewritten as ⌘D", kCtrl, D},
        {"H swallowed as a sequence prefix", kOpt, H},
    };
    for (const Gap& gap : kGaps) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(gap.name) + ", " + row.name);
            EngineHarness h;
            h.startEngine();
            h.flags(row.held);
            EXPECT_FALSE(h.down(row.key, row.held));
            (h.*gap.across)([&] {
                h.up(row.key, row.held);
                h.flags(0);
            });
            h.advance(3.0);
            h.timeline.clear();
            int passed = h.down(row.key);
            for (int i = 0; i < 10; ++i) {
                passed += h.repeat(row.key);
            }
            passed += h.up(row.key);
            EXPECT_EQ(passed, 12);
            EXPECT_TRUE(h.posts().isEmpty());
            // Pressed as before, it is taken again, key up included.
            h.flags(row.held);
            EXPECT_FALSE(h.down(row.key, row.held));
            EXPECT_FALSE(h.up(row.key, row.held));
        }
    }
}

// Every settings write calls start(): on a running tap that is no gap, and a sequence under way goes on.
TEST(EngineTapGaps, StartOnARunningTapLeavesASequenceAlone) {
    EngineHarness h;
    h.startEngine();
    h.flags(kOpt);
    EXPECT_FALSE(h.down(H, kOpt));
    h.engine().start();
    EXPECT_FALSE(h.up(H, kOpt));
    EXPECT_FALSE(h.down(B, kOpt));
    EXPECT_FALSE(h.down(A, kOpt));
    h.advance(1.0);
    EXPECT_TRUE(h.messages().contains("[ShortcutEngine] Sequence matched: [4,11,0]"));
}

}  // namespace
