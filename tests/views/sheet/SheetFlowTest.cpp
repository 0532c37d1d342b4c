#include <QCoro/QCoroTask>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>

#include "SheetHarness.h"
#include "platform/sim/SimAXElement.h"
#include "support/Screenshot.h"
#include "views/main/KeyCapture.h"
#include "views/main/ReportIssueCaptureBox.h"
#include "views/main/ReportIssueCapturePage.h"
#include "views/main/ReportIssueCheckRow.h"
#include "views/main/ReportIssueFailurePage.h"
#include "views/main/ReportIssueInfoPage.h"

namespace {

using Step = ReportIssueSheet::Step;

class SheetFlowTest : public SheetHarness {
protected:
    std::shared_ptr<SimApplication> launchExcel() {
        auto excel =
            std::make_shared<SimApplication>(QStringLiteral("com.microsoft.Excel"), QStringLiteral("Microsoft Excel"));
        session.launch(excel, false);
        return excel;
    }
    QPushButton* next() { return sheet->infoPage()->nextButton(); }
    ReportIssueCheckRow* excelRow() { return sheet->infoPage()->excelRow(); }
};

TEST_F(SheetFlowTest, OpensOnTheInfoPageWithChecksReadAtOnce) {
    present();
    EXPECT_EQ(sheet->size(), QSize(520, 500));
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->step(), Step::info);
    EXPECT_EQ(sheet->titleLabel()->text(), "Report an Issue");
    EXPECT_EQ(sheet->stepLabel()->text(), "Step 1 of 2");
    EXPECT_TRUE(sheet->hasCheckTimer());

    // Both permissions and Excel not running: the Excel row asks to open it, "Next →" works.
    EXPECT_EQ(excelRow()->detail(), "Not running");
    EXPECT_FALSE(excelRow()->actionButton()->isHidden());
    EXPECT_EQ(excelRow()->actionButton()->text(), "Open Excel");
    EXPECT_EQ(sheet->infoPage()->accessibilityRow()->detail(), "Granted");
    EXPECT_TRUE(sheet->infoPage()->accessibilityRow()->actionButton()->isHidden());
    EXPECT_TRUE(next()->isEnabled());
    saveScreenshot(*sheet, "sheet_info");

    QTest::mouseClick(excelRow()->actionButton(), Qt::LeftButton);
    EXPECT_EQ(session.runningApplications().size(), 1);  // launched; the row follows at the next tick
    EXPECT_EQ(excelRow()->detail(), "Not running");
    scheduler.advance(2.0);
    EXPECT_EQ(excelRow()->detail(), "Microsoft Excel");
    EXPECT_TRUE(excelRow()->actionButton()->isHidden());
}

TEST_F(SheetFlowTest, NextNeedsBothPermissionsAndFollowsTheTimerWithoutAClick) {
    session.setInputMonitoringGranted(false);
    present();
    EXPECT_FALSE(next()->isEnabled());
    ReportIssueCheckRow* im = sheet->infoPage()->inputMonitoringRow();
    EXPECT_EQ(im->detail(), "Open Settings → press + → add this app → toggle on");
    EXPECT_FALSE(im->actionButton()->isHidden());
    saveScreenshot(*sheet, "sheet_info_missing_permission");

    QTest::mouseClick(im->actionButton(), Qt::LeftButton);
    QTest::mouseClick(next(), Qt::LeftButton);  // disabled: nothing happens
    EXPECT_EQ(sheet->step(), Step::info);

    session.setInputMonitoringGranted(true);
    scheduler.advance(1.9);
    EXPECT_FALSE(next()->isEnabled());
    scheduler.advance(0.1);
    EXPECT_TRUE(next()->isEnabled());
    EXPECT_TRUE(im->actionButton()->isHidden());

    session.setAccessibilityTrusted(false);
    scheduler.advance(2.0);
    EXPECT_FALSE(next()->isEnabled());
    EXPECT_EQ(sheet->infoPage()->accessibilityRow()->detail(), "Required to generate AX report");
    QTest::mouseClick(sheet->infoPage()->accessibilityRow()->actionButton(), Qt::LeftButton);

    EXPECT_EQ(session.openedURLs(),
              (QList<QUrl>{QUrl("x-apple.systempreferences:com.apple.preference.security?Privacy_ListenEvent"),
                           QUrl("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility")}));
}

