#pragma once

#include <QStringList>
#include <functional>
#include <memory>

#include "engine/ShortcutEngine.h"
#include "models/AppSettings.h"
#include "platform/Console.h"
#include "platform/CrashReporting.h"
#include "platform/UserDefaults.h"
#include "platform/sim/ManualScheduler.h"
#include "platform/sim/SimEventServices.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimSpreadsheet.h"
#include "platform/sim/SimUpdater.h"
#include "services/PostHogService.h"
#include "services/SentryBridge.h"
#include "services/UpdaterService.h"
#include "services/UsageStore.h"
#include "support/HttpTestServer.h"

// Reaches the engine's private parts for the tests.
struct ShortcutEngineProbe {
    static KeyboardEvent* callback(EventType type, KeyboardEvent* event, void* userInfo) {
        return ShortcutEngine::tapCallback(type, event, userInfo);
    }
    static int sequenceCount(const ShortcutEngine& e) { return int(e.m_sequences.size()); }
    static QHash<QString, QString> names(const ShortcutEngine& e) { return e.m_sequenceNames; }
    static QSet<QString> prefixes(const ShortcutEngine& e) { return e.m_prefixSet; }
    static QStringList sequenceKeys(const ShortcutEngine& e) { return e.m_sequences.keys(); }
    static bool inSequence(const ShortcutEngine& e) {
        return e.m_engineState == ShortcutEngine::EngineState::inAltSequence;
    }
    static QSet<qint64> suppressed(const ShortcutEngine& e) { return e.m_suppressedKeyCodes; }
    static void runSequenceAction(ShortcutEngine& e, const QString& key) { e.m_sequences.value(key)(); }
    static void injectToPid(ShortcutEngine& e, quint16 code, quint64 flags) { e.injectToPid(code, flags); }
    static void pasteSpecial(ShortcutEngine& e, qint64 key) { e.pasteSpecialDialog(key); }
    static void logOnly(ShortcutEngine& e, const QString& text) { e.logOnly(text); }
    static void ribbonMenu(ShortcutEngine& e, const QString& title, const QStringList& items,
                           ShortcutEngine::Action fallback) {
        e.axRibbonMenuButton(title, items, std::move(fallback));
    }
    static void borders(ShortcutEngine& e, const QStringList& presets) { e.applyFormatCellsBorder(presets); }
    static void dump(ShortcutEngine& e, const AXElement& element) { e.axDumpTree(element, 0); }
};

// Everything the engine does, stamped with the virtual time: "0.35 post V", "0.18 press 'Column'",
// "0.00 message [ShortcutEngine] …", "0.00 console [Engine] …", "0.00 crumb …".
class Timeline {
public:
    explicit Timeline(const ManualScheduler& clock) : m_clock(clock) {}
    void add(const QString& kind, const QString& text);
    // Entries of these kinds, in order; with `withTimes` false, without the time stamps and kinds.
    QStringList of(const QStringList& kinds, bool withTimes = true) const;
    void clear() { m_entries.clear(); }

private:
    struct Entry {
        double time;
        QString kind;
        QString text;
    };
    const ManualScheduler& m_clock;
    QList<Entry> m_entries;
};

struct ScenarioResult {
    std::string expected;
    std::string actual;
};

// A fresh simulated session with the spreadsheet launched and frontmost, both permissions granted,
// and an engine (not started) wired to recorders that write into one timeline. Reports and console
// lines also go to `alsoReportTo` and `alsoPrintTo` when given (they must outlive the harness).
class EngineHarness {
public:
    explicit EngineHarness(bool withSpreadsheet = true, CrashReporting* alsoReportTo = nullptr,
                           Console* alsoPrintTo = nullptr);
    ~EngineHarness();

    ShortcutEngine& engine() { return *m_engine; }
    void releaseEngine() { m_engine.reset(); }
    void startEngine();  // start() and let isActive settle

    // Types a key the way the hardware would, through the session's taps. True when it reached the app.
    bool down(quint16 code, quint64 flags = 0) { return session.keyDown(code, flags); }
    bool repeat(quint16 code, quint64 flags = 0) { return session.keyDown(code, flags, true); }
    bool up(quint16 code, quint64 flags = 0) { return session.keyUp(code, flags); }
    bool flags(quint64 flags) { return session.flagsChanged(flags); }
    // ⌥ down, each key down and up with ⌥ held, ⌥ up; then `settle` seconds of virtual time.
    void typeAltSequence(const QList<quint16>& keys, double settle = 3.0);
    void advance(double seconds) { scheduler.advance(seconds); }
    // The system turns the engine's tap off, `unseen` happens meanwhile, then the notice comes.
    void whileTapDisabledBySystem(const std::function<void()>& unseen);
    // The engine is stopped, `unseen` happens meanwhile, then it is started again.
    void whilePaused(const std::function<void()>& unseen);

    QStringList messages() const { return timeline.of({QStringLiteral("message")}, false); }
    QStringList console() const { return timeline.of({QStringLiteral("console")}, false); }
    QStringList crumbs() const { return timeline.of({QStringLiteral("crumb")}, false); }
    QStringList posts() const { return timeline.of({QStringLiteral("post")}, false); }
    // Waits for `count` analytics requests and sums each up, sorted (they may arrive in any order):
    // "shortcut_triggered sequence=4,11,0", "shortcut_used shortcut_name=All Borders total_uses=1".
    QStringList analyticsEvents(int count);

    // Types a scenario on virtual time, one event per line: "<time> <down|repeat|up|flags> <chord> <pass|swallow>",
    // e.g. "0.10 down ⌥H swallow", "0.40 flags - pass" ("-" for no modifier, "⇪" for Caps Lock), "repeat"
    // for an auto-repeated key down; "#" starts a comment.
    // Gives the expected and the actual decisions in the same form, for EXPECT_EQ to show the diff.
    ScenarioResult runScenario(const QString& script);

    ManualScheduler scheduler;
    Timeline timeline{scheduler};
    SimSession session;
    std::shared_ptr<SimSpreadsheet> excel;
    UserDefaults defaults;
    AppSettings settings{defaults};
    HttpTestServer analyticsServer;
    PostHogService analytics;
    SimUpdater updater;

private:
    class TimedConsole;
    class TimedCrashReporter;
    class TimedEvents;
    class TimedAccessibility;
    std::unique_ptr<TimedConsole> m_console;
    std::unique_ptr<TimedCrashReporter> m_crash;
    std::unique_ptr<TimedEvents> m_events;
    std::unique_ptr<TimedAccessibility> m_accessibility;

public:
    SentryBridge sentry;
    UsageStore usage;
    UpdaterService updaterService;

private:
    std::unique_ptr<ShortcutEngine> m_engine;
};

// Key codes used by the tests.
namespace Keys {
inline constexpr quint16 A = 0, S = 1, D = 2, F = 3, H = 4, G = 5, X = 7, C = 8, V = 9, B = 11, Q = 12, W = 13, E = 14,
                         R = 15, T = 17, One = 18, Equal = 24, Minus = 27, O = 31, U = 32, I = 34, P = 35, Return = 36,
                         L = 37, J = 38, N = 45, M = 46, Space = 49, Escape = 53, F7 = 98, F9 = 101, PageUp = 116,
                         PageDown = 121, Left = 123, Right = 124;
}
inline constexpr quint64 kOpt = EventFlags::Option;
inline constexpr quint64 kCmd = EventFlags::Command;
inline constexpr quint64 kCtrl = EventFlags::Control;
inline constexpr quint64 kShift = EventFlags::Shift;
