#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QThread>

#include <qcoro/qcorotask.h>

#include "CountingPlatform.h"
#include "QtPrinters.h"
#include "platform/UserDefaults.h"
#include "platform/sim/ManualScheduler.h"
#include "platform/sim/SimSession.h"
#include "services/DiagnosticsService.h"
#include "services/ExcelDetector.h"
#include "services/PostHogService.h"
#include "services/UsageStore.h"

namespace {

using Element = std::shared_ptr<SimAXElement>;

Element node(const QString& role, const QString& title = QString(), const QString& description = QString()) {
    return SimAXElement::make(role, title, description);
}

class AXDumpTest : public ::testing::Test {
protected:
    AXDumpTest() { session.setAccessibilityTrusted(true); }

    QString dump() { return QCoro::waitFor(service.generateAXDump()); }

    std::shared_ptr<SimApplication> launchExcel(std::optional<QString> name = QStringLiteral("Microsoft Excel")) {
        auto excel = std::make_shared<SimApplication>(QStringLiteral("com.microsoft.Excel"), std::move(name));
        session.launch(excel, false);
        return excel;
    }

    QString header(const std::shared_ptr<SimApplication>& excel,
                   const QString& name = QStringLiteral("Microsoft Excel")) {
        return QStringLiteral("=== Excel AX Hierarchy ===\nPID: ") + QString::number(excel->processIdentifier()) +
               QStringLiteral("  Name: ") + name;
    }

    // Three windows ("W0 - Excel", ...) of `groups` groups ("G0", ...) of `buttons` buttons ("B0", ...).
    static QList<Element> showWindowsOfButtons(SimApplication& excel, int groups, int buttons) {
        QList<Element> windows;
        for (int w = 0; w < 3; ++w) {
            auto window = node(QStringLiteral("AXWindow"), QStringLiteral("W%1 - Excel").arg(w));
            for (int g = 0; g < groups; ++g) {
                auto group = window->addChild(node(QStringLiteral("AXGroup"), QStringLiteral("G%1").arg(g)));
                for (int c = 0; c < buttons; ++c) {
                    group->addChild(node(QStringLiteral("AXButton"), QStringLiteral("B%1").arg(c)));
                }
            }
            windows << window;
        }
        excel.applicationElement()->setElements(QStringLiteral("AXWindows"), windows);
        return windows;
    }