TEST_F(SheetFlowTest, ExcelWindowTitleRules) {
    auto excel = launchExcel();
    auto window = SimAXElement::make(QStringLiteral("AXWindow"), QStringLiteral("Budget.xlsx"));
    excel->applicationElement()->setElement(QStringLiteral("AXMainWindow"), window);
    present();
    EXPECT_EQ(excelRow()->detail(), "Budget.xlsx");
    EXPECT_TRUE(excelRow()->isOk());

    // A title that cannot be read keeps the name shown before.
    window->setAttributeError(QStringLiteral("AXTitle"), AXError::CannotComplete);
    scheduler.advance(2.0);
    EXPECT_EQ(excelRow()->detail(), "Budget.xlsx");

    window = SimAXElement::make(QStringLiteral("AXWindow"));
    window->setString(QStringLiteral("AXTitle"), QString(""));
    excel->applicationElement()->setElement(QStringLiteral("AXMainWindow"), window);
    scheduler.advance(2.0);
    EXPECT_EQ(excelRow()->detail(), "Microsoft Excel");

    window->setOtherValue(QStringLiteral("AXTitle"));
    excel->applicationElement()->setElement(QStringLiteral("AXMainWindow"), window);
    window->setString(QStringLiteral("AXTitle"), QStringLiteral("Q3.xlsx"));
    scheduler.advance(2.0);
    EXPECT_EQ(excelRow()->detail(), "Q3.xlsx");
    window->setOtherValue(QStringLiteral("AXTitle"));
    scheduler.advance(2.0);
    EXPECT_EQ(excelRow()->detail(), "Microsoft Excel");

    excel->applicationElement()->setAttributeError(QStringLiteral("AXMainWindow"), AXError::NoValue);
    scheduler.advance(2.0);
    EXPECT_EQ(excelRow()->detail(), "Microsoft Excel");

    session.quit(excel);
    scheduler.advance(2.0);
    EXPECT_EQ(excelRow()->detail(), "Not running");
    EXPECT_EQ(sheet->excelFileName(), std::nullopt);
}

TEST_F(SheetFlowTest, RecorderListensOnlyOnItsPageAndKeepsKeysAcrossPages) {
    present();
    click(Qt::Key_X, {}, QStringLiteral("x"));  // typed on the info page: not recorded
    EXPECT_FALSE(sheet->capture().isListening());

    QTest::mouseClick(next(), Qt::LeftButton);
    EXPECT_EQ(sheet->step(), Step::keyCapture);
    EXPECT_EQ(sheet->stepLabel()->text(), "Step 2 of 2");
    EXPECT_TRUE(sheet->capture().isListening());
    EXPECT_TRUE(sheet->capturePage()->captureBox()->showsPrompt());

    // Keys that would otherwise act on the sheet are only recorded.
    press(Qt::Key_Control);
    click(Qt::Key_C, Qt::ControlModifier, QStringLiteral("\x03"));
    release(Qt::Key_Control, Qt::ControlModifier);
    click(Qt::Key_Escape, {}, QStringLiteral("\x1b"));
    click(Qt::Key_Return, {}, QStringLiteral("\r"));
    click(Qt::Key_Space, {}, QStringLiteral(" "));
    click(Qt::Key_Tab, {}, QStringLiteral("\t"));
    EXPECT_EQ(sheet->step(), Step::keyCapture);
    EXPECT_TRUE(presented);
    const QStringList recorded{"⌃", "C", "⎋", "↩", "Space", "⇥"};
    EXPECT_EQ(sheet->capture().keys(), recorded);
    ASSERT_EQ(sheet->capturePage()->captureBox()->chips().size(), 6);
    EXPECT_EQ(sheet->capturePage()->captureBox()->chips().at(2)->text(), "⎋");
    saveScreenshot(*sheet, "sheet_key_capture");

    QTest::mouseClick(sheet->capturePage()->backButton(), Qt::LeftButton);
    EXPECT_EQ(sheet->step(), Step::info);
    EXPECT_FALSE(sheet->capture().isListening());
    EXPECT_EQ(keyMonitor.monitorCount(), 0);
    click(Qt::Key_Y, {}, QStringLiteral("y"));
    QTest::mouseClick(next(), Qt::LeftButton);
    EXPECT_EQ(sheet->capture().keys(), recorded);

    QTest::mouseClick(sheet->capturePage()->resetButton(), Qt::LeftButton);
    EXPECT_TRUE(sheet->capture().keys().isEmpty());
    EXPECT_TRUE(sheet->capturePage()->captureBox()->showsPrompt());
    EXPECT_TRUE(sheet->capture().isListening());
    saveScreenshot(*sheet, "sheet_key_capture_empty");
}

