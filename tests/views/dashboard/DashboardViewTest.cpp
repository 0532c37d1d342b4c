#include <QLabel>
#include <QPaintEvent>
#include <QPushButton>
#include <QTest>

#include "BuildConfig.h"
#include "DashboardFixture.h"
#include "views/main/DashboardExcelHeader.h"
#include "views/main/DashboardPowerButton.h"
#include "views/main/DashboardPowerCard.h"
#include "views/main/DashboardPulseRing.h"
#include "views/shared/Style.h"

namespace {

struct CardTexts {
    QString label, description, help;
    bool block, grantAccessibility, grantInputMonitoring;
};

CardTexts read(const DashboardPowerCard& card) {
    return {card.statusLabel()->text(),
            card.statusDescription()->text(),
            card.powerButton()->toolTip(),
            !card.permissionBlock()->isHidden(),
            !card.accessibilityColumn()->isHidden() && !card.permissionBlock()->isHidden(),
            !card.inputMonitoringColumn()->isHidden() && !card.permissionBlock()->isHidden()};
}

}  // namespace

using DashboardViewTest = DashboardFixture;

TEST_F(DashboardViewTest, PowerCardInEachStatus) {
    DashboardView& dashboard = showDashboard();
    DashboardPowerCard& card = *dashboard.powerCard();

    CardTexts t = read(card);
    EXPECT_EQ(dashboard.status(), EngineStatus::standby);
    EXPECT_EQ(t.label, QStringLiteral("Ready"));
    EXPECT_EQ(t.description, QStringLiteral("Open Excel to activate shortcuts."));
    EXPECT_EQ(t.help, QStringLiteral("Click to open Excel"));
    EXPECT_FALSE(t.block);
    EXPECT_EQ(card.powerButton()->symbol(), QStringLiteral("power.circle"));
    EXPECT_EQ(card.fill(), Style::withOpacity(Style::accent(), 0.08));

    launchExcel();
    t = read(card);
    EXPECT_EQ(t.label, QStringLiteral("Monitoring Excel"));
    EXPECT_EQ(t.description, QStringLiteral("Shortcuts are live and tracking your activity."));
    EXPECT_EQ(t.help, QStringLiteral("Click to pause"));
    EXPECT_EQ(card.powerButton()->color(), Style::green());
    EXPECT_EQ(card.shadowColor(), Style::withOpacity(Style::green(), 0.1));

    settings.setIsPaused(true);
    settle();
    t = read(card);
    EXPECT_EQ(t.label, QStringLiteral("Paused"));
    EXPECT_EQ(t.description, QStringLiteral("Shortcuts paused. Click the icon to resume."));
    EXPECT_EQ(t.help, QStringLiteral("Click to resume"));
    EXPECT_EQ(card.statusLabel()->palette().color(QPalette::WindowText), Style::orange());

    // A missing permission outranks the pause.
    session.setAccessibilityTrusted(false);
    tick();
    t = read(card);
    EXPECT_EQ(t.label, QStringLiteral("Permissions Required"));
    EXPECT_EQ(t.description, QStringLiteral("Permissions required to activate shortcuts. Grant access below."));
    EXPECT_EQ(t.help, QStringLiteral("Restore accessibility permission"));
    EXPECT_TRUE(t.block);
}

