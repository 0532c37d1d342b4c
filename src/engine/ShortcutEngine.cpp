#include "engine/ShortcutEngine.h"

#include <QPointer>
#include <QVariantMap>
#include <algorithm>
#include <iterator>
#include <utility>

#include "models/AppSettings.h"
#include "platform/Accessibility.h"
#include "platform/Console.h"
#include "platform/Scheduler.h"
#include "platform/Workspace.h"
#include "services/PostHogService.h"
#include "services/SentryBridge.h"
#include "services/UpdaterService.h"
#include "services/UsageStore.h"

using namespace Qt::StringLiterals;

namespace {

constexpr quint64 kEventMask = 0x1C00;  // key down, key up, flags changed
constexpr double kSequenceTimeout = 2.0;
constexpr double kPermissionRetryDelay = 5.0;
// The key codes that flags-changed events carry for the two Option keys.
constexpr qint64 kLeftOptionKey = 58;
constexpr qint64 kRightOptionKey = 61;

// A Ctrl chord in Excel and the Mac keys it stands for.
struct CtrlChord {
    qint64 pressed;
    bool shift;
    quint16 code;
    quint64 flags;
    bool toExcelProcess;
};

constexpr CtrlChord kCtrlChords[] = {
    {2, false, 2, EventFlags::Command, false},                           // ⌃D fill down
    {15, false, 15, EventFlags::Command, false},                         // ⌃R fill right
    {27, false, 27, EventFlags::Control, false},                         // ⌃- delete
    {116, false, 123, EventFlags::Command | EventFlags::Option, false},  // ⌃PgUp previous sheet
    {121, false, 124, EventFlags::Command | EventFlags::Option, false},  // ⌃PgDn next sheet
    {49, false, 49, EventFlags::Control, true},                          // ⌃Space select column
    {24, true, 24, EventFlags::Control | EventFlags::Shift, false},      // ⌃⇧= insert
    {37, true, 3, EventFlags::Command | EventFlags::Shift, false},       // ⌃⇧L filter
};
static_assert(std::size(kCtrlChords) <= 32, "one bit of m_rewrittenChords per chord");

constexpr QStringView kConsolePrefix = u"[Engine] ";

// Builds a short text in place: the key-down breadcrumb comes on every key, and appending piece by
// piece to a QString costs several times more than one copy.
class LineBuffer {
public:
    void add(QStringView text) {
        const qsizetype n = std::min(text.size(), qsizetype(sizeof(m_data) / sizeof(m_data[0])) - m_size);
        std::copy_n(text.utf16(), n, m_data + m_size);
        m_size += n;
    }
    void addBool(bool value) { add(value ? QStringView(u"true") : QStringView(u"false")); }
    QStringView view(qsizetype from = 0) const { return QStringView(m_data + from, m_size - from); }

private:
    char16_t m_data[160];
    qsizetype m_size = 0;
};

}  // namespace

ShortcutEngine::ShortcutEngine(AppSettings& settings, const ShortcutEngineDependencies& dependencies, QObject* parent)
    : QObject(parent), m_settings(settings), m_deps(dependencies) {
    buildSequenceTable();
}

ShortcutEngine::~ShortcutEngine() {
    if (m_seqTimer) {
        m_seqTimer->invalidate();
    }
    if (m_eventTap) {
        m_deps.events.tapEnable(m_eventTap, false);
        if (m_runLoopSource) {
            m_deps.events.removeRunLoopSource(m_runLoopSource);
        }
    }
}

void ShortcutEngine::setIsActive(bool value) {
    if (m_isActive == value) {
        return;
    }
    m_isActive = value;
    emit isActiveChanged(value);
}

