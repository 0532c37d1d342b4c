#pragma once

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <memory>

#include "platform/UserDefaults.h"
#include "platform/qt/widgets/QtKeyMonitor.h"
#include "platform/sim/ManualScheduler.h"
#include "platform/sim/SimSession.h"
#include "services/APIClient.h"
#include "services/DiagnosticsService.h"
#include "services/PostHogService.h"
#include "services/UsageStore.h"
#include "support/HttpTestServer.h"
#include "views/main/ReportIssueSheet.h"

// A sheet over a fresh simulated session, with a local HTTP server standing in for the backend
// and for the pre-signed upload URLs. Both permissions start granted, Excel is installed but not
// running, and the backend answers every call successfully until a test says otherwise.
class SheetHarness : public ::testing::Test {
protected:
    SheetHarness();
    ~SheetHarness() override;

    // Shows a new sheet (one presentation).
    ReportIssueSheet& present();

    // The create reply with upload URLs on the test server; `issueId` names the issue.
    QByteArray createReply(const QString& issueId, const QString& excelUrl = {}, const QString& logUrl = {}) const;
    // Answers the backend's three calls and the uploads; `createStatus`/`uploadStatus` override
    // the successful answers.
    void answer(int createStatus = 200, int uploadStatus = 200, QByteArray createBody = {});

    // Types keys into the sheet's window the way the keyboard delivers them.
    void press(int key, Qt::KeyboardModifiers mods = {}, const QString& text = {});
    void release(int key, Qt::KeyboardModifiers mods = {}, const QString& text = {});
    void click(int key, Qt::KeyboardModifiers mods = {}, const QString& text = {});

    // Spins the event loop until the sheet shows `step` (or 5 s pass).
    bool waitForStep(ReportIssueSheet::Step step);
    QList<RecordedRequest> requestsWith(const QString& method) const;

    ManualScheduler scheduler;
    SimSession session;
    UserDefaults defaults;
    PostHogService analytics{QUrl()};
    UsageStore usage{defaults, scheduler, analytics};
    DiagnosticsService diagnostics;
    HttpTestServer server;
    QNetworkAccessManager network;
    APIClient api;
    QtKeyMonitor keyMonitor;
    bool presented = false;
    std::unique_ptr<ReportIssueSheet> sheet;
};
