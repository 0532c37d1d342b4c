#pragma once

#include <QScrollArea>
#include <memory>

#include "views/main/EngineStatus.h"

class Accessibility;
class AppSettings;
class DashboardExcelHeader;
class DashboardPowerCard;
class DashboardSuggestionCard;
class DashboardTopShortcutsCard;
class DashboardUsageCard;
class EventServices;
class ExcelDetector;
class Scheduler;
class UsageStore;
class Workspace;

// The dashboard page: whether Excel is open, whether shortcuts work now (with the power button
// and permission requests), and how they have been used. It writes only the pause setting;
// everything else it does is asking the platform to open something or to prompt.
//
// It owns its Excel detector, which monitors while the page is on screen. Any change announced
// by the settings, the usage store or the detector redraws the page on a later turn (the
// settings and the store announce before they change); permissions are re-read at each redraw.
class DashboardView : public QScrollArea {
    Q_OBJECT
public:
    DashboardView(AppSettings& settings, UsageStore& usageStore, Workspace& workspace, Accessibility& accessibility,
                  EventServices& events, Scheduler& scheduler, QWidget* parent = nullptr);
    ~DashboardView() override;

    // The status rule, evaluated afresh at each call.
    EngineStatus status() const;

    // Redraws every card from the current values.
    void refresh();

    ExcelDetector& detector() const { return *m_detector; }
    DashboardExcelHeader* excelHeader() const { return m_header; }
    DashboardPowerCard* powerCard() const { return m_power; }
    DashboardUsageCard* usageCard() const { return m_usage; }
    DashboardTopShortcutsCard* topShortcutsCard() const { return m_top; }
    DashboardSuggestionCard* suggestionCard() const { return m_suggestion; }

    static const QString excelBundleIdentifier;
    static const QString inputMonitoringSettingsUrl;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void scheduleRefresh();
    void handlePowerTap();
    void openExcel();
    void openAccessibilitySettings();
    void openInputMonitoringSettings();
    void openPrivacyPolicy();

    AppSettings& m_settings;
    UsageStore& m_usageStore;
    Workspace& m_workspace;
    Accessibility& m_accessibility;
    EventServices& m_events;
    Scheduler& m_scheduler;
    std::unique_ptr<ExcelDetector> m_detector;
    // Shared with the deferred redraw so that a redraw after the view is gone does nothing.
    std::shared_ptr<bool> m_alive;
    bool m_refreshPending = false;

    DashboardExcelHeader* m_header = nullptr;
    DashboardPowerCard* m_power = nullptr;
    DashboardUsageCard* m_usage = nullptr;
    DashboardTopShortcutsCard* m_top = nullptr;
    DashboardSuggestionCard* m_suggestion = nullptr;
};
