#include "engine/EngineHarness.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "platform/sim/SimKeyNames.h"

namespace {

QString stamp(double t) {
    return QString::number(t, 'f', 2);
}

// Parses "⌃⇧=" / "⌥H" / "⌥" / "⌥⇪" / "-" into flags and (for key events) a key code.
bool parseChord(const QString& chord, quint64& flags, std::optional<quint16>& code) {
    flags = 0;
    code.reset();
    if (chord == u"-") {
        return true;
    }
    qsizetype i = 0;
    for (; i < chord.size(); ++i) {
        const QChar c = chord[i];
        if (c == QChar(0x2303)) {
            flags |= EventFlags::Control;
        } else if (c == QChar(0x2325)) {
            flags |= EventFlags::Option;
        } else if (c == QChar(0x21E7)) {
            flags |= EventFlags::Shift;
        } else if (c == QChar(0x2318)) {
            flags |= EventFlags::Command;
        } else if (c == QChar(0x21EA)) {
            flags |= EventFlags::AlphaShift;
        } else {
            break;
        }
    }
    const QString name = chord.mid(i);
    if (name.isEmpty()) {
        return true;
    }
    for (quint16 k = 0; k < 128; ++k) {
        if (SimKeyNames::keyName(k) == name) {
            code = k;
            return true;
        }
    }
    return false;
}

QString chordText(quint64 flags, std::optional<quint16> code) {
    const QString capsLock = (flags & EventFlags::AlphaShift) ? QStringLiteral("⇪") : QString();
    if (!code) {
        return flags == 0 ? QStringLiteral("-") : capsLock + SimKeyNames::chord(0, flags).chopped(1);
    }
    return capsLock + SimKeyNames::chord(*code, flags);
}

}  // namespace

// --- Timeline ---

void Timeline::add(const QString& kind, const QString& text) {
    m_entries.append(Entry{m_clock.elapsed(), kind, text});
}

QStringList Timeline::of(const QStringList& kinds, bool withTimes) const {
    QStringList lines;
    for (const Entry& e : m_entries) {
        if (kinds.contains(e.kind)) {
            lines.append(withTimes ? stamp(e.time) + u' ' + e.kind + u' ' + e.text : e.text);
        }
    }
    return lines;
}

// --- Recorders ---

class EngineHarness::TimedConsole final : public Console {
public:
    TimedConsole(Timeline& timeline, Console* inner) : m_timeline(timeline), m_inner(inner) {}
    void print(const QString& line) override {
        m_timeline.add(QStringLiteral("console"), line);
        if (m_inner) {
            m_inner->print(line);
        }
    }

private:
    Timeline& m_timeline;
    Console* m_inner;
};

class EngineHarness::TimedCrashReporter final : public CrashReporting {
public:
    TimedCrashReporter(Timeline& timeline, CrashReporting* inner) : m_timeline(timeline), m_inner(inner) {}
    void start(const CrashReportingOptions&) override {}
    std::optional<QString> captureMessage(const QString& message) override {
        m_timeline.add(QStringLiteral("message"), message);
        if (m_inner) {
            m_inner->captureMessage(message);
        }
        return QStringLiteral("0123456789abcdef0123456789abcdef");
    }
    void addBreadcrumb(const Breadcrumb& breadcrumb) override {
        EXPECT_EQ(breadcrumb.level, CrashReportingLevel::Info);
        EXPECT_EQ(breadcrumb.category, QStringLiteral("shortcut_engine"));
        EXPECT_EQ(breadcrumb.type, QStringLiteral("debug"));
        m_timeline.add(QStringLiteral("crumb"), breadcrumb.message);
        if (m_inner) {
            m_inner->addBreadcrumb(breadcrumb);
        }
    }

private:
    Timeline& m_timeline;
    CrashReporting* m_inner;
};

// Forwards to the session's event services and notes every post: "⌘E" for a down followed by its
// up, "⌘E down" / "⌘E up" for a lone half, " to pid" for posts straight to a process.
class EngineHarness::TimedEvents final : public EventServices {
public:
    TimedEvents(EventServices& inner, Timeline& timeline) : m_inner(inner), m_timeline(timeline) {}

