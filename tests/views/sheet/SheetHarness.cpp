#include "SheetHarness.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {
BundleInfo testBundle() {
    return BundleInfo{QStringLiteral("2.0.0"), QStringLiteral("200"), QStringLiteral("Version 14.5"),
                      QStringLiteral("x86_64")};
}
}  // namespace

SheetHarness::SheetHarness()
    : diagnostics(testBundle(), defaults, session.accessibility(), session.events(), session.workspace(), usage,
                  scheduler),
      api(network, server.url(), testBundle()) {
    api.configure(QStringLiteral("install-1"), QStringLiteral("secret-1"));
    session.setAccessibilityTrusted(true);
    session.setInputMonitoringGranted(true);
    session.install(QStringLiteral("com.microsoft.Excel"), [] {
        return std::make_shared<SimApplication>(QStringLiteral("com.microsoft.Excel"),
                                                QStringLiteral("Microsoft Excel"));
    });
    answer();
}

SheetHarness::~SheetHarness() {
    sheet.reset();
}

ReportIssueSheet& SheetHarness::present() {
    presented = true;
    ReportIssueSheet::Services services{scheduler,
                                        session.workspace(),
                                        session.accessibility(),
                                        session.events(),
                                        keyMonitor,
                                        diagnostics,
                                        api,
                                        QStringLiteral("help@keyloom.example")};
    sheet = std::make_unique<ReportIssueSheet>([this](bool value) { presented = value; }, services);
    sheet->show();
    return *sheet;
}

QByteArray SheetHarness::createReply(const QString& issueId, const QString& excelUrl, const QString& logUrl) const {
    QJsonObject reply{
        {"issue_id", issueId},
        {"status", "pending"},
        {"excel_file", "ax.txt"},
        {"log_file", "log.txt"},
        {"excel_upload_url", excelUrl.isNull() ? server.url("/upload/ax").toString() + "?sig=a%2Bb" : excelUrl},
        {"log_upload_url", logUrl.isNull() ? server.url("/upload/log").toString() + "?sig=c" : logUrl},
        {"expires_in_minutes", 15},
    };
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

void SheetHarness::answer(int createStatus, int uploadStatus, QByteArray createBody) {
    if (createBody.isEmpty()) {
        createBody = createReply(QStringLiteral("ISS-42"));
    }
    server.setHandler([=](const RecordedRequest& request) {
        CannedResponse response;
        if (request.method == "POST" && request.path == "/api/v1/issues") {
            response.status = createStatus;
            response.body = createBody;
        } else if (request.method == "PUT" && request.path.startsWith("/upload/")) {
            response.status = uploadStatus;
            response.body = "stored";
            response.contentType = "text/plain";
        } else if (request.method == "PATCH") {
            // A different id than the create reply's: the sheet must show the create reply's.
            response.body = R"({"issue_id":"PATCHED","status":"uploaded"})";
        } else {
            response.status = 404;
        }
        return response;
    });
}

void SheetHarness::press(int key, Qt::KeyboardModifiers mods, const QString& text) {
    qt_handleKeyEvent(sheet->windowHandle(), QEvent::KeyPress, key, mods, text);
}

void SheetHarness::release(int key, Qt::KeyboardModifiers mods, const QString& text) {
    qt_handleKeyEvent(sheet->windowHandle(), QEvent::KeyRelease, key, mods, text);
}

void SheetHarness::click(int key, Qt::KeyboardModifiers mods, const QString& text) {
    press(key, mods, text);
    release(key, mods, text);
}

bool SheetHarness::waitForStep(ReportIssueSheet::Step step) {
    return QTest::qWaitFor([&] { return sheet && sheet->step() == step; }, 5000);
}

QList<RecordedRequest> SheetHarness::requestsWith(const QString& method) const {
    QList<RecordedRequest> result;
    for (const RecordedRequest& r : server.requests()) {
        if (r.method == method) {
            result.append(r);
        }
    }
    return result;
}