TEST_F(SheetFlowTest, CaptureBoxKeepsTheNewestKeyInView) {
    present();
    QTest::mouseClick(next(), Qt::LeftButton);
    const QString letters = QStringLiteral("QWERTYUIOPASDFGHJKLZ");
    for (QChar letter : letters) {
        click(Qt::Key_A + (letter.unicode() - u'A'), {}, QString(letter).toLower());
        QCoreApplication::processEvents();  // one key at a time, as typed
    }
    ReportIssueCaptureBox* box = sheet->capturePage()->captureBox();
    ASSERT_EQ(box->chips().size(), letters.size());
    const QWidget* viewport = box->findChild<QScrollArea*>()->viewport();
    const QLabel* newest = box->chips().last();
    const QRect shown(newest->mapTo(viewport, QPoint()), newest->size());
    EXPECT_TRUE(viewport->rect().contains(shown))
        << "newest chip at x " << shown.x() << ".." << shown.right() << ", viewport width " << viewport->width();
    saveScreenshot(*sheet, "sheet_key_capture_many");
}

// The ink of a chip's token in a picture of its window: its dark pixels, border left out.
QRectF inkBounds(const QImage& window, QWidget& chip) {
    const QPoint origin = chip.mapTo(chip.window(), QPoint());
    QRect ink;
    for (int y = 2; y < chip.height() - 2; ++y) {
        for (int x = 2; x < chip.width() - 2; ++x) {
            if (qGray(window.pixel(origin + QPoint(x, y))) < 128) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return QRectF(ink);
}

TEST_F(SheetFlowTest, KeySymbolsInChipsAreAsLargeAsLettersAndCentred) {
    present();
    QTest::mouseClick(next(), Qt::LeftButton);
    click(Qt::Key_C, {}, QStringLiteral("c"));
    click(Qt::Key_Left);
    click(Qt::Key_Right);
    click(Qt::Key_Tab, {}, QStringLiteral("\t"));
    click(Qt::Key_Backspace, {}, QStringLiteral("\b"));
    click(Qt::Key_Return, {}, QStringLiteral("\r"));
    QCoreApplication::processEvents();
    ASSERT_EQ(sheet->capture().keys(), (QStringList{"C", "←", "→", "⇥", "⌫", "↩"}));
    const QList<QLabel*> chips = sheet->capturePage()->captureBox()->chips();
    const QImage image = sheet->grab().toImage();
    const QRectF letter = inkBounds(image, *chips.first());
    for (QLabel* chip : chips.mid(1)) {
        const QRectF ink = inkBounds(image, *chip);
        const std::string token = chip->text().toStdString();
        EXPECT_GE(std::max(ink.width(), ink.height()), letter.height())
            << token << " " << ink.width() << "x" << ink.height() << ", letter " << letter.height() << " high";
        EXPECT_LT(std::abs(ink.center().y() - letter.center().y()), 1.0)
            << token << " centre y " << ink.center().y() << ", letter " << letter.center().y();
        EXPECT_LE(std::abs(ink.center().x() - chip->width() / 2.0), 1.0) << token << " centre x " << ink.center().x();
    }
    saveScreenshot(*sheet, "sheet_key_capture_symbols");
}

TEST_F(SheetFlowTest, ClosingStopsTheTimerAndTheRecorderAndANewPresentationStartsEmpty) {
    present();
    sheet->infoPage()->emailField()->setText(QStringLiteral("a@b.c"));
    QTest::mouseClick(next(), Qt::LeftButton);
    click(Qt::Key_Q, {}, QStringLiteral("q"));
    EXPECT_EQ(sheet->email(), "a@b.c");

    sheet->hide();  // what the presenter does once the flag drops
    EXPECT_FALSE(sheet->hasCheckTimer());
    EXPECT_FALSE(sheet->capture().isListening());
    EXPECT_EQ(keyMonitor.monitorCount(), 0);
    session.setInputMonitoringGranted(false);
    scheduler.advance(10.0);
    EXPECT_TRUE(sheet->imAccess());  // no check ran after closing

    present();
    EXPECT_EQ(sheet->step(), Step::info);
    EXPECT_TRUE(sheet->email().isEmpty());
    EXPECT_TRUE(sheet->capture().keys().isEmpty());
}

TEST_F(SheetFlowTest, EscapeCancelsOnlyOnTheInfoPage) {
    present();
    click(Qt::Key_Escape, {}, QStringLiteral("\x1b"));
    EXPECT_FALSE(presented);

    present();
    QTest::mouseClick(sheet->infoPage()->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(presented);
}

TEST_F(SheetFlowTest, FailurePageOffersTheSupportMail) {
    answer(503);
    present();
    QCoro::waitFor(sheet->submitReport());
    ASSERT_EQ(sheet->step(), Step::failure);
    EXPECT_EQ(sheet->failurePage()->emailButton()->text(), "Email help@keyloom.example");
    QTest::mouseClick(sheet->failurePage()->emailButton(), Qt::LeftButton);
    EXPECT_EQ(session.openedURLs(), (QList<QUrl>{QUrl("mailto:help@keyloom.example")}));
}

}  // namespace
