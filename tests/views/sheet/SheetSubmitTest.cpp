#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkReply>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <algorithm>
#include <cstdio>

#include "SheetHarness.h"
#include "support/Screenshot.h"
#include "views/main/KeyCapture.h"
#include "views/main/ReportIssueCapturePage.h"
#include "views/main/ReportIssueFailurePage.h"
#include "views/main/ReportIssueInfoPage.h"
#include "views/main/ReportIssueSuccessPage.h"
#include "views/main/ReportIssueUploadingPage.h"

namespace {

using Step = ReportIssueSheet::Step;

const QString kAPIErrorText = QStringLiteral("The operation couldn’t be completed. (Keyloom.APIError error 0.)");
const QString kBadURLText = QStringLiteral("The operation couldn’t be completed. (NSURLErrorDomain error -1000.)");

// Takes connections and never answers.
struct SilentServer {
    SilentServer() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                ++accepted;
                QObject::connect(socket, &QTcpSocket::disconnected, [this] { ++closed; });
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/slow").arg(server.serverPort())); }

    QTcpServer server;
    int accepted = 0;
    int closed = 0;
};

class SheetSubmitTest : public SheetHarness {
protected:
    // Goes to the recorder page and types Option, H, B, A.
    void recordAltHBA() {
        QTest::mouseClick(sheet->infoPage()->nextButton(), Qt::LeftButton);
        ASSERT_EQ(sheet->step(), Step::keyCapture);
        press(Qt::Key_Alt);
        click(Qt::Key_H, Qt::AltModifier, QStringLiteral("˙"));
        release(Qt::Key_Alt, Qt::AltModifier);
        click(Qt::Key_B, {}, QStringLiteral("b"));
        click(Qt::Key_A, {}, QStringLiteral("a"));
    }
};

TEST_F(SheetSubmitTest, HappyPathSendsTheProtocolInOrderAndShowsTheCreatedId) {
    present();
    sheet->infoPage()->emailField()->setText(QStringLiteral("ana@example.org"));
    recordAltHBA();
    ASSERT_EQ(sheet->capture().keys(), (QStringList{"⌥", "H", "B", "A"}));

    QStringList progress;
    QObject::connect(sheet.get(), &ReportIssueSheet::stateChanged, [&] {
        // The page switches first (still without a progress text), then the texts follow.
        if (!sheet->uploadProgress().isEmpty() && (progress.isEmpty() || progress.last() != sheet->uploadProgress())) {
            progress.append(sheet->uploadProgress());
        }
    });
    QTest::mouseClick(sheet->capturePage()->generateButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet->capture().isListening());  // stopped before anything else
    ASSERT_TRUE(waitForStep(Step::success));

    EXPECT_EQ(progress, (QStringList{"Generating diagnostic data…", "Creating issue report…",
                                     "Uploading diagnostic files…", "Finalizing…"}));
    const QList<RecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 4);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/api/v1/issues");
    EXPECT_EQ(requests[0].body, "{}");
    EXPECT_EQ(requests[0].header("X-Install-Id"), "install-1");
    EXPECT_EQ(requests[3].method, "PATCH");
    EXPECT_EQ(requests[3].path, "/api/v1/issues/ISS-42");

    // The two uploads, in whichever order they arrived, unauthenticated, to the pre-signed URLs.
    QMap<QString, RecordedRequest> uploads;
    for (int i : {1, 2}) {
        EXPECT_EQ(requests[i].method, "PUT");
        EXPECT_FALSE(requests[i].hasHeader("X-Api-Key"));
        uploads.insert(requests[i].path, requests[i]);
    }
    ASSERT_TRUE(uploads.contains("/upload/ax") && uploads.contains("/upload/log"));
    EXPECT_EQ(uploads["/upload/ax"].query, "sig=a%2Bb");
    EXPECT_EQ(QString::fromUtf8(uploads["/upload/ax"].body), "=== Excel AX Hierarchy ===\n[Excel not running]");
    const QString log = QString::fromUtf8(uploads["/upload/log"].body);
    EXPECT_TRUE(log.startsWith("=== QMX Diagnostic Log ===")) << log.toStdString();
    EXPECT_TRUE(log.contains("Email: ana@example.org")) << log.toStdString();
    EXPECT_TRUE(log.contains("=== Reported Key Sequence ===\n⌥ → H → B → A\n")) << log.toStdString();

