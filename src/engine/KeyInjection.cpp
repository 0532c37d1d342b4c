// Synthetic key presses, the paste-special macro and the report for commands without a Mac action.

#include <QPointer>

#include "engine/ShortcutEngine.h"
#include "platform/Console.h"
#include "platform/EventServices.h"
#include "platform/Scheduler.h"
#include "platform/Workspace.h"

using namespace Qt::StringLiterals;

namespace {

constexpr quint16 kReturnKey = 36;
constexpr quint16 kVKey = 9;
constexpr double kPasteOptionDelay = 0.35;
constexpr double kPasteConfirmDelay = 0.15;

}  // namespace

bool ShortcutEngine::injectKey(quint16 code, quint64 flags) {
    if (!isFrontmostExcel()) {
        // The key would land in whatever application is in front now. Said once per action.
        if (!m_actionRun || !m_actionRun->dropped) {
            m_deps.console.print(u"[Engine] Excel is not frontmost — dropped the rest of the action"_s);
        }
        if (m_actionRun) {
            m_actionRun->dropped = true;
        }
        return false;
    }
    EventServices& events = m_deps.events;
    const EventSource source = events.createEventSource(EventSourceStateID::HIDSystem);
    const KeyboardEventRef down = source ? events.createKeyboardEvent(source, code, true) : nullptr;
    const KeyboardEventRef up = source ? events.createKeyboardEvent(source, code, false) : nullptr;
    if (!source || !down || !up) {
        // Never post half a key press.
        sendMessage(u"[ShortcutEngine] injectKey: event creation failed keyCode="_s + QString::number(code));
        return true;
    }
    // The given mask replaces whatever modifiers the user still holds.
    down->setFlags(flags);
    up->setFlags(flags);
    // Posted after the session tap, so the engine never sees its own keys.
    events.post(EventTapLocation::AnnotatedSession, down);
    events.post(EventTapLocation::AnnotatedSession, up);
    return true;
}

void ShortcutEngine::injectToPid(quint16 code, quint64 flags) {
    std::optional<qint32> pid;
    const auto apps = m_deps.workspace.runningApplications();
    for (const RunningApplication& app : apps) {
        if (app.bundleIdentifier && *app.bundleIdentifier == QLatin1String(kExcelBundleIdentifier)) {
            pid = app.processIdentifier;
            break;
        }
    }
    if (!pid) {
        return;
    }
    EventServices& events = m_deps.events;
    const EventSource source = events.createEventSource(EventSourceStateID::HIDSystem);
    if (!source) {
        return;
    }
    for (const bool keyDown : {true, false}) {
        if (const KeyboardEventRef event = events.createKeyboardEvent(source, code, keyDown)) {
            event->setFlags(flags);
            events.postToPid(*pid, event);
        }
    }
}

void ShortcutEngine::pasteSpecialDialog(qint64 optionKey) {
    if (optionKey < 0 || optionKey > 0xFFFF) {
        return;  // not a key code; the table never passes one
    }
    const auto option = static_cast<quint16>(optionKey);
    if (!injectKey(kVKey, EventFlags::Control | EventFlags::Command)) {
        return;
    }
    // The dialog is not awaited: the option and Return follow on fixed delays.
    postStep(kPasteOptionDelay, [self = QPointer<ShortcutEngine>(this), option] {
        if (!self || !self->injectKey(option, 0)) {
            return;
        }
        self->postStep(kPasteConfirmDelay, [self] {
            if (self) {
                self->injectKey(kReturnKey, 0);
            }
        });
    });
}

void ShortcutEngine::logOnly(const QString& text) {
    sendMessage(u"[ShortcutEngine] Triggered '"_s + text + u"' — Mac implementation pending"_s);
    m_deps.console.print(u"[Engine] '"_s + text + u"' triggered (Mac implementation pending)"_s);
}