TEST_F(DashboardViewTest, GrantButtonsOnlyForWhatIsMissing) {
    struct Case {
        bool trusted, listening;
    };
    for (const Case c : {Case{false, true}, Case{true, false}, Case{false, false}}) {
        session.setAccessibilityTrusted(c.trusted);
        session.setInputMonitoringGranted(c.listening);
        DashboardView& dashboard = showDashboard();
        const DashboardPowerCard& card = *dashboard.powerCard();
        const CardTexts t = read(card);
        EXPECT_EQ(dashboard.status(), EngineStatus::noPermission);
        EXPECT_TRUE(t.block);
        EXPECT_EQ(t.grantAccessibility, !c.trusted) << c.trusted << c.listening;
        EXPECT_EQ(t.grantInputMonitoring, !c.listening) << c.trusted << c.listening;
        EXPECT_EQ(card.grantAccessibilityButton()->text(), QStringLiteral("Grant Accessibility"));
        EXPECT_EQ(card.grantInputMonitoringButton()->text(), QStringLiteral("Grant Input Monitoring"));
        EXPECT_FALSE(card.privacyPolicyButton()->isHidden());
        if (!c.trusted && !c.listening) {
            // Accessibility's column comes first, then Input Monitoring's, then the privacy line.
            EXPECT_LT(card.accessibilityColumn()->y(), card.inputMonitoringColumn()->y());
            EXPECT_LT(card.inputMonitoringColumn()->y(), card.privacyPolicyButton()->y());
        }
    }
    // Granting everything hides the block at the next redraw.
    session.setAccessibilityTrusted(true);
    session.setInputMonitoringGranted(true);
    tick();
    EXPECT_TRUE(view->powerCard()->permissionBlock()->isHidden());
    EXPECT_EQ(view->status(), EngineStatus::standby);
}

TEST_F(DashboardViewTest, HeaderTitleFollowsExcel) {
    DashboardView& dashboard = showDashboard();
    DashboardExcelHeader& header = *dashboard.excelHeader();
    EXPECT_EQ(header.title(), QStringLiteral("Excel not open"));
    EXPECT_EQ(header.statusLine(), QStringLiteral("Open Excel to activate shortcuts"));
    EXPECT_FALSE(header.openExcelButton()->isHidden());
    EXPECT_EQ(header.dotColor(), Style::withOpacity(Style::secondary(), 0.35));

    auto excel = launchExcel(QStringLiteral("Q3 Forecast  - Excel"));
    EXPECT_EQ(header.title(), QStringLiteral("Q3 Forecast"));
    EXPECT_EQ(header.statusLine(), QStringLiteral("Active workbook detected"));
    EXPECT_TRUE(header.openExcelButton()->isHidden());
    EXPECT_EQ(header.dotColor(), Style::green());

    // A title that is only the suffix leaves an empty name, which is still the title.
    excel->setWorkbookTitle(QStringLiteral(" - Excel"));
    tick();
    EXPECT_EQ(header.title(), QString());

    // Excel running without a readable window title.
    session.quit(excel);
    session.launch(
        std::make_shared<SimApplication>(QStringLiteral("com.microsoft.Excel"), QStringLiteral("Microsoft Excel")),
        false);
    tick();
    EXPECT_EQ(header.title(), QStringLiteral("Microsoft Excel"));
    EXPECT_TRUE(header.openExcelButton()->isHidden());
}

TEST_F(DashboardViewTest, OpenExcelButtonLaunchesItAndDoesNothingWhenNotInstalled) {
    DashboardView& dashboard = showDashboard();
    QTest::mouseClick(dashboard.excelHeader()->openExcelButton(), Qt::LeftButton);
    ASSERT_EQ(session.runningApplications().size(), 1);
    EXPECT_EQ(session.runningApplications()[0]->bundleIdentifier(), QStringLiteral("com.microsoft.Excel"));

    session.quit(session.runningApplications()[0]);
    session.install(QStringLiteral("com.microsoft.Excel"), nullptr);
    tick();
    QTest::mouseClick(dashboard.excelHeader()->openExcelButton(), Qt::LeftButton);
    QTest::mouseClick(dashboard.powerCard()->powerButton(), Qt::LeftButton);
    EXPECT_TRUE(session.runningApplications().isEmpty());
    EXPECT_TRUE(session.openedURLs().isEmpty());
}

