#include <gtest/gtest.h>

#include <QSignalSpy>

#include "CountingPlatform.h"
#include "QtPrinters.h"
#include "platform/sim/ManualScheduler.h"
#include "platform/sim/SimSession.h"
#include "services/ExcelDetector.h"

namespace {

const QString kExcelId = QStringLiteral("com.microsoft.Excel");

std::shared_ptr<SimApplication> makeExcel() {
    return std::make_shared<SimApplication>(kExcelId, QStringLiteral("Microsoft Excel"));
}

std::shared_ptr<SimAXElement> window(const QString& title) {
    return SimAXElement::make(QStringLiteral("AXWindow"), title);
}

class ExcelDetectorTest : public ::testing::Test {
protected:
    ExcelDetectorTest() { session.setAccessibilityTrusted(true); }

    // Runs one refresh and its deferred publication.
    void refresh() {
        detector->startMonitoring();
        scheduler.runPending();
        detector->stopMonitoring();
    }

    ManualScheduler scheduler;
    SimSession session;
    CountingWorkspace workspace{session.workspace()};
    std::unique_ptr<ExcelDetector> detector =
        std::make_unique<ExcelDetector>(workspace, session.accessibility(), scheduler);
};

struct TitleCase {
    QString title;
    std::optional<QString> expected;
};

TEST_F(ExcelDetectorTest, WorkbookNameFromTheFirstWindowTitle) {
    auto excel = makeExcel();
    session.launch(excel);
    const QList<TitleCase> cases = {
        {QStringLiteral("Budget.xlsx - Microsoft Excel"), QStringLiteral("Budget.xlsx")},
        // The space left in front of the cut suffix is trimmed.
        {QStringLiteral("Budget.xlsx  - Excel"), QStringLiteral("Budget.xlsx")},
        {QStringLiteral("Budget.xlsx"), QStringLiteral("Budget.xlsx")},
        {QStringLiteral("Excel"), QStringLiteral("Excel")},
        // Only the suffix is cut: an empty name is still a name.
        {QStringLiteral(" - Excel"), QString(QLatin1String(""))},
        // The long suffix is tried first, and only one suffix is removed.
        {QStringLiteral("Q3 - Excel - Microsoft Excel"), QStringLiteral("Q3 - Excel")},
        // Tabs and Unicode space separators are trimmed, line breaks are not.
        {QStringLiteral("\t\u00A0Plan\u2003 - Excel"), QStringLiteral("Plan")},
        {QStringLiteral("Plan\n - Excel"), QStringLiteral("Plan\n")},
        // Without a suffix nothing is trimmed.
        {QStringLiteral("  Plan  "), QStringLiteral("  Plan  ")},
        {QString(QLatin1String("")), std::nullopt},
    };
    for (const TitleCase& c : cases) {
        excel->applicationElement()->setElements(QStringLiteral("AXWindows"), {window(c.title)});
        refresh();
        EXPECT_TRUE(detector->isExcelRunning()) << c.title.toStdString();
        EXPECT_EQ(detector->currentFileName(), c.expected) << '"' << c.title.toStdString() << '"';
    }
}

TEST_F(ExcelDetectorTest, UnreadableWindowsGiveNoNameButExcelStillRuns) {
    auto excel = makeExcel();
    session.launch(excel);
    auto app = excel->applicationElement();

    // The first listed window counts, not the focused or main one.
    auto focused = window(QStringLiteral("Focused.xlsx - Excel"));
    app->setElement(QStringLiteral("AXFocusedWindow"), focused);
    app->setElement(QStringLiteral("AXMainWindow"), focused);
    app->setElements(QStringLiteral("AXWindows"), {window(QStringLiteral("First.xlsx - Excel")), focused});
    refresh();
    EXPECT_EQ(detector->currentFileName(), QStringLiteral("First.xlsx"));

    app->setElements(QStringLiteral("AXWindows"), {});
    refresh();
    EXPECT_TRUE(detector->isExcelRunning());
    EXPECT_EQ(detector->currentFileName(), std::nullopt);

    auto untitled = SimAXElement::make(QStringLiteral("AXWindow"));
    app->setElements(QStringLiteral("AXWindows"), {untitled});
    refresh();
    EXPECT_EQ(detector->currentFileName(), std::nullopt);

    untitled->setOtherValue(QStringLiteral("AXTitle"));
    refresh();
    EXPECT_EQ(detector->currentFileName(), std::nullopt);

    app->setOtherValue(QStringLiteral("AXWindows"));
    refresh();
    EXPECT_EQ(detector->currentFileName(), std::nullopt);

    app->setElements(QStringLiteral("AXWindows"), {window(QStringLiteral("Back.xlsx - Excel"))});
    app->setAttributeError(QStringLiteral("AXWindows"), AXError::APIDisabled);
    refresh();
    EXPECT_TRUE(detector->isExcelRunning());
    EXPECT_EQ(detector->currentFileName(), std::nullopt);
}

TEST_F(ExcelDetectorTest, FirstExcelCountsFrontmostOrNot) {
    auto nameless = std::make_shared<SimApplication>(std::nullopt, QStringLiteral("Helper"));
    auto finder = std::make_shared<SimApplication>(QStringLiteral("com.apple.finder"), QStringLiteral("Finder"));
    auto first = makeExcel();
    auto second = makeExcel();
    first->applicationElement()->setElements(QStringLiteral("AXWindows"), {window(QStringLiteral("One - Excel"))});
    second->applicationElement()->setElements(QStringLiteral("AXWindows"), {window(QStringLiteral("Two - Excel"))});

    session.launch(nameless);
    session.launch(first, false);
    session.launch(second, false);
    session.launch(finder, true);
    ASSERT_NE(session.frontmost(), first);
    refresh();
    EXPECT_TRUE(detector->isExcelRunning());
    EXPECT_EQ(detector->currentFileName(), QStringLiteral("One"));

    session.quit(first);
    session.quit(second);
    refresh();
    EXPECT_FALSE(detector->isExcelRunning());
    EXPECT_EQ(detector->currentFileName(), std::nullopt);
    EXPECT_FALSE(detector->currentFileNameValue().isValid());
}

TEST_F(ExcelDetectorTest, PublishesBothPropertiesOnEveryTickInOrder) {
    auto excel = makeExcel();
    excel->applicationElement()->setElements(QStringLiteral("AXWindows"), {window(QStringLiteral("A - Excel"))});
    session.launch(excel);

    QStringList events;
    QObject::connect(detector.get(), &ExcelDetector::isExcelRunningChanged,
                     [&](bool running) { events << QStringLiteral("running=%1").arg(running); });
    QObject::connect(detector.get(), &ExcelDetector::currentFileNameChanged,
                     [&] { events << QStringLiteral("name=") + detector->currentFileNameValue().toString(); });

    detector->startMonitoring();
    // The first refresh reads at once but publishes on a later turn.
    EXPECT_EQ(workspace.listings, 1);
    EXPECT_FALSE(detector->isExcelRunning());
    EXPECT_TRUE(events.isEmpty());
    scheduler.runPending();
    EXPECT_EQ(events, QStringList({"running=1", "name=A"}));

    // Unchanged values are published again on every tick.
    scheduler.advance(2.9);
    EXPECT_EQ(events.size(), 2);
    scheduler.advance(0.1);
    scheduler.advance(3.0);
    EXPECT_EQ(events, QStringList({"running=1", "name=A", "running=1", "name=A", "running=1", "name=A"}));

    session.quit(excel);
    scheduler.advance(3.0);
    EXPECT_EQ(events.mid(6), QStringList({"running=0", "name="}));
    EXPECT_EQ(workspace.listings, 4);

    detector->stopMonitoring();
    EXPECT_FALSE(detector->isMonitoring());
    scheduler.advance(30.0);
    EXPECT_EQ(workspace.listings, 4);
    EXPECT_EQ(events.size(), 8);
}

TEST_F(ExcelDetectorTest, StartWhileMonitoringReplacesTheTimer) {
    detector->startMonitoring();
    scheduler.advance(1.0);
    detector->startMonitoring();
    EXPECT_EQ(workspace.listings, 2);
    // One rhythm, restarted by the second start: ticks at 4, 7 and 10 seconds.
    scheduler.advance(9.0);
    EXPECT_EQ(workspace.listings, 5);
    detector->stopMonitoring();
    scheduler.advance(9.0);
    EXPECT_EQ(workspace.listings, 5);
}

TEST_F(ExcelDetectorTest, NothingRunsOnceTheDetectorIsGone) {
    session.launch(makeExcel());
    int published = 0;
    QObject::connect(detector.get(), &ExcelDetector::isExcelRunningChanged, [&] { ++published; });

    // Released with its first publication still queued, and while monitoring.
    detector->startMonitoring();
    detector.reset();
    scheduler.advance(10.0);
    EXPECT_EQ(published, 0);
    EXPECT_EQ(workspace.listings, 1);

    // Released after some ticks: the timer is not left reading behind it.
    detector = std::make_unique<ExcelDetector>(workspace, session.accessibility(), scheduler);
    detector->startMonitoring();
    scheduler.advance(3.0);
    detector.reset();
    scheduler.advance(10.0);
    EXPECT_EQ(workspace.listings, 3);
}

}  // namespace