    bool preflightListenEventAccess() const override { return m_inner.preflightListenEventAccess(); }
    EventTap tapCreate(EventTapLocation location, EventTapPlacement placement, EventTapOptions options, quint64 mask,
                       EventTapCallback callback, void* userInfo) override {
        EXPECT_EQ(location, EventTapLocation::Session);
        EXPECT_EQ(placement, EventTapPlacement::HeadInsert);
        EXPECT_EQ(options, EventTapOptions::Default);
        EXPECT_EQ(mask, quint64{0x1C00});
        return m_inner.tapCreate(location, placement, options, mask, callback, userInfo);
    }
    void tapEnable(const EventTap& tap, bool enable) override { m_inner.tapEnable(tap, enable); }
    bool tapIsEnabled(const EventTap& tap) const override { return m_inner.tapIsEnabled(tap); }
    RunLoopSource createRunLoopSource(const EventTap& tap) override { return m_inner.createRunLoopSource(tap); }
    void addRunLoopSource(const RunLoopSource& source) override { m_inner.addRunLoopSource(source); }
    void removeRunLoopSource(const RunLoopSource& source) override { m_inner.removeRunLoopSource(source); }
    EventSource createEventSource(EventSourceStateID state) override {
        EXPECT_EQ(state, EventSourceStateID::HIDSystem);
        return m_inner.createEventSource(state);
    }
    KeyboardEventRef createKeyboardEvent(const EventSource& source, quint16 keyCode, bool keyDown) override {
        return m_inner.createKeyboardEvent(source, keyCode, keyDown);
    }
    void post(EventTapLocation location, const KeyboardEventRef& event) override {
        EXPECT_EQ(location, EventTapLocation::AnnotatedSession);
        note(*event, QString());
        m_inner.post(location, event);
    }
    void postToPid(qint32 pid, const KeyboardEventRef& event) override {
        note(*event, QStringLiteral(" to pid"));
        m_inner.postToPid(pid, event);
    }

private:
    void note(const KeyboardEvent& event, const QString& suffix) {
        constexpr quint64 modifiers = kOpt | kCmd | kCtrl | kShift;
        QString text = SimKeyNames::chord(event.keyCode(), event.flags());
        if (event.flags() & ~modifiers) {
            text += QStringLiteral(" flags=0x") + QString::number(event.flags(), 16);
        }
        text += suffix;
        const bool down = event.type() == EventType::KeyDown;
        if (!down && m_pendingDown == text) {
            m_pendingDown.clear();  // the press was already noted whole
            return;
        }
        m_pendingDown = down ? text : QString();
        m_timeline.add(QStringLiteral("post"), down ? text : text + QStringLiteral(" up"));
    }

    EventServices& m_inner;
    Timeline& m_timeline;
    QString m_pendingDown;
};

class EngineHarness::TimedAccessibility final : public Accessibility {
public:
    TimedAccessibility(Accessibility& inner, Timeline& timeline) : m_inner(inner), m_timeline(timeline) {}
    bool isProcessTrusted() const override { return m_inner.isProcessTrusted(); }
    bool isProcessTrustedWithOptions(bool prompt) override { return m_inner.isProcessTrustedWithOptions(prompt); }
    AXElement createApplication(qint32 pid) const override { return m_inner.createApplication(pid); }
    AXResult copyAttributeValue(const AXElement& element, const QString& attribute) const override {
        return m_inner.copyAttributeValue(element, attribute);
    }
    AXError performAction(const AXElement& element, const QString& action) override {
        EXPECT_EQ(action, QStringLiteral("AXPress"));
        const auto text = [&](const QString& attribute) {
            const AXResult r = m_inner.copyAttributeValue(element, attribute);
            return r.ok() && r.value.kind == AXValue::Kind::String ? r.value.string : QString();
        };
        QString name = text(QStringLiteral("AXTitle"));
        if (name.isEmpty()) {
            name = text(QStringLiteral("AXDescription"));
        }
        m_timeline.add(QStringLiteral("press"), QStringLiteral("'") + name + QStringLiteral("'"));
        return m_inner.performAction(element, action);
    }

private:
    Accessibility& m_inner;
    Timeline& m_timeline;
};

// --- Harness ---