TEST_F(DashboardViewTest, PowerTapPausesResumesOpensExcelAndPrompts) {
    DashboardView& dashboard = showDashboard();
    QAbstractButton* power = dashboard.powerCard()->powerButton();

    // Standby: opens Excel.
    QTest::mouseClick(power, Qt::LeftButton);
    EXPECT_EQ(session.runningApplications().size(), 1);
    tick();
    EXPECT_EQ(dashboard.status(), EngineStatus::active);

    // Active: pauses.
    QTest::mouseClick(power, Qt::LeftButton);
    EXPECT_TRUE(settings.isPaused());
    settle();
    EXPECT_EQ(dashboard.powerCard()->statusLabel()->text(), QStringLiteral("Paused"));

    // Paused: resumes, back to active while Excel runs.
    QTest::mouseClick(power, Qt::LeftButton);
    EXPECT_FALSE(settings.isPaused());
    settle();
    EXPECT_EQ(dashboard.powerCard()->statusLabel()->text(), QStringLiteral("Monitoring Excel"));

    // Paused again, then Excel quits: resuming gives standby.
    QTest::mouseClick(power, Qt::LeftButton);
    session.quit(session.runningApplications()[0]);
    tick();
    QTest::mouseClick(power, Qt::LeftButton);
    settle();
    EXPECT_EQ(dashboard.status(), EngineStatus::standby);

    // Only Input Monitoring missing: the power button still asks for the Accessibility prompt.
    session.setInputMonitoringGranted(false);
    tick();
    const int prompts = session.accessibilityPromptCount();
    QTest::mouseClick(power, Qt::LeftButton);
    EXPECT_EQ(session.accessibilityPromptCount(), prompts + 1);
    EXPECT_FALSE(settings.isPaused());
}