    ManualScheduler scheduler;
    SimSession session;
    CountingAccessibility accessibility{session.accessibility()};
    UserDefaults defaults;
    PostHogService analytics{QUrl()};
    UsageStore usage{defaults, scheduler, analytics};
    DiagnosticsService service{BundleInfo::current(), defaults, accessibility, session.events(),
                               session.workspace(),   usage,    scheduler};
};

TEST_F(AXDumpTest, BuiltTree) {
    auto excel = launchExcel();

    auto first = node(QStringLiteral("AXWindow"), QStringLiteral("Book1.xlsx - Excel"));
    first->setString(QStringLiteral("AXSubrole"), QStringLiteral("AXStandardWindow"));
    first->addChild(node(QStringLiteral("AXGroup"), QStringLiteral("Ribbon"), QStringLiteral("Ribbon")));
    first->addChild(node(QStringLiteral("AXButton"), QString(), QStringLiteral("Close")));
    auto close = first->addChild(node(QStringLiteral("AXButton"), QStringLiteral("X"), QStringLiteral("close window")));
    close->setString(QStringLiteral("AXSubrole"), QStringLiteral("AXCloseButton"));
    auto table = first->addChild(node(QStringLiteral("AXTable"), QStringLiteral("Sheet1")));
    auto row = table->addChild(node(QStringLiteral("AXRow"), QStringLiteral("Row 1")));
    row->addChild(node(QStringLiteral("AXCell")))->addChild(node(QStringLiteral("AXStaticText"), QStringLiteral("42")));
    row->addChild(node(QStringLiteral("AXButton"), QStringLiteral("Inside a row")));
    table->addChild(node(QStringLiteral("AXColumn"), QStringLiteral("A")))
        ->addChild(node(QStringLiteral("AXCell"), QStringLiteral("A1")));
    table->addChild(node(QStringLiteral("AXCell"), QStringLiteral("Loose cell")));
    table->addChild(node(QStringLiteral("AXScrollBar")));
    auto crowded = first->addChild(node(QStringLiteral("AXList"), QStringLiteral("Cells")));
    for (int i = 0; i < 250; ++i) {
        crowded->addChild(node(QStringLiteral("AXStaticText"), QStringLiteral("item %1").arg(i)));
    }
    auto roleless = first->addChild(node(QStringLiteral("AXUnknown"), QStringLiteral("Mystery")));
    roleless->removeAttribute(QStringLiteral("AXRole"));
    roleless->setOtherValue(QStringLiteral("AXDescription"));

    auto deep = node(QStringLiteral("AXWindow"), QStringLiteral("Deep.xlsx - Excel"));
    Element parent = deep;
    for (int level = 1; level <= 8; ++level) {
        parent = parent->addChild(node(QStringLiteral("AXGroup"), QStringLiteral("Level %1").arg(level)));
    }

    auto third = node(QStringLiteral("AXWindow"), QStringLiteral("ignored"), QStringLiteral("Third"));
    third->setAttributeError(QStringLiteral("AXTitle"), AXError::CannotComplete);
    third->setAttributeError(QStringLiteral("AXChildren"), AXError::CannotComplete);

    auto fourth = node(QStringLiteral("AXWindow"), QStringLiteral("Hidden.xlsx - Excel"));
    excel->applicationElement()->setElements(QStringLiteral("AXWindows"), {first, deep, third, fourth});

    const QString expected = header(excel) + QStringLiteral(
                                                 "\n"
                                                 "\n"
                                                 "--- Window 1 ---\n"
                                                 "AXWindow(AXStandardWindow) 'Book1.xlsx - Excel'\n"
                                                 "  AXGroup 'Ribbon'\n"
                                                 "  AXButton [Close]\n"
                                                 "  AXButton(AXCloseButton) 'X' [close window]\n"
                                                 "  AXTable 'Sheet1'\n"
                                                 "    AXScrollBar\n"
                                                 "  AXList 'Cells'\n"
                                                 "    … (250 children — skipped)\n"
                                                 "  ? 'Mystery'\n"
                                                 "\n"
                                                 "--- Window 2 ---\n"
                                                 "AXWindow 'Deep.xlsx - Excel'\n"
                                                 "  AXGroup 'Level 1'\n"
                                                 "    AXGroup 'Level 2'\n"
                                                 "      AXGroup 'Level 3'\n"
                                                 "        AXGroup 'Level 4'\n"
                                                 "          AXGroup 'Level 5'\n"
                                                 "            AXGroup 'Level 6'\n"
                                                 "              AXGroup 'Level 7'\n"
                                                 "\n"
                                                 "--- Window 3 ---\n"
                                                 "AXWindow [Third]");
    const QString actual = dump();
    const QStringList a = actual.split(QLatin1Char('\n'));
    const QStringList e = expected.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < std::min(a.size(), e.size()); ++i) {
        EXPECT_EQ(a.at(i).toStdString(), e.at(i).toStdString()) << "line " << i + 1;
    }
    EXPECT_EQ(actual, expected);
}

TEST_F(AXDumpTest, TwoHundredChildrenAreAllFollowed) {
    auto excel = launchExcel();
    auto list = node(QStringLiteral("AXList"));
    for (int i = 0; i < 200; ++i) {
        list->addChild(node(QStringLiteral("AXStaticText")));
    }
    auto window = node(QStringLiteral("AXWindow"));
    window->addChild(list);
    excel->applicationElement()->setElements(QStringLiteral("AXWindows"), {window});

    const QStringList lines = dump().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.size(), 2 + 2 + 2 + 200);
    EXPECT_EQ(lines.count(QStringLiteral("    AXStaticText")), 200);
}

TEST_F(AXDumpTest, PlaceholderTexts) {
    EXPECT_EQ(dump(), QStringLiteral("=== Excel AX Hierarchy ===\n[Excel not running]"));

    // A nameless Excel without windows.
    auto excel = launchExcel(std::nullopt);
    const QString noWindows = QStringLiteral("\n[No accessible windows — Accessibility permission required]");
    EXPECT_EQ(dump(), header(excel, QStringLiteral("?")) + noWindows);
    excel->applicationElement()->setElements(QStringLiteral("AXWindows"), {});
    EXPECT_EQ(dump(), header(excel, QStringLiteral("?")) + noWindows);

    // Windows exist but cannot be read without the permission.
    excel->applicationElement()->setElements(QStringLiteral("AXWindows"), {node(QStringLiteral("AXWindow"))});
    session.setAccessibilityTrusted(false);
    EXPECT_EQ(dump(), header(excel, QStringLiteral("?")) + noWindows);
}

// The name arrives at run time and the accessibility tree shares its text; a dump that released it
// once too often freed it under the tree after a few reports.
TEST_F(AXDumpTest, ARuntimeNameSharedWithTheTreeOutlivesRepeatedDumps) {
    const QString name = QStringList{QStringLiteral("Microsoft"), QStringLiteral("Excel")}.join(QLatin1Char(' '));
    auto excel = launchExcel(name);
    excel->applicationElement()->setElements(QStringLiteral("AXWindows"), {node(QStringLiteral("AXWindow"))});
    for (int report = 0; report < 6; ++report) {
        EXPECT_TRUE(dump().startsWith(header(excel, name))) << "report " << report;
    }
    EXPECT_EQ(excel->applicationElement()->title(), name);
    EXPECT_EQ(session.workspace().runningApplications().constLast().localizedName, std::optional<QString>(name));
}