void ShortcutEngine::start() {
    if (m_settings.isPaused()) {
        return;
    }
    if (m_eventTap) {
        return;
    }
    if (!m_deps.accessibility.isProcessTrusted()) {
        m_deps.console.print(u"[Engine] Accessibility not granted — retrying in 5s"_s);
        retryStartLater();
        return;
    }
    if (!m_deps.events.preflightListenEventAccess()) {
        m_deps.console.print(u"[Engine] Input Monitoring not granted — retrying in 5s"_s);
        retryStartLater();
        return;
    }
    addBreadcrumb(u"start() — Accessibility ✓  Input Monitoring ✓  creating CGEvent tap"_s, CrashReportingLevel::Info);
    forgetModifierFlags();
    m_eventTap = m_deps.events.tapCreate(EventTapLocation::Session, EventTapPlacement::HeadInsert,
                                         EventTapOptions::Default, kEventMask, &ShortcutEngine::tapCallback, this);
    if (!m_eventTap) {
        m_deps.console.print(u"[Engine] CGEvent tap creation failed"_s);
        sendMessage(u"[ShortcutEngine] start() failed: CGEvent.tapCreate returned nil"_s);
        return;
    }
    m_runLoopSource = m_deps.events.createRunLoopSource(m_eventTap);
    if (m_runLoopSource) {
        m_deps.events.addRunLoopSource(m_runLoopSource);
    }
    m_deps.events.tapEnable(m_eventTap, true);
    m_deps.scheduler.post([self = QPointer<ShortcutEngine>(this)] {
        if (self) {
            self->setIsActive(true);
        }
    });
    m_deps.console.print(u"[Engine] Active — listening for Alt sequences and direct shortcuts in Excel"_s);
    sendMessage(u"[ShortcutEngine] CGEvent tap active — engine running"_s);
}

void ShortcutEngine::retryStartLater() {
    m_deps.scheduler.postAfter(kPermissionRetryDelay, [self = QPointer<ShortcutEngine>(this)] {
        if (self) {
            self->start();
        }
    });
}

void ShortcutEngine::stop() {
    addBreadcrumb(u"stop() called"_s, CrashReportingLevel::Info);
    if (m_eventTap) {
        m_deps.events.tapEnable(m_eventTap, false);
        if (m_runLoopSource) {
            m_deps.events.removeRunLoopSource(m_runLoopSource);
        }
    }
    m_eventTap.reset();
    m_runLoopSource.reset();
    resetSeq();
    forgetModifierFlags();
    // Key ups that come while no tap exists are never seen: a code left here would eat a later key up.
    m_suppressedKeyCodes.clear();
    m_rewrittenChords = 0;
    m_deps.scheduler.post([self = QPointer<ShortcutEngine>(this)] {
        if (self) {
            self->setIsActive(false);
        }
    });
    m_deps.console.print(u"[Engine] Stopped"_s);
}

KeyboardEvent* ShortcutEngine::tapCallback(EventType type, KeyboardEvent* event, void* userInfo) {
    if (userInfo == nullptr) {
        return event;
    }
    auto* engine = static_cast<ShortcutEngine*>(userInfo);
    if (type == EventType::TapDisabledByTimeout || type == EventType::TapDisabledByUserInput) {
        if (engine->m_eventTap) {
            engine->m_deps.events.tapEnable(engine->m_eventTap, true);
        }
        engine->forgetModifierFlags();
        const QString cause = type == EventType::TapDisabledByTimeout ? u"timeout"_s : u"userInput"_s;
        engine->postMessage(u"[ShortcutEngine] Tap disabled by macOS ("_s + cause + u") — re-enabled"_s);
        return nullptr;
    }
    return engine->handle(type, event);
}

KeyboardEvent* ShortcutEngine::handle(EventType type, KeyboardEvent* event) {
    if (event == nullptr) {
        return event;
    }
    const qint64 keyCode = event->integerValueField(EventField::KeyboardEventKeycode);
    switch (type) {
        case EventType::KeyDown:
            return handleKeyDown(keyCode, event);
        case EventType::KeyUp:
            // Every swallowed key down has its key up swallowed too, whatever the state is now.
            if (!m_suppressedKeyCodes.remove(keyCode)) {
                return event;
            }
            if (m_rewrittenChords != 0) {
                forgetRewrittenChord(keyCode);
            }
            return nullptr;
        case EventType::FlagsChanged:
            return handleFlagsChanged(keyCode, event);
        default:
            return event;
    }
}

