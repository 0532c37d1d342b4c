#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>

#include "models/AppSettings.h"
#include "platform/UserDefaults.h"
#include "platform/sim/ManualScheduler.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimSpreadsheet.h"
#include "services/ExcelDetector.h"
#include "services/PostHogService.h"
#include "services/UsageStore.h"
#include "views/main/DashboardView.h"

// A dashboard on a fresh simulated session with both permissions granted, Excel installed but not
// running, in-memory defaults and virtual time.
class DashboardFixture : public ::testing::Test {
protected:
    void SetUp() override {
        session.setAccessibilityTrusted(true);
        session.setInputMonitoringGranted(true);
        session.install(QStringLiteral("com.microsoft.Excel"), [] {
            return std::make_shared<SimSpreadsheet>(QStringLiteral("Budget.xlsx - Microsoft Excel"));
        });
    }

    // Usage as the store would have persisted it: today's key is the last day of the chart.
    void storeUsage(const QVariantMap& dailyCounts, const QList<QPair<QString, qint64>>& records) {
        defaults.setObject(dailyCounts, QStringLiteral("usageDailyCounts"));
        QJsonObject json;
        int key = 0;
        for (const auto& [name, count] : records) {
            json.insert(QString::number(++key), QJsonObject{{"name", name}, {"count", count}});
        }
        defaults.setObject(QJsonDocument(json).toJson(QJsonDocument::Compact), QStringLiteral("usageRecords"));
    }

    QString dayKey(int offset) const {
        return scheduler.now().date().addDays(offset).toString(QStringLiteral("yyyy-MM-dd"));
    }

    DashboardView& showDashboard() {
        store = std::make_unique<UsageStore>(defaults, scheduler, analytics);
        view = std::make_unique<DashboardView>(settings, *store, session.workspace(), session.accessibility(),
                                               session.events(), scheduler);
        view->resize(720, 680);
        view->show();
        settle();
        return *view;
    }

    // Runs what is due now (the detector's publication and the redraw it asks for), then lets
    // the widgets lay themselves out.
    void settle() {
        scheduler.runPending();
        QApplication::processEvents();
    }

    // One refresh period of the detector.
    void tick() {
        scheduler.advance(ExcelDetector::monitoringInterval);
        settle();
    }

    std::shared_ptr<SimSpreadsheet> launchExcel(
        const QString& title = QStringLiteral("Budget.xlsx - Microsoft Excel")) {
        auto excel = std::make_shared<SimSpreadsheet>(title);
        session.launch(excel);
        // The detector sees it at its next refresh.
        tick();
        return excel;
    }

    SimSession session;
    ManualScheduler scheduler;
    UserDefaults defaults;
    AppSettings settings{defaults};
    PostHogService analytics{QUrl()};
    std::unique_ptr<UsageStore> store;
    std::unique_ptr<DashboardView> view;
};