    EXPECT_EQ(sheet->completedIssueId(), std::optional<QString>("ISS-42"));
    EXPECT_FALSE(sheet->successPage()->referenceBox()->isHidden());
    EXPECT_EQ(sheet->successPage()->issueIdLabel()->text(), "ISS-42");
    EXPECT_TRUE(sheet->stepLabel()->text().isEmpty());
    saveScreenshot(*sheet, "sheet_success");

    QTest::mouseClick(sheet->successPage()->closeButton(), Qt::LeftButton);
    EXPECT_FALSE(presented);
}

TEST_F(SheetSubmitTest, NoKeysRecordedStillSubmitsAndTheLogSaysNone) {
    present();
    QTest::mouseClick(sheet->infoPage()->nextButton(), Qt::LeftButton);
    QTest::mouseClick(sheet->capturePage()->generateButton(), Qt::LeftButton);
    ASSERT_TRUE(waitForStep(Step::success));
    const QList<RecordedRequest> puts = requestsWith("PUT");
    ASSERT_EQ(puts.size(), 2);
    const RecordedRequest& logUpload = puts[0].path == "/upload/log" ? puts[0] : puts[1];
    EXPECT_TRUE(QString::fromUtf8(logUpload.body).contains("=== Reported Key Sequence ===\n(none)\n"));
    EXPECT_TRUE(QString::fromUtf8(logUpload.body).contains("Email: (none)"));
}

TEST_F(SheetSubmitTest, CreateFailureUploadsNothingAndRetryCreatesANewIssue) {
    answer(500);
    present();
    recordAltHBA();
    QTest::mouseClick(sheet->capturePage()->generateButton(), Qt::LeftButton);
    ASSERT_TRUE(waitForStep(Step::failure));
    EXPECT_EQ(sheet->errorMessage(), std::optional<QString>(kAPIErrorText));
    EXPECT_EQ(sheet->failurePage()->errorLabel()->text(), kAPIErrorText);
    EXPECT_EQ(requestsWith("PUT").size(), 0);
    EXPECT_EQ(requestsWith("PATCH").size(), 0);
    // Progress and keys are left as they were.
    EXPECT_EQ(sheet->uploadProgress(), "Creating issue report…");
    EXPECT_EQ(sheet->capture().keys().size(), 4);
    saveScreenshot(*sheet, "sheet_failure");

    answer();
    QTest::mouseClick(sheet->failurePage()->retryButton(), Qt::LeftButton);
    EXPECT_EQ(sheet->step(), Step::uploading);
    ASSERT_TRUE(waitForStep(Step::success));
    EXPECT_EQ(requestsWith("POST").size(), 2);
    EXPECT_EQ(requestsWith("PUT").size(), 2);
    const QList<RecordedRequest> puts = requestsWith("PUT");
    const RecordedRequest& logUpload = puts[0].path == "/upload/log" ? puts[0] : puts[1];
    EXPECT_TRUE(QString::fromUtf8(logUpload.body).contains("⌥ → H → B → A"));
}

TEST_F(SheetSubmitTest, InvalidUploadUrlFailsBeforeAnyUpload) {
    present();
    const QString validAx = server.url("/upload/ax").toString();
    for (const QString& badLog : {QStringLiteral("not a url"), QString(""), QStringLiteral("file:///tmp/keyloom-log"),
                                  QStringLiteral("relative/path")}) {
        server.clear();
        answer(200, 200, createReply(QStringLiteral("ISS-7"), validAx, badLog));
        QCoro::waitFor(sheet->submitReport());
        EXPECT_EQ(sheet->step(), Step::failure) << badLog.toStdString();
        EXPECT_EQ(sheet->errorMessage(), std::optional<QString>(kBadURLText)) << badLog.toStdString();
        EXPECT_EQ(requestsWith("POST").size(), 1);
        EXPECT_EQ(requestsWith("PUT").size(), 0) << badLog.toStdString();
    }
}

TEST_F(SheetSubmitTest, UploadAnswering201FailsAndMarksNothing) {
    answer(200, 201);
    present();
    QCoro::waitFor(sheet->submitReport());
    EXPECT_EQ(sheet->step(), Step::failure);
    EXPECT_EQ(sheet->errorMessage(), std::optional<QString>(kAPIErrorText));
    // The first failure cancels the other upload, which may not have reached the server.
    EXPECT_GE(requestsWith("PUT").size(), 1);
    EXPECT_EQ(requestsWith("PATCH").size(), 0);
    EXPECT_EQ(sheet->completedIssueId(), std::nullopt);
}