TEST_F(DashboardViewTest, GrantAndPrivacyButtonsGoThroughThePlatform) {
    session.setAccessibilityTrusted(false);
    session.setInputMonitoringGranted(false);
    DashboardView& dashboard = showDashboard();
    DashboardPowerCard& card = *dashboard.powerCard();

    QTest::mouseClick(card.grantAccessibilityButton(), Qt::LeftButton);
    EXPECT_EQ(session.accessibilityPromptCount(), 1);

    QTest::mouseClick(card.grantInputMonitoringButton(), Qt::LeftButton);
    QTest::mouseClick(card.privacyPolicyButton(), Qt::LeftButton);
    ASSERT_EQ(session.openedURLs().size(), 2);
    EXPECT_EQ(session.openedURLs()[0].toString(),
              QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_ListenEvent"));
    EXPECT_EQ(session.openedURLs()[1], QUrl(QString::fromUtf8(keyloom::build::privacyUrl)));
    // Offered again on every tap.
    QTest::mouseClick(card.grantAccessibilityButton(), Qt::LeftButton);
    EXPECT_EQ(session.accessibilityPromptCount(), 2);
}

TEST_F(DashboardViewTest, PulseStartsOnScreenStopsOnChangeAndRestartsAfterAMoment) {
    auto excel = std::make_shared<SimSpreadsheet>();
    session.launch(excel);
    DashboardView& dashboard = showDashboard();
    DashboardPowerCard& card = *dashboard.powerCard();
    ASSERT_EQ(dashboard.status(), EngineStatus::active);
    // The detector's first answer turns standby into active: a change, so the ring starts shortly after.
    EXPECT_FALSE(card.isPulsing());
    scheduler.advance(0.05);
    EXPECT_TRUE(card.isPulsing());
    EXPECT_TRUE(card.pulseRing()->isAnimating());

    // Shown again while active: the ring pulses from the start, not through a change.
    dashboard.hide();
    EXPECT_FALSE(card.pulseRing()->isAnimating());
    dashboard.show();
    EXPECT_TRUE(card.isPulsing());
    EXPECT_TRUE(card.pulseRing()->isAnimating());

    settings.setIsPaused(true);
    settle();
    EXPECT_FALSE(card.isPulsing());
    EXPECT_DOUBLE_EQ(card.pulseRing()->ringOpacity(), 0.0);

    settings.setIsPaused(false);
    settle();
    EXPECT_FALSE(card.isPulsing());
    // At rest in active the ring shows at 0.8 until the pulse restarts.
    EXPECT_DOUBLE_EQ(card.pulseRing()->ringOpacity(), 0.8);
    EXPECT_DOUBLE_EQ(card.pulseRing()->scale(), 1.0);
    scheduler.advance(0.04);
    EXPECT_FALSE(card.isPulsing());
    scheduler.advance(0.01);
    EXPECT_TRUE(card.isPulsing());
    EXPECT_TRUE(card.pulseRing()->isAnimating());

    // Mid-pulse the ring is larger and fainter.
    card.pulseRing()->setProgress(0.5);
    EXPECT_DOUBLE_EQ(card.pulseRing()->scale(), 1.4);
    EXPECT_DOUBLE_EQ(card.pulseRing()->ringOpacity(), 0.4);

    // Excel quits: standby has no ring.
    session.quit(excel);
    tick();
    EXPECT_FALSE(card.isPulsing());
    EXPECT_DOUBLE_EQ(card.pulseRing()->ringOpacity(), 0.0);
}

namespace {

// Collects the rects a widget is asked to paint.
class PaintLog : public QObject {
public:
    explicit PaintLog(QWidget* widget) { widget->installEventFilter(this); }
    QRegion painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
};

}  // namespace

TEST_F(DashboardViewTest, APulseFrameRepaintsOnlyTheRingNotTheWholeCard) {
    session.launch(std::make_shared<SimSpreadsheet>());
    DashboardView& dashboard = showDashboard();
    scheduler.advance(0.05);
    DashboardPowerCard& card = *dashboard.powerCard();
    ASSERT_TRUE(card.isPulsing());
    QCoreApplication::processEvents();

    PaintLog cardLog(&card);
    PaintLog ringLog(card.pulseRing());
    for (double progress : {0.25, 0.5, 0.75}) {
        card.pulseRing()->setProgress(progress);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    }
    EXPECT_FALSE(ringLog.painted.isEmpty());
    EXPECT_EQ(card.graphicsEffect(), nullptr);
    // Each frame costs the ring's own small square, never the card (or a blur of it).
    const QRect cardPainted = cardLog.painted.boundingRect();
    EXPECT_TRUE(cardLog.painted.isEmpty() || QRect(card.pulseRing()->geometry()).contains(cardPainted))
        << "painted " << cardPainted.width() << "x" << cardPainted.height() << " of a " << card.width() << "x"
        << card.height() << " card";
}

TEST_F(DashboardViewTest, RestartScheduledBeforeTheViewGoesAwayDoesNothing) {
    session.launch(std::make_shared<SimSpreadsheet>());
    settings.setIsPaused(true);
    showDashboard();
    settings.setIsPaused(false);
    settle();
    view.reset();
    scheduler.advance(ExcelDetector::monitoringInterval * 2);
    SUCCEED();
}

TEST_F(DashboardViewTest, MonitorsOnlyWhileShown) {
    DashboardView& dashboard = showDashboard();
    EXPECT_TRUE(dashboard.detector().isMonitoring());
    dashboard.hide();
    EXPECT_FALSE(dashboard.detector().isMonitoring());
    dashboard.show();
    EXPECT_TRUE(dashboard.detector().isMonitoring());
}

namespace {

// The toolkit's painting warnings ("QWidget::repaint: Recursive repaint detected", "QPainter::...").
QStringList paintWarnings;
void recordPaintWarning(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg && (message.startsWith("QWidget") || message.startsWith("QPainter"))) {
        paintWarnings.append(message);
    }
}

}  // namespace

TEST_F(DashboardViewTest, LaunchStatusChangesResizesAndThePulsePaintWithoutWarnings) {
    const QtMessageHandler previous = qInstallMessageHandler(recordPaintWarning);
    DashboardView& dashboard = showDashboard();
    launchExcel();
    scheduler.advance(0.05);
    DashboardPulseRing& ring = *dashboard.powerCard()->pulseRing();
    // Frames come from a kept picture of what lies beneath the ring.
    EXPECT_TRUE(ring.isPulsing() && ring.testAttribute(Qt::WA_OpaquePaintEvent));
    for (int frame = 0; frame <= DashboardPulseRing::kFramesPerPulse; ++frame) {
        ring.setProgress(double(frame) / DashboardPulseRing::kFramesPerPulse);
        QCoreApplication::processEvents();
    }
    for (const QSize size : {QSize(560, 900), QSize(1100, 500)}) {  // paused, then active again
        dashboard.resize(size);
        settings.setIsPaused(!settings.isPaused());
        tick();
    }
    session.setAccessibilityTrusted(false);
    tick();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(paintWarnings.isEmpty()) << paintWarnings.join(QLatin1Char('\n')).toStdString();
}