KeyboardEvent* ShortcutEngine::handleFlagsChanged(qint64 keyCode, KeyboardEvent* event) {
    const quint64 flags = event->flags();
    const bool optionWasDown = (m_modifierFlags & EventFlags::Option) != 0;
    m_modifierFlags = flags;
    // Only an Option key going down, and not as part of a ⌘ or ⌃ shortcut. The event names the key that
    // changed: the flags alone cannot tell an Option press from ⇧, ⌘, ⌃ or Caps Lock changing while Option
    // is held, and after a gap in the tap the engine cannot know what is held. Every other change must
    // reach the application, or it sees a key released that it never saw pressed.
    const bool optionKey = keyCode == kLeftOptionKey || keyCode == kRightOptionKey;
    const bool optionPressed = optionKey && (flags & EventFlags::Option) != 0 && !optionWasDown;
    if (optionPressed && (flags & (EventFlags::Command | EventFlags::Control)) == 0 &&
        m_engineState == EngineState::idle && isFrontmostExcel()) {
        m_engineState = EngineState::inAltSequence;
        m_currentKeys.clear();
        m_currentPacked = 0;
        armTimer();
        addBreadcrumb(u"⌥ down → entering Alt sequence mode"_s, CrashReportingLevel::Info);
        return nullptr;
    }
    return event;
}

// Keys the engine lets pass while idle are typed in any application and may be passwords: they leave
// no trace (no breadcrumb, console line or key code). They are also nearly every key of the session,
// so their path reads no clock and, past the first diagnostic reports, formats and allocates nothing.
KeyboardEvent* ShortcutEngine::handleKeyDown(qint64 keyCode, KeyboardEvent* event) {
    const quint64 flags = event->flags();
    const bool repeat = event->integerValueField(EventField::KeyboardEventAutorepeat) != 0;
    if (!repeat) {
        // A new press of a key still marked swallowed: the tap missed its last key up (the system had
        // the tap off). That press decided nothing about this one, its repeats or its key up.
        m_suppressedKeyCodes.remove(keyCode);
        if (m_rewrittenChords != 0) {
            forgetRewrittenChord(keyCode);
        }
    }

    if (m_engineState == EngineState::inAltSequence) {
        // The sequence belongs to Excel, and a key with ⌘ is a Mac shortcut: either ends it, and the
        // key is decided as if no sequence had run.
        if ((flags & EventFlags::Command) != 0 || !isFrontmostExcel()) {
            resetSeq();
        } else if (!repeat) {
            // Other modifiers do not matter here: ⌃H inside a sequence is H.
            traceKeyDown(keyCode, flags, EngineState::inAltSequence);
            m_currentKeys.append(keyCode);
            m_currentPacked = packAppend(m_currentPacked, keyCode);
            const auto found = m_packedSequences.constFind(m_currentPacked);
            if (found != m_packedSequences.constEnd()) {
                m_suppressedKeyCodes.insert(keyCode);
                resetSeq();
                deferFromTap([self = QPointer<ShortcutEngine>(this), entry = found.value()] {
                    if (self) {
                        self->runMatchStep(entry.sequence, entry.name, entry.action);
                    }
                });
                return nullptr;
            }
            if (m_packedPrefixes.contains(m_currentPacked)) {
                m_suppressedKeyCodes.insert(keyCode);
                armTimer();
                return nullptr;
            }
            postMessage(u"[ShortcutEngine] Sequence broken: ["_s + sequenceKey(m_currentKeys) + u']');
            resetSeq();
            return event;
        }
    }

    const bool option = (flags & EventFlags::Option) != 0;
    const bool command = (flags & EventFlags::Command) != 0;
    const bool shift = (flags & EventFlags::Shift) != 0;
    const bool control = (flags & EventFlags::Control) != 0;
    if (m_engineState == EngineState::idle) {
        if (option && !command && !shift && !control && !repeat && isFrontmostExcel()) {
            // Option still held after the sequence state was left, or pressed before Excel came forward.
            const quint64 packed = packAppend(0, keyCode);
            if (m_packedPrefixes.contains(packed)) {
                traceKeyDown(keyCode, flags, EngineState::idle);
                m_engineState = EngineState::inAltSequence;
                m_currentKeys = {keyCode};
                m_currentPacked = packed;
                m_suppressedKeyCodes.insert(keyCode);
                armTimer();
                return nullptr;
            }
        } else if (control && !option && !command && isFrontmostExcel()) {
            for (size_t i = 0; i < std::size(kCtrlChords); ++i) {
                const CtrlChord& chord = kCtrlChords[i];
                const quint32 bit = quint32{1} << i;
                // A held chord repeats its replacement, as the Mac keys would, but only when its press was
                // rewritten as this chord: a key held from a sequence must not fire the chord when ⌃ joins.
                if (chord.pressed == keyCode && chord.shift == shift && (!repeat || (m_rewrittenChords & bit) != 0)) {
                    traceKeyDown(keyCode, flags, EngineState::idle);
                    m_suppressedKeyCodes.insert(keyCode);
                    m_rewrittenChords |= bit;
                    if (chord.toExcelProcess) {
                        injectToPid(chord.code, chord.flags);
                    } else {
                        injectKey(chord.code, chord.flags);
                    }
                    return nullptr;
                }
            }
        }
    }

    if (m_diagnosticKeyCount < kDiagnosticLimit) {
        reportDiagnosticKeyDown(std::nullopt);
    }
    // A held key never moves a sequence; its repeats go where its first press went.
    return repeat && m_suppressedKeyCodes.contains(keyCode) ? nullptr : event;
}