// A failing upload cancels the other one, which would otherwise run to its time-out, and the failure
// is shown once that one has ended; whichever of the two fails.
TEST_F(SheetSubmitTest, AFailedUploadCancelsTheSlowOneAndFailsAtOnce) {
    SilentServer silent;
    bool otherEndedFirst = false;
    for (const bool dumpFails : {true, false}) {
        SCOPED_TRACE(dumpFails ? "dump upload fails" : "log upload fails");
        server.clear();
        silent.accepted = silent.closed = 0;
        const QString failing = server.url(dumpFails ? "/upload/ax" : "/upload/log").toString();
        const QString slow = silent.url().toString();
        answer(200, 500, createReply(QStringLiteral("ISS-5"), dumpFails ? failing : slow, dumpFails ? slow : failing));
        ReportIssueSheet* shown = &present();
        otherEndedFirst = false;
        QObject::connect(shown, &ReportIssueSheet::stateChanged, [shown, &otherEndedFirst, this] {
            if (shown->step() == Step::failure) {
                const QList<QNetworkReply*> replies = network.findChildren<QNetworkReply*>();
                otherEndedFirst = std::none_of(replies.begin(), replies.end(), [](auto* r) { return r->isRunning(); });
            }
        });
        QTest::mouseClick(sheet->infoPage()->nextButton(), Qt::LeftButton);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(sheet->capturePage()->generateButton(), Qt::LeftButton);

        if (!waitForStep(Step::failure)) {
            ADD_FAILURE() << "no failure shown after " << clock.elapsed() << " ms";
            continue;
        }
        std::printf("failure shown after %lld ms\n", static_cast<long long>(clock.elapsed()));
        EXPECT_EQ(sheet->errorMessage(), std::optional<QString>(kAPIErrorText));
        EXPECT_TRUE(otherEndedFirst);
        EXPECT_TRUE(QTest::qWaitFor([&] { return silent.accepted == 1 && silent.closed == 1; }, 5000))
            << silent.accepted << " accepted, " << silent.closed << " closed";
        EXPECT_EQ(requestsWith("PATCH").size(), 0);
    }
}

TEST_F(SheetSubmitTest, UnreachableBackendShowsTheTransportMessage) {
    APIClient offline(network, QUrl(QStringLiteral("http://127.0.0.1:1")), BundleInfo::current());
    offline.configure(QStringLiteral("i"), QStringLiteral("s"));
    ReportIssueSheet::Services services{scheduler,
                                        session.workspace(),
                                        session.accessibility(),
                                        session.events(),
                                        keyMonitor,
                                        diagnostics,
                                        offline,
                                        QStringLiteral("help@keyloom.example")};
    ReportIssueSheet offlineSheet([](bool) {}, services);
    offlineSheet.show();
    QCoro::waitFor(offlineSheet.submitReport());
    EXPECT_EQ(offlineSheet.step(), Step::failure);
    ASSERT_TRUE(offlineSheet.errorMessage().has_value());
    EXPECT_FALSE(offlineSheet.errorMessage()->isEmpty());
    EXPECT_NE(*offlineSheet.errorMessage(), kAPIErrorText);
}

TEST_F(SheetSubmitTest, UploadingPageAndASubmissionThatOutlivesTheSheet) {
    server.setHandler([this](const RecordedRequest& request) {
        CannedResponse response;
        if (request.method == "POST") {
            response.body = createReply(QStringLiteral("ISS-9"));
            response.delaySeconds = 0.5;
        } else if (request.method == "PATCH") {
            response.body = R"({"issue_id":"ISS-9","status":"uploaded"})";
        }
        return response;
    });
    present();
    QTest::mouseClick(sheet->infoPage()->nextButton(), Qt::LeftButton);
    QTest::mouseClick(sheet->capturePage()->generateButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->uploadProgress() == "Creating issue report…"; }, 5000));
    EXPECT_EQ(sheet->uploadingPage()->progressText(), "Creating issue report…");
    saveScreenshot(*sheet, "sheet_uploading");

    // Closing the sheet does not cancel the submission: it finishes its requests on its own.
    sheet.reset();
    ASSERT_TRUE(server.waitForRequests(4));
    EXPECT_EQ(server.requests().last().method, "PATCH");
    // ...and its replies: none is left behind (one still open when the network goes would keep the
    // submission suspended for good).
    EXPECT_TRUE(QTest::qWaitFor([&] { return network.findChildren<QNetworkReply*>().isEmpty(); }, 5000));
}

}  // namespace
