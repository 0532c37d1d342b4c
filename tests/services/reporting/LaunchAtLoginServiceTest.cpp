#include <gtest/gtest.h>

#include <QRegularExpression>

#include "platform/sim/RecordingConsole.h"
#include "platform/sim/RecordingCrashReporter.h"
#include "platform/sim/SimLoginItem.h"
#include "services/LaunchAtLoginService.h"
#include "services/SentryBridge.h"

TEST(LaunchAtLoginService, RegistersAndUnregistersSilently) {
    SimLoginItem item;
    RecordingConsole console;
    LaunchAtLoginService service(item, console);
    service.setEnabled(true);
    EXPECT_TRUE(item.isRegistered());
    service.setEnabled(false);
    EXPECT_FALSE(item.isRegistered());
    EXPECT_TRUE(console.lines().isEmpty());
}

TEST(LaunchAtLoginService, ARefusalPrintsOneLineAndChangesNothing) {
    SimLoginItem item;
    RecordingConsole console;
    LaunchAtLoginService service(item, console);
    service.setEnabled(true);
    item.setFailure(QStringLiteral("Operation not permitted"));
    service.setEnabled(false);
    EXPECT_TRUE(item.isRegistered());
    EXPECT_EQ(console.lines(), QStringList{QStringLiteral("[LaunchAtLogin] Error: Operation not permitted")});
    EXPECT_EQ(item.unregisterCount(), 1);  // no retry
}

TEST(SentryBridge, PassesMessagesThroughAndReturnsTheEventId) {
    RecordingCrashReporter reporter;
    SentryBridge bridge(reporter);
    const auto id = bridge.captureMessage(QStringLiteral("[ShortcutEngine] Sequence matched: [4,11,0]"));
    ASSERT_TRUE(id.has_value());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(*id).hasMatch()) << id->toStdString();
    EXPECT_EQ(reporter.messages(), QStringList{QStringLiteral("[ShortcutEngine] Sequence matched: [4,11,0]")});
    EXPECT_EQ(reporter.eventIds(), QStringList{*id});
}