EngineHarness::EngineHarness(bool withSpreadsheet, CrashReporting* alsoReportTo, Console* alsoPrintTo)
    : analytics(analyticsServer.url(QStringLiteral("/capture/"))),
      m_console(std::make_unique<TimedConsole>(timeline, alsoPrintTo)),
      m_crash(std::make_unique<TimedCrashReporter>(timeline, alsoReportTo)),
      m_events(std::make_unique<TimedEvents>(session.events(), timeline)),
      m_accessibility(std::make_unique<TimedAccessibility>(session.accessibility(), timeline)),
      sentry(*m_crash),
      usage(defaults, scheduler, analytics),
      updaterService(updater, defaults, scheduler, *m_console) {
    session.setAccessibilityTrusted(true);
    session.setInputMonitoringGranted(true);
    if (withSpreadsheet) {
        excel = std::make_shared<SimSpreadsheet>();
        session.launch(excel, true);
    }
    m_engine = std::make_unique<ShortcutEngine>(
        settings, ShortcutEngineDependencies{scheduler, *m_console, session.workspace(), *m_accessibility, *m_events,
                                             *m_crash, sentry, analytics, usage, updaterService});
}

EngineHarness::~EngineHarness() = default;

void EngineHarness::startEngine() {
    m_engine->start();
    scheduler.runPending();
    timeline.clear();
}

QStringList EngineHarness::analyticsEvents(int count) {
    EXPECT_TRUE(analyticsServer.waitForRequests(count)) << "analytics requests: " << analyticsServer.requestCount();
    QStringList events;
    for (const RecordedRequest& request : analyticsServer.requests()) {
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        QString line = body.value(QStringLiteral("event")).toString();
        const QJsonObject properties = body.value(QStringLiteral("properties")).toObject();
        for (const QString& key : properties.keys()) {
            if (key != u"app_name" && key != u"platform") {
                line += u' ' + key + u'=' + properties.value(key).toVariant().toString();
            }
        }
        events.append(line);
    }
    events.sort();
    return events;
}

void EngineHarness::whileTapDisabledBySystem(const std::function<void()>& unseen) {
    const EventTap tap = session.simEvents().taps().value(0);
    ASSERT_TRUE(tap);
    session.simEvents().tapEnable(tap, false);
    unseen();
    session.disableTapBySystem(tap, EventType::TapDisabledByTimeout);
}

void EngineHarness::whilePaused(const std::function<void()>& unseen) {
    m_engine->stop();
    unseen();
    m_engine->start();
    scheduler.runPending();
}

void EngineHarness::typeAltSequence(const QList<quint16>& keys, double settle) {
    flags(kOpt);
    for (const quint16 key : keys) {
        down(key, kOpt);
        up(key, kOpt);
    }
    flags(0);
    scheduler.advance(settle);
}

ScenarioResult EngineHarness::runScenario(const QString& script) {
    QStringList expected;
    QStringList actual;
    for (const QString& raw : script.split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        const QStringList parts = line.split(QRegularExpression(QStringLiteral("\\s+")));
        quint64 flagBits = 0;
        std::optional<quint16> code;
        bool timeOk = false;
        const double at = parts.value(0).toDouble(&timeOk);
        static const QStringList kinds{QStringLiteral("down"), QStringLiteral("repeat"), QStringLiteral("up"),
                                       QStringLiteral("flags")};
        if (parts.size() != 4 || !timeOk || !kinds.contains(parts[1]) || !parseChord(parts[2], flagBits, code) ||
            (parts[1] != u"flags" && !code)) {
            ADD_FAILURE() << "bad scenario line: " << line.toStdString();
            continue;
        }
        if (at < scheduler.elapsed() - 1e-9) {
            ADD_FAILURE() << "scenario times must not go back: " << line.toStdString();
        }
        scheduler.advance(std::max(0.0, at - scheduler.elapsed()));
        bool passed = false;
        if (parts[1] == u"down") {
            passed = down(*code, flagBits);
        } else if (parts[1] == u"repeat") {
            passed = repeat(*code, flagBits);
        } else if (parts[1] == u"up") {
            passed = up(*code, flagBits);
        } else {
            passed = flags(flagBits);
        }
        const QString event = stamp(at) + u' ' + parts[1] + u' ' + chordText(flagBits, code) + u' ';
        expected.append(event + parts[3]);
        actual.append(event + (passed ? QStringLiteral("pass") : QStringLiteral("swallow")));
    }
    return {expected.join(u'\n').toStdString(), actual.join(u'\n').toStdString()};
}
