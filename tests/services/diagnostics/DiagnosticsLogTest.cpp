#include <gtest/gtest.h>

#include <QTimeZone>

#include "platform/UserDefaults.h"
#include "platform/sim/ManualScheduler.h"
#include "platform/sim/SimSession.h"
#include "services/DiagnosticsService.h"
#include "services/PostHogService.h"
#include "services/UsageStore.h"

namespace {

// Compares line by line so that a failure names the first line that differs.
void expectSameLines(const QString& actual, const QString& expected) {
    const QStringList a = actual.split(QLatin1Char('\n'));
    const QStringList e = expected.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < std::min(a.size(), e.size()); ++i) {
        EXPECT_EQ(a.at(i).toStdString(), e.at(i).toStdString()) << "line " << i + 1;
    }
    EXPECT_EQ(a.size(), e.size()) << actual.toStdString();
    EXPECT_EQ(actual, expected);
}

BundleInfo knownBundle() {
    return BundleInfo{QStringLiteral("2.3.1"), QStringLiteral("231"), QStringLiteral("Version 14.5 (Build 23F79)"),
                      QStringLiteral("x86_64")};
}

class DiagnosticsLogTest : public ::testing::Test {
protected:
    DiagnosticsService service(BundleInfo bundle = knownBundle()) {
        return DiagnosticsService(std::move(bundle), defaults, session.accessibility(), session.events(),
                                  session.workspace(), usage, clock);
    }

    // 11:05:07.250 at UTC+2: the log must show the UTC time, whole seconds, with the letter Z.
    ManualScheduler clock{QDateTime(QDate(2026, 3, 4), QTime(11, 5, 7, 250), QTimeZone(7200))};
    SimSession session;
    UserDefaults defaults;
    PostHogService analytics{QUrl()};  // sends nothing
    UsageStore usage{defaults, clock, analytics};
};

TEST_F(DiagnosticsLogTest, KnownState) {
    defaults.setString(QStringLiteral("6F1E0C1A-2B3C-4D5E-8F90-A1B2C3D4E5F6"), QStringLiteral("deviceId"));
    defaults.setBool(true, QStringLiteral("isPaused"));
    session.setAccessibilityTrusted(true);
    session.setInputMonitoringGranted(false);
    // Excel in the background still counts as running.
    session.launch(std::make_shared<SimApplication>(QStringLiteral("com.microsoft.Excel"), QStringLiteral("Excel")),
                   false);
    session.launch(std::make_shared<SimApplication>(QStringLiteral("com.apple.finder"), QStringLiteral("Finder")));
    for (int i = 0; i < 3; ++i) {
        usage.record(QStringLiteral("58,9,86"), QStringLiteral("Paste Values"));
    }
    usage.record(QStringLiteral("59,2"), QStringLiteral("Fill Down"));
    usage.record(QStringLiteral("59,2"), QStringLiteral("Fill Down"));
    usage.record(QStringLiteral("58,4,11"), QStringLiteral("Borders"));

    const QString log = service().generateLogReport(
        {QStringLiteral("Alt"), QStringLiteral("H"), QStringLiteral("B"), QStringLiteral("A")},
        QStringLiteral("ana@example.com"));
    expectSameLines(log, QStringLiteral("=== QMX Diagnostic Log ===\n"
                                        "Date:        2026-03-04T09:05:07Z\n"
                                        "App Version: 2.3.1\n"
                                        "macOS:       Version 14.5 (Build 23F79)\n"
                                        "Arch:        x86_64\n"
                                        "Install ID:  6F1E0C1A-2B3C-4D5E-8F90-A1B2C3D4E5F6\n"
                                        "\n"
                                        "=== Contact ===\n"
                                        "Email: ana@example.com\n"
                                        "\n"
                                        "=== Permissions ===\n"
                                        "Accessibility:    GRANTED\n"
                                        "Input Monitoring: DENIED\n"
                                        "\n"
                                        "=== Settings ===\n"
                                        "isPaused: true\n"
                                        "\n"
                                        "=== Excel ===\n"
                                        "Running: true\n"
                                        "\n"
                                        "=== Reported Key Sequence ===\n"
                                        "Alt → H → B → A\n"
                                        "\n"
                                        "=== Top Shortcuts ===\n"
                                        "  Paste Values: 3x\n"
                                        "  Fill Down: 2x\n"
                                        "  Borders: 1x"));
}

TEST_F(DiagnosticsLogTest, PlaceholdersWhenNothingIsKnown) {
    session.setAccessibilityTrusted(false);
    session.setInputMonitoringGranted(true);
    session.launch(std::make_shared<SimApplication>(std::nullopt, std::nullopt));

    const QString log =
        service(BundleInfo{std::nullopt, std::nullopt, QStringLiteral("Version 14.5"), QStringLiteral("x86_64")})
            .generateLogReport({}, QString());
    expectSameLines(log, QStringLiteral("=== QMX Diagnostic Log ===\n"
                                        "Date:        2026-03-04T09:05:07Z\n"
                                        "App Version: ?\n"
                                        "macOS:       Version 14.5\n"
                                        "Arch:        x86_64\n"
                                        "Install ID:  ?\n"
                                        "\n"
                                        "=== Contact ===\n"
                                        "Email: (none)\n"
                                        "\n"
                                        "=== Permissions ===\n"
                                        "Accessibility:    DENIED\n"
                                        "Input Monitoring: GRANTED\n"
                                        "\n"
                                        "=== Settings ===\n"
                                        "isPaused: false\n"
                                        "\n"
                                        "=== Excel ===\n"
                                        "Running: false\n"
                                        "\n"
                                        "=== Reported Key Sequence ===\n"
                                        "(none)\n"
                                        "\n"
                                        "=== Top Shortcuts ===\n"
                                        "(none)"));
    // The install id is only read here, never created.
    EXPECT_FALSE(defaults.contains(QStringLiteral("deviceId")));
}

TEST_F(DiagnosticsLogTest, ValuesAreWrittenVerbatim) {
    // Texts that look like format placeholders must come through as they are.
    defaults.setString(QStringLiteral("%1"), QStringLiteral("deviceId"));
    usage.record(QStringLiteral("1"), QStringLiteral("Percent %2 Style %1"));
    const QString log = service().generateLogReport({QStringLiteral("⌥")}, QStringLiteral("   "));
    const QStringList lines = log.split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral("Install ID:  %1")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Email:    ")));
    EXPECT_TRUE(lines.contains(QStringLiteral("⌥")));
    EXPECT_EQ(lines.last(), QStringLiteral("  Percent %2 Style %1: 1x"));
}

}  // namespace