void ShortcutEngine::forgetRewrittenChord(qint64 keyCode) {
    for (size_t i = 0; i < std::size(kCtrlChords); ++i) {
        if (kCtrlChords[i].pressed == keyCode) {
            m_rewrittenChords &= ~(quint32{1} << i);
        }
    }
}

void ShortcutEngine::forgetModifierFlags() {
    // Whatever changed while the tap was off went unseen: an Option release missed here would make the
    // next Option press look like Option still held, and that press would start no sequence.
    m_modifierFlags = 0;
}

void ShortcutEngine::traceKeyDown(qint64 keyCode, quint64 flags, EngineState state) {
    if (m_diagnosticKeyCount < kDiagnosticLimit) {
        reportDiagnosticKeyDown(keyCode);
    }
    LineBuffer line;
    line.add(kConsolePrefix);
    line.add(u"keyDown keyCode=");
    line.add(keyCodeText(keyCode));
    line.add(u" ⌥");
    line.addBool((flags & EventFlags::Option) != 0);
    line.add(u" ⌘");
    line.addBool((flags & EventFlags::Command) != 0);
    line.add(u" ⇧");
    line.addBool((flags & EventFlags::Shift) != 0);
    line.add(u" ⌃");
    line.addBool((flags & EventFlags::Control) != 0);
    line.add(state == EngineState::inAltSequence ? u" state=.inAltSequence" : u" state=.idle");
    addBreadcrumb(line.view(kConsolePrefix.size()).toString(), line.view().toString(), CrashReportingLevel::Info);
}

void ShortcutEngine::reportDiagnosticKeyDown(std::optional<qint64> keyCode) {
    // Shows that the tap sees keys and which application is in front.
    const int n = ++m_diagnosticKeyCount;
    const auto front = m_deps.workspace.frontmostApplication();
    const QString app = front && front->localizedName ? *front->localizedName : u"nil"_s;
    const QString bundle = front && front->bundleIdentifier ? *front->bundleIdentifier : u"nil"_s;
    const QString key = keyCode ? u" keyCode="_s + QString::number(*keyCode) : QString();
    postMessage(u"[ShortcutEngine][diag "_s + QString::number(n) + u'/' + QString::number(kDiagnosticLimit) +
                u"] keyDown"_s + key + u" app='"_s + app + u"' bundle='"_s + bundle + u'\'');
}

