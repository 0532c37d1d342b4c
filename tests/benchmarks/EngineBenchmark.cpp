// How long the engine's tap takes to decide a key down, next to a tap that only passes events
// through. Each measured batch is four key downs; whatever comes before and after them (the Option
// press, the key ups) is not timed.
//
// - pass_through: the least a tap does (read the key code and flags, hand the event back);
// - idle_other_app: text typed in another application while no sequence runs, nearly every key of
//   the session;
// - in_sequence: keys typed into a running sequence in Excel (H, O, C: prefixes; X: breaks it);
// - in_sequence_core: the same on the virtual-time scheduler, leaving mostly the engine's own work.
// The engine is wired as the application wires it: the Qt scheduler (a one-shot timer re-armed per
// accepted key) and breadcrumbs kept with a time stamp, as the envelope reporter keeps them. The
// console discards its lines (the real one writes each to standard output).

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEvent>
#include <chrono>
#include <cstdio>
#include <deque>
#include <map>

#include "engine/ShortcutEngine.h"
#include "models/AppSettings.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/CrashReporting.h"
#include "platform/UserDefaults.h"
#include "platform/qt/QtScheduler.h"
#include "platform/sim/ManualScheduler.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimUpdater.h"
#include "services/PostHogService.h"
#include "services/SentryBridge.h"
#include "services/UpdaterService.h"
#include "services/UsageStore.h"

struct ShortcutEngineProbe {
    static EventTapCallback callback() { return &ShortcutEngine::tapCallback; }
};

namespace {

class DiscardingConsole final : public Console {
public:
    void print(const QString&) override {}
};

// Where the keys go and which scheduler the engine runs on.
enum class Setup { Product, OtherApp, Core };

// Keeps the last hundred breadcrumbs with their time, as the envelope reporter does; sends nothing.
class BoundedCrashReporter final : public CrashReporting {
public:
    explicit BoundedCrashReporter(Clock& clock) : m_clock(clock) {}
    void start(const CrashReportingOptions&) override {}
    std::optional<QString> captureMessage(const QString&) override {
        ++m_messages;
        return QStringLiteral("0123456789abcdef0123456789abcdef");
    }
    void addBreadcrumb(const Breadcrumb& breadcrumb) override {
        m_breadcrumbs.push_back({breadcrumb, m_clock.now()});
        if (m_breadcrumbs.size() > 100) {
            m_breadcrumbs.pop_front();
        }
    }

private:
    Clock& m_clock;
    std::deque<std::pair<Breadcrumb, QDateTime>> m_breadcrumbs;
    int m_messages = 0;
};

// One simulated session with Excel frontmost and an engine wired as the application wires it.
struct World {
    explicit World(Setup setup)
        : scheduler(setup == Setup::Core ? static_cast<Scheduler&>(manualScheduler) : qtScheduler),
          crash(clock),
          sentry(crash),
          analytics(QUrl(QStringLiteral("about:blank"))),  // never sends
          usage(defaults, clock, analytics),
          updaterService(updater, defaults, scheduler, console),
          engine(settings,
                 ShortcutEngineDependencies{scheduler, console, session.workspace(), session.accessibility(),
                                            session.events(), crash, sentry, analytics, usage, updaterService}) {
        session.setAccessibilityTrusted(true);
        session.setInputMonitoringGranted(true);
        session.launch(excel, true);
        if (setup == Setup::OtherApp) {
            session.launch(browser, true);
        }
    }

    // Runs the deferred reports and frees the stopped timers, outside the measured time.
    void drain() {
        QCoreApplication::processEvents();
        manualScheduler.advance(10.0);  // also drops the stopped timers
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        excel->clearReceivedEvents();
        browser->clearReceivedEvents();
    }

