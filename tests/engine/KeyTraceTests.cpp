// What leaves the machine about the keys typed: crash reports (through the real envelope reporter),
// console lines and analytics carry the keys the engine acts on, never those it lets pass.

#include <gtest/gtest.h>

#include <QRegularExpression>

#include "engine/EngineHarness.h"
#include "platform/Clock.h"
#include "platform/qt/SentryEnvelopeReporter.h"
#include "platform/sim/RecordingConsole.h"

using namespace Keys;

namespace {

TEST(KeyTraces, KeysTypedInAnotherApplicationLeaveNoTrace) {
    HttpTestServer sentryServer;
    SystemClock clock;
    SentryEnvelopeReporter reporter(QStringLiteral("1.0.0"), clock);
    reporter.start({QStringLiteral("http://0123456789abcdef0123456789abcdef@127.0.0.1:%1/1").arg(sentryServer.port()),
                    false, 1.0});
    RecordingConsole console;
    EngineHarness h(true, &reporter, &console);
    h.startEngine();

    // A password typed into a browser: plain, shifted and Option letters, an Option press, Return.
    auto browser = std::make_shared<SimApplication>(QStringLiteral("com.example.browser"), QStringLiteral("Browser"));
    h.session.launch(browser, true);
    const QList<quint16> typed{T, 16, 26, P, 6, Return};
    for (const quint16 key : typed) {
        h.session.press(key, key == P ? kShift : 0);
    }
    h.flags(kOpt);
    h.session.press(T, kOpt);
    h.flags(0);
    EXPECT_EQ(browser->receivedEvents().size(), 2 * typed.size() + 4);

    // Then Option alone in Excel, which times out, and Center Align.
    h.session.activate(h.excel);
    h.typeAltSequence({});
    h.typeAltSequence({H, A, C});
    EXPECT_EQ(h.posts(), QStringList{"⌘E"});

    const QStringList messages = h.messages();
    ASSERT_TRUE(messages.contains("[ShortcutEngine] Sequence timed out at []"));
    ASSERT_TRUE(messages.contains("[ShortcutEngine] Sequence matched: [4,0,8]"));
    ASSERT_TRUE(sentryServer.waitForRequests(int(messages.size()) + 1));  // and "engine running"
    h.analyticsEvents(2);

    QStringList sent;
    for (const RecordedRequest& request : sentryServer.requests() + h.analyticsServer.requests()) {
        sent.append(QString::fromUtf8(request.body));
    }
    const QString everything = (sent + console.lines()).join(u'\n');
    for (const quint16 key : typed) {
        const QRegularExpression leak(QStringLiteral("keyCode=%1\\b|[\\[,]%1[\\],]").arg(key));
        EXPECT_FALSE(everything.contains(leak)) << "key code " << key;
    }
    // The keys the engine took are still told, and the first reports still name the application in front.
    EXPECT_TRUE(everything.contains("keyDown keyCode=4 ⌥true ⌘false ⇧false ⌃false state=.inAltSequence"));
    EXPECT_TRUE(everything.contains("[diag 1/5] keyDown app='Browser' bundle='com.example.browser'"));
    EXPECT_TRUE(console.lines().contains("[Engine] ⌥ down → entering Alt sequence mode"));
}

}  // namespace