void ShortcutEngine::runMatchStep(const QString& sequence, const QString& name, const Action& action) {
    sendMessage(u"[ShortcutEngine] Sequence matched: ["_s + sequence + u']');
    m_deps.analytics.capture(u"shortcut_triggered"_s, QVariantMap{{u"sequence"_s, sequence}});
    if (m_deps.updater.updateRequired()) {
        return;
    }
    if (!name.isEmpty()) {
        m_deps.usage.record(sequence, name);
    }
    if (action) {
        const auto outer = std::exchange(m_actionRun, std::make_shared<ActionRun>());
        const QPointer<ShortcutEngine> self(this);
        action();
        if (self) {
            m_actionRun = outer;
        }
    }
}

void ShortcutEngine::postStep(double seconds, Action step) {
    // A step started outside any action (a runner called directly) begins a run of its own.
    auto run = m_actionRun ? m_actionRun : std::make_shared<ActionRun>();
    m_deps.scheduler.postAfter(seconds,
                               [self = QPointer<ShortcutEngine>(this), run = std::move(run), step = std::move(step)] {
                                   if (run->dropped) {
                                       return;
                                   }
                                   if (!self) {
                                       step();  // a fallback still runs; it holds the engine weakly itself
                                       return;
                                   }
                                   const auto outer = std::exchange(self->m_actionRun, run);
                                   step();
                                   if (self) {
                                       self->m_actionRun = outer;
                                   }
                               });
}

bool ShortcutEngine::isFrontmostExcel() const {
    const auto front = m_deps.workspace.frontmostApplication();
    return front && front->bundleIdentifier && *front->bundleIdentifier == QLatin1String(kExcelBundleIdentifier);
}

void ShortcutEngine::armTimer() {
    if (m_seqTimer) {
        m_seqTimer->invalidate();
    }
    m_seqTimer = m_deps.scheduler.scheduleTimer(kSequenceTimeout, false, [self = QPointer<ShortcutEngine>(this)] {
        if (!self) {
            return;
        }
        self->sendMessage(u"[ShortcutEngine] Sequence timed out at ["_s + sequenceKey(self->m_currentKeys) + u']');
        self->resetSeq();
    });
}

void ShortcutEngine::resetSeq() {
    m_engineState = EngineState::idle;
    m_currentKeys.clear();
    m_currentPacked = 0;
    if (m_seqTimer) {
        m_seqTimer->invalidate();
        m_seqTimer.reset();
    }
}

void ShortcutEngine::sendMessage(const QString& message) {
    m_deps.sentry.captureMessage(message);
}

void ShortcutEngine::deferFromTap(Action work) {
    // A zero-delay timer, not post(): the main loop is running this callback already, and posting wakes
    // it again with a system call, which would cost more than the whole decision.
    m_deps.scheduler.scheduleTimer(0, false, std::move(work));
}

void ShortcutEngine::postMessage(QString message) {
    deferFromTap([self = QPointer<ShortcutEngine>(this), message = std::move(message)] {
        if (self) {
            self->sendMessage(message);
        }
    });
}

void ShortcutEngine::addBreadcrumb(const QString& message, CrashReportingLevel level) {
    addBreadcrumb(message, kConsolePrefix.toString() + message, level);
}

void ShortcutEngine::addBreadcrumb(const QString& message, const QString& consoleLine, CrashReportingLevel level) {
    static const QString category = QStringLiteral("shortcut_engine");
    static const QString type = QStringLiteral("debug");
    m_deps.crashReporting.addBreadcrumb(Breadcrumb{level, category, message, type});
    m_deps.console.print(consoleLine);
}
