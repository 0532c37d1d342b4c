#include "views/main/DashboardView.h"

#include <QHBoxLayout>
#include <QUrl>
#include <QVBoxLayout>

#include "BuildConfig.h"
#include "models/AppSettings.h"
#include "platform/Accessibility.h"
#include "platform/EventServices.h"
#include "platform/Scheduler.h"
#include "platform/Workspace.h"
#include "services/ExcelDetector.h"
#include "services/UsageStore.h"
#include "views/main/DashboardExcelHeader.h"
#include "views/main/DashboardInsights.h"
#include "views/main/DashboardPowerCard.h"
#include "views/main/DashboardSuggestionCard.h"
#include "views/main/DashboardTopShortcutsCard.h"
#include "views/main/DashboardUsageCard.h"

const QString DashboardView::excelBundleIdentifier = QStringLiteral("com.microsoft.Excel");
const QString DashboardView::inputMonitoringSettingsUrl =
    QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_ListenEvent");

DashboardView::DashboardView(AppSettings& settings, UsageStore& usageStore, Workspace& workspace,
                             Accessibility& accessibility, EventServices& events, Scheduler& scheduler, QWidget* parent)
    : QScrollArea(parent),
      m_settings(settings),
      m_usageStore(usageStore),
      m_workspace(workspace),
      m_accessibility(accessibility),
      m_events(events),
      m_scheduler(scheduler),
      m_detector(std::make_unique<ExcelDetector>(workspace, accessibility, scheduler)),
      m_alive(std::make_shared<bool>(true)) {
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("dashboardContent"));
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(14, 8, 14, 14);
    column->setSpacing(14);

    m_header = new DashboardExcelHeader(content);
    m_power = new DashboardPowerCard(scheduler, content);
    m_usage = new DashboardUsageCard(content);
    column->addWidget(m_header);
    column->addWidget(m_power);
    column->addWidget(m_usage);

    auto* insights = new QHBoxLayout;
    insights->setSpacing(12);
    m_top = new DashboardTopShortcutsCard(content);
    m_suggestion = new DashboardSuggestionCard(content);
    insights->addWidget(m_top, 1, Qt::AlignTop);
    insights->addWidget(m_suggestion, 1, Qt::AlignTop);
    column->addLayout(insights);
    column->addStretch(1);
    setWidget(content);

    connect(m_header, &DashboardExcelHeader::openExcelRequested, this, &DashboardView::openExcel);
    connect(m_power, &DashboardPowerCard::powerTapped, this, &DashboardView::handlePowerTap);
    connect(m_power, &DashboardPowerCard::grantAccessibilityRequested, this, &DashboardView::openAccessibilitySettings);
    connect(m_power, &DashboardPowerCard::grantInputMonitoringRequested, this,
            &DashboardView::openInputMonitoringSettings);
    connect(m_power, &DashboardPowerCard::privacyPolicyRequested, this, &DashboardView::openPrivacyPolicy);

    connect(&m_settings, &AppSettings::objectWillChange, this, &DashboardView::scheduleRefresh);
    connect(&m_usageStore, &UsageStore::objectWillChange, this, &DashboardView::scheduleRefresh);
    connect(m_detector.get(), &ExcelDetector::isExcelRunningChanged, this, &DashboardView::scheduleRefresh);
    connect(m_detector.get(), &ExcelDetector::currentFileNameChanged, this, &DashboardView::scheduleRefresh);

    refresh();
}

DashboardView::~DashboardView() {
    *m_alive = false;
    m_detector->stopMonitoring();
}

EngineStatus DashboardView::status() const {
    return EngineStatuses::evaluate(m_accessibility, m_events, m_settings.isPaused(), m_detector->isExcelRunning());
}

void DashboardView::refresh() {
    m_refreshPending = false;
    m_header->setExcelState(m_detector->isExcelRunning(), m_detector->currentFileName());

    const EngineStatus current = status();
    bool trusted = true;
    bool listening = true;
    if (current == EngineStatus::noPermission) {
        // The permission block asks each grant on its own, whatever the status rule asked.
        trusted = m_accessibility.isProcessTrusted();
        listening = m_events.preflightListenEventAccess();
    }
    m_power->setState(current, trusted, listening);

    m_usage->setDays(m_usageStore.last7DaysDetailed());
    const QList<SequenceRecord> top = m_usageStore.topShortcuts();
    m_top->setRecords(top);
    const std::optional<SuggestedShortcut> suggestion = DashboardInsights::suggestion(top);
    if (suggestion) {
        m_suggestion->setSuggestion(*suggestion);
    }
    m_suggestion->setVisible(suggestion.has_value());
}

void DashboardView::scheduleRefresh() {
    if (m_refreshPending) {
        return;
    }
    m_refreshPending = true;
    std::weak_ptr<bool> alive = m_alive;
    m_scheduler.post([this, alive] {
        if (auto still = alive.lock(); still && *still) {
            refresh();
        }
    });
}

void DashboardView::showEvent(QShowEvent* event) {
    QScrollArea::showEvent(event);
    m_detector->startMonitoring();
}

void DashboardView::hideEvent(QHideEvent* event) {
    QScrollArea::hideEvent(event);
    m_detector->stopMonitoring();
}

void DashboardView::handlePowerTap() {
    switch (EngineStatuses::powerTapAction(status())) {
        case PowerTapAction::pause:
            m_settings.setIsPaused(true);
            break;
        case PowerTapAction::resume:
            m_settings.setIsPaused(false);
            break;
        case PowerTapAction::openExcel:
            openExcel();
            break;
        case PowerTapAction::promptAccessibility:
            openAccessibilitySettings();
            break;
    }
}

void DashboardView::openExcel() {
    // Not installed: nothing happens and nothing is shown.
    if (const std::optional<QUrl> url = m_workspace.urlForApplication(excelBundleIdentifier)) {
        m_workspace.openApplication(*url);
    }
}

void DashboardView::openAccessibilitySettings() {
    m_accessibility.isProcessTrustedWithOptions(true);
}

void DashboardView::openInputMonitoringSettings() {
    m_workspace.openURL(QUrl(inputMonitoringSettingsUrl));
}

void DashboardView::openPrivacyPolicy() {
    m_workspace.openURL(QUrl(QString::fromUtf8(keyloom::build::privacyUrl)));
}
