#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Accessibility.h"
#include "platform/CrashReporting.h"
#include "platform/EventServices.h"

class AppSettings;
class Scheduler;
class Timer;
class Console;
class Workspace;
class Accessibility;
class EventServices;
class CrashReporting;
class SentryBridge;
class PostHogService;
class UsageStore;
class UpdaterService;
struct ShortcutEngineProbe;

// Everything the engine talks to. All of them must outlive the engine.
struct ShortcutEngineDependencies {
    Scheduler& scheduler;
    Console& console;
    Workspace& workspace;
    Accessibility& accessibility;
    EventServices& events;
    CrashReporting& crashReporting;
    SentryBridge& sentry;
    PostHogService& analytics;
    UsageStore& usage;
    UpdaterService& updater;
};

// The keyboard engine: one session event tap that decides for every key event whether it passes or
// is swallowed, the Windows Alt key-tip sequences and Ctrl chords while Excel is frontmost, and the
// actions that carry out the matched commands (key injection and accessibility presses).
//
// Main thread only. The tap callback decides synchronously from a few set and map look-ups; reports,
// the match step and the actions run on later turns of the main queue and hold the engine weakly.
class ShortcutEngine : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)

public:
    using Action = std::function<void()>;

    // Builds the sequence table; installs no tap.
    ShortcutEngine(AppSettings& settings, const ShortcutEngineDependencies& dependencies, QObject* parent = nullptr);
    // Removes a tap that is still installed: its callback must never see a dead engine.
    ~ShortcutEngine() override;

    bool isActive() const { return m_isActive; }

    void start();
    void stop();

    // Posts one key press to the session. While Excel is not frontmost nothing is posted, the rest of
    // the running action is dropped and false is returned: the caller's action ends there.
    bool injectKey(quint16 code, quint64 flags);
    void axMenu(const QStringList& path, Action fallback = {});
    void axRibbonButton(const QString& title, Action fallback = {});

    static constexpr const char* kExcelBundleIdentifier = "com.microsoft.Excel";

signals:
    void isActiveChanged(bool isActive);

private:
    friend struct ShortcutEngineProbe;

    enum class EngineState { idle, inAltSequence };

    void setIsActive(bool value);

    // Tap and state machine.
    static KeyboardEvent* tapCallback(EventType type, KeyboardEvent* event, void* userInfo);
    KeyboardEvent* handle(EventType type, KeyboardEvent* event);
    KeyboardEvent* handleKeyDown(qint64 keyCode, KeyboardEvent* event);
    KeyboardEvent* handleFlagsChanged(qint64 keyCode, KeyboardEvent* event);
    // For a new tap or one the system had disabled.
    void forgetModifierFlags();
    // The key of that code is up (or its release went unseen): its repeats rewrite nothing.
    void forgetRewrittenChord(qint64 keyCode);
    // The diagnostic report and breadcrumb of a key down the engine acts on.
    void traceKeyDown(qint64 keyCode, quint64 flags, EngineState state);
    // The first key downs are reported; the key code only of keys the engine acts on.
    void reportDiagnosticKeyDown(std::optional<qint64> keyCode);
    void runMatchStep(const QString& sequence, const QString& name, const Action& action);
    // Runs a later step of the current action; skipped once a key of that action was held back.
    void postStep(double seconds, Action step);
    bool isFrontmostExcel() const;
    void armTimer();
    void resetSeq();
    void retryStartLater();
    // Runs `work` on a later turn of the main queue; for the tap callback's own reports and match step.
    void deferFromTap(Action work);
    // Sends a crash-reporting message on a later turn.
    void postMessage(QString message);
    void sendMessage(const QString& message);
    void addBreadcrumb(const QString& message, CrashReportingLevel level);
    // The same with the console line ("[Engine] " + message) already made.
    void addBreadcrumb(const QString& message, const QString& consoleLine, CrashReportingLevel level);

    // Sequence table.
    void buildSequenceTable();
    void add(const QList<qint64>& keys, const QString& name, Action action);
    static QString sequenceKey(const QList<qint64>& keys);
    // The decimal text of a key code; the codes of real keys come from a table built once.
    static QString keyCodeText(qint64 code);
    // Appends a key code to a packed sequence (16 bits a code, four codes at most); kUnpackable when
    // the code or the length does not fit, which no entry of the table can match.
    static quint64 packAppend(quint64 packed, qint64 code);
    static constexpr quint64 kUnpackable = ~quint64{0};

    // Key injection.
    void pasteSpecialDialog(qint64 optionKey);
    void injectToPid(quint16 code, quint64 flags);
    void logOnly(const QString& text);

    // Accessibility runners.
    using ElementPredicate = std::function<bool(const AXElement&)>;
    void axNavigateStep(const AXElement& element, const QStringList& path, Action fallback);
    AXElement axGetMenuBar() const;
    QList<AXElement> axChildren(const AXElement& element) const;
    std::optional<QString> axTitle(const AXElement& element) const;
    std::optional<QString> axRole(const AXElement& element) const;
    std::optional<QString> axDescription(const AXElement& element) const;
    void axDumpTree(const AXElement& element, int depth);
    std::optional<QString> axText(const AXElement& element) const;
    void applyFormatCellsBorder(const QStringList& presets);
    void axRibbonMenuButton(const QString& title, const QStringList& itemTitles, Action fallback);
    AXElement axMainExcelWindow() const;
    AXElement axFocusedExcelWindow() const;
    AXElement findElement(const AXElement& start, int maxDepth, const ElementPredicate& matching) const;
    AXElement excelApplicationAttribute(const QString& attribute) const;
    std::optional<QString> axString(const AXElement& element, const QString& attribute) const;
    QList<AXElement> menuEntries(const AXElement& element) const;
    void press(const AXElement& element);

    bool m_isActive = false;
    AppSettings& m_settings;
    ShortcutEngineDependencies m_deps;
    EventTap m_eventTap;
    RunLoopSource m_runLoopSource;
    EngineState m_engineState = EngineState::idle;
    QList<qint64> m_currentKeys;
    quint64 m_currentPacked = 0;  // m_currentKeys packed, for the tap's look-ups
    std::shared_ptr<Timer> m_seqTimer;
    quint64 m_modifierFlags = 0;  // of the last flags change: with Option down, the other Option key is no press
    QSet<qint64> m_suppressedKeyCodes;
    quint32 m_rewrittenChords = 0;  // bit i: the held key's press was rewritten as Ctrl chord i
    QHash<QString, Action> m_sequences;
    QHash<QString, QString> m_sequenceNames;
    QSet<QString> m_prefixSet;
    // The same table keyed by packed sequences: hashing strings costs too much inside the tap.
    struct PackedEntry {
        QString sequence;
        QString name;
        Action action;
    };
    QHash<quint64, PackedEntry> m_packedSequences;
    QSet<quint64> m_packedPrefixes;
    // One run of a table action, shared by its delayed steps and fallbacks.
    struct ActionRun {
        bool dropped = false;
    };
    std::shared_ptr<ActionRun> m_actionRun;
    int m_diagnosticKeyCount = 0;
    static constexpr int kDiagnosticLimit = 5;
};