// However big the tree, the dump stops at 20,000 lines, the last saying it was cut, and reads no
// further than that.
TEST_F(AXDumpTest, AHugeTreeIsCutAtTwentyThousandLinesWithANote) {
    const QString note = QStringLiteral("[Dump cut at 20000 lines — the rest of the tree is left out]");
    auto excel = launchExcel();
    const QList<Element> windows = showWindowsOfButtons(*excel, 150, 150);

    const QStringList lines = dump().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.size(), 20000);
    EXPECT_EQ(lines.constLast(), note);
    EXPECT_EQ(lines.count(note), 1);
    // Four header lines, the window, then 151 lines per group: the 133rd group ends at its 61st button.
    EXPECT_EQ(lines.at(19998), QStringLiteral("    AXButton 'B60'"));
    // Five attribute reads per element listed, a few for the windows: not the 68,000 elements.
    EXPECT_LT(accessibility.reads.loadRelaxed(), 5 * 20000 + 100);

    // A tree that fits is not cut.
    windows.at(0)->removeAllChildren();
    excel->applicationElement()->setElements(QStringLiteral("AXWindows"), {windows.at(0)});
    EXPECT_FALSE(dump().contains(note));
}

// The walk runs on a pool thread while the main thread keeps changing the tree and running the
// detector's own reads; the sanitizers must stay silent.
TEST_F(AXDumpTest, WalkedOffTheMainThreadWhileTheMainThreadRuns) {
    auto excel = launchExcel();
    const QList<Element> windows = showWindowsOfButtons(*excel, 120, 120);

    ExcelDetector detector(session.workspace(), accessibility, scheduler);
    detector.startMonitoring();

    // The worker waits at its first read until the main thread is busy changing the tree, so the two
    // surely overlap; from then on neither waits for the other.
    QSemaphore workerStarted;
    QSemaphore mainBusy;
    accessibility.onFirstOffMainRead = [&] {
        workerStarted.release();
        mainBusy.tryAcquire(1, 10000);
    };
    QThread* resumedOn = nullptr;
    auto caller = [&]() -> QCoro::Task<QString> {
        const QString text = co_await service.generateAXDump();
        resumedOn = QThread::currentThread();
        co_return text;
    };
    QCoro::Task<QString> task = caller();
    ASSERT_TRUE(workerStarted.tryAcquire(1, 10000));
    QElapsedTimer deadline;
    deadline.start();

    int mutations = 0;
    const int mainReadsBefore = accessibility.reads.loadRelaxed() - accessibility.offMainReads.loadRelaxed();
    while (!task.isReady() && deadline.elapsed() < 30000) {
        Element window = windows.at(mutations % 3);
        const QList<Element> groups = window->children();
        if (groups.isEmpty()) {
            window->addChild(node(QStringLiteral("AXGroup"), QStringLiteral("regrown")));
        } else {
            Element group = groups.at(mutations % groups.size());
            group->setString(QStringLiteral("AXTitle"), QStringLiteral("renamed %1").arg(mutations));
            group->setChildren({node(QStringLiteral("AXButton"), QStringLiteral("new"))});
        }
        window->setString(QStringLiteral("AXDescription"), QStringLiteral("changed %1").arg(mutations));
        if (mutations % 50 == 49) {
            window->removeAllChildren();
        }
        excel->applicationElement()->setElements(QStringLiteral("AXWindows"), {windows.begin(), windows.end()});
        scheduler.advance(3.0);
        QCoreApplication::processEvents();
        if (++mutations == 5) {
            mainBusy.release();
        }
    }
    ASSERT_TRUE(task.isReady());
    const QString text = QCoro::waitFor(task);
    EXPECT_TRUE(text.startsWith(header(excel) + QStringLiteral("\n\n--- Window 1 ---\nAXWindow 'W0 - Excel'")));
    EXPECT_GT(accessibility.offMainReads.loadRelaxed(), 0);
    EXPECT_GT(mutations, 5);
    EXPECT_EQ(resumedOn, QThread::currentThread());
    const int mainReads = accessibility.reads.loadRelaxed() - accessibility.offMainReads.loadRelaxed();
    EXPECT_GT(mainReads, mainReadsBefore);
    EXPECT_TRUE(detector.isExcelRunning());
}

}  // namespace