    QtScheduler qtScheduler;
    ManualScheduler manualScheduler;
    Scheduler& scheduler;
    SystemClock clock;
    DiscardingConsole console;
    SimSession session;
    std::shared_ptr<SimApplication> excel =
        std::make_shared<SimApplication>(QStringLiteral("com.microsoft.Excel"), QStringLiteral("Microsoft Excel"));
    std::shared_ptr<SimApplication> browser =
        std::make_shared<SimApplication>(QStringLiteral("com.example.browser"), QStringLiteral("Browser"));
    UserDefaults defaults;
    AppSettings settings{defaults};
    BoundedCrashReporter crash;
    SentryBridge sentry;
    PostHogService analytics;
    UsageStore usage;
    SimUpdater updater;
    UpdaterService updaterService;
    ShortcutEngine engine;
};

// The least a tap does: read what it decides on, hand the event back.
KeyboardEvent* passThrough(EventType, KeyboardEvent* event, void*) {
    benchmark::DoNotOptimize(event->integerValueField(EventField::KeyboardEventKeycode));
    benchmark::DoNotOptimize(event->flags());
    return event;
}

constexpr quint16 kKeys[] = {4, 31, 8, 7};  // H, O, C continue the sequence; X breaks it
constexpr int kKeysPerBatch = 4;
constexpr quint64 kOption = EventFlags::Option;
constexpr quint16 kOptionKey = 58;

using Clock = std::chrono::steady_clock;

void setBatchTime(benchmark::State& state, Clock::time_point start, Clock::time_point end) {
    // One iteration stands for one key down: the batch's time divided by its keys.
    state.SetIterationTime(std::chrono::duration<double>(end - start).count() / kKeysPerBatch);
}

// The tap callback called directly, as the event services call it.
void BM_TapCallback(benchmark::State& state, bool withEngine, Setup setup) {
    World world(setup);
    const EventTapCallback callback = withEngine ? ShortcutEngineProbe::callback() : &passThrough;
    void* userInfo = withEngine ? &world.engine : nullptr;
    // Text in another application: plain and shifted letters, no Option press.
    const bool typing = setup == Setup::OtherApp;
    KeyboardEvent option(EventType::FlagsChanged, kOptionKey, kOption);
    KeyboardEvent release(EventType::FlagsChanged, kOptionKey, 0);
    KeyboardEvent downs[kKeysPerBatch];
    KeyboardEvent ups[kKeysPerBatch];
    for (int i = 0; i < kKeysPerBatch; ++i) {
        const quint64 flags = typing ? (i == 2 ? EventFlags::Shift : 0) : kOption;
        downs[i] = KeyboardEvent(EventType::KeyDown, kKeys[i], flags);
        ups[i] = KeyboardEvent(EventType::KeyUp, kKeys[i], flags);
    }
    quint64 n = 0;
    for (auto _ : state) {
        if (!typing) {
            callback(EventType::FlagsChanged, &option, userInfo);
        }
        const auto start = Clock::now();
        for (KeyboardEvent& down : downs) {
            benchmark::DoNotOptimize(callback(EventType::KeyDown, &down, userInfo));
        }
        const auto end = Clock::now();
        setBatchTime(state, start, end);
        for (KeyboardEvent& up : ups) {
            callback(EventType::KeyUp, &up, userInfo);
        }
        if (!typing) {
            callback(EventType::FlagsChanged, &release, userInfo);
        }
        if (++n % 64 == 0) {
            world.drain();
        }
    }
}

// The same keys typed into the simulated session, through its event stream and the installed tap.
void BM_SessionTap(benchmark::State& state, bool withEngine) {
    World world(Setup::Product);
    EventTap passThroughTap;
    if (withEngine) {
        world.engine.start();
    } else {
        EventServices& events = world.session.events();
        passThroughTap = events.tapCreate(EventTapLocation::Session, EventTapPlacement::HeadInsert,
                                          EventTapOptions::Default, 0x1C00, &passThrough, nullptr);
        events.addRunLoopSource(events.createRunLoopSource(passThroughTap));
        events.tapEnable(passThroughTap, true);
    }
    world.drain();
    quint64 n = 0;
    for (auto _ : state) {
        world.session.flagsChanged(kOption);
        const auto start = Clock::now();
        for (const quint16 key : kKeys) {
            benchmark::DoNotOptimize(world.session.keyDown(key, kOption));
        }
        const auto end = Clock::now();
        setBatchTime(state, start, end);
        for (const quint16 key : kKeys) {
            world.session.keyUp(key, kOption);
        }
        world.session.flagsChanged(0);
        if (++n % 64 == 0) {
            world.drain();
        }
    }
}

// A fixed number of iterations per repetition, about a quarter of a second of work each. Running to a
// minimum of timed work would take minutes: the untimed part of an iteration (key ups, flags changes,
// draining) costs 5 to 20 times the timed part.
#define KEYLOOM_BENCH(iterations, ...) \
    BENCHMARK_CAPTURE(__VA_ARGS__)->UseManualTime()->Iterations(iterations)->Repetitions(10)->ReportAggregatesOnly(true)
KEYLOOM_BENCH(2'000'000, BM_TapCallback, pass_through, false, Setup::Product);
KEYLOOM_BENCH(2'000'000, BM_TapCallback, idle_other_app, true, Setup::OtherApp);
KEYLOOM_BENCH(100'000, BM_TapCallback, in_sequence, true, Setup::Product);
KEYLOOM_BENCH(100'000, BM_TapCallback, in_sequence_core, true, Setup::Core);
KEYLOOM_BENCH(500'000, BM_SessionTap, pass_through, false);
KEYLOOM_BENCH(100'000, BM_SessionTap, in_sequence, true);

// Prints the usual table, then the medians side by side.
class SummaryReporter final : public benchmark::ConsoleReporter {
public:
    SummaryReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                const std::string& args = run.run_name.args;
                m_medians[run.run_name.function_name + (args.empty() ? "" : "/" + args)] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printSummary() const {
        const auto find = [&](const std::string& name) {
            const auto it = m_medians.find(name);
            return it == m_medians.end() ? 0.0 : it->second;
        };
        std::printf("\nMedian per key down (ns), through the tap callback:\n");
        const double pass = find("BM_TapCallback/pass_through");
        const double idle = find("BM_TapCallback/idle_other_app");
        const double sequence = find("BM_TapCallback/in_sequence");
        const double core = find("BM_TapCallback/in_sequence_core");
        std::printf("  (a) idle, another application  %8.1f\n", idle);
        std::printf("  (b) inside a sequence in Excel %8.1f   (virtual-time scheduler: %.1f)\n", sequence, core);
        std::printf("  (c) pass-through               %8.1f\n", pass);
        if (pass > 0) {
            std::printf("ratio (a)/(c) %6.2f   target <= 2\n", idle / pass);
            std::printf("ratio (b)/(c) %6.2f   (b) target <= 500 ns\n", sequence / pass);
        }
        const double sessionPass = find("BM_SessionTap/pass_through");
        const double sessionSequence = find("BM_SessionTap/in_sequence");
        if (sessionPass > 0) {
            std::printf(
                "Through the simulated session's event stream: in a sequence %.1f, pass-through %.1f, "
                "ratio %.1f\n",
                sessionSequence, sessionPass, sessionSequence / sessionPass);
        }
    }

private:
    std::map<std::string, double> m_medians;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printSummary();
    benchmark::Shutdown();
    return 0;
}
