#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/BundleInfo.h"
#include "views/main/NavItem.h"

class APIClient;
class Accessibility;
class AppSettings;
class DashboardView;
class DiagnosticsService;
class EventServices;
class FeatureFlagService;
class KeyMonitor;
class LaunchAtLoginService;
class MainWindowLoadingCard;
class MainWindowSidebar;
class MainWindowUpdateOverlay;
class QSplitter;
class QStackedWidget;
class ReportIssueSheet;
class Scheduler;
class SettingsView;
class ShortcutListDetailView;
class ShortcutRepository;
class UpdaterService;
class UsageStore;
class Workspace;

// The content of the main window: the sidebar and the page it selects (dashboard, a shortcut
// list, settings), the issue-report sheet, the catalogue's loading card and, once an update is
// required, an overlay that blocks everything under it. It observes the settings, the
// repository, the feature flags and the updater, and keeps the selection, the search text and
// whether the sheet is shown. Main thread only.
class MainWindowView : public QWidget {
    Q_OBJECT
public:
    // The objects the window and its pages work with; all must outlive the view.
    struct Services {
        AppSettings& settings;
        ShortcutRepository& repository;
        FeatureFlagService& featureFlags;
        UpdaterService& updater;
        UsageStore& usageStore;
        Workspace& workspace;
        Accessibility& accessibility;
        EventServices& events;
        Scheduler& scheduler;
        LaunchAtLoginService& launchAtLogin;
        APIClient& api;
        BundleInfo bundle;
        KeyMonitor& keyMonitor;
        DiagnosticsService& diagnostics;
        QString supportEmail;
    };

    static constexpr int kMinimumWidth = 760;
    static constexpr int kMinimumHeight = 520;

    explicit MainWindowView(const Services& services, QWidget* parent = nullptr);
    ~MainWindowView() override;

    NavItem selectedItem() const { return m_selectedItem; }
    // A different item shows its page and empties the search text.
    void setSelectedItem(const NavItem& item);
    QString searchText() const { return m_searchText; }
    void setSearchText(const QString& searchText);
    bool showReportIssue() const { return m_showReportIssue; }
    // True presents a new issue sheet over the window; false closes it.
    void setShowReportIssue(bool show);

    MainWindowSidebar* sidebar() const { return m_sidebar; }
    QWidget* currentPage() const;
    DashboardView* dashboard() const { return m_dashboard; }
    SettingsView* settingsPage() const { return m_settingsPage; }
    ShortcutListDetailView* shortcutList() const { return m_list; }
    MainWindowLoadingCard* loadingCard() const { return m_loadingCard; }
    MainWindowUpdateOverlay* updateOverlay() const { return m_updateOverlay; }
    // The sheet shown now, if any.
    ReportIssueSheet* reportIssueSheet() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showDetail();
    void renderOverlays();
    void layoutOverlays();

    Services m_services;
    NavItem m_selectedItem = NavItem::dashboard();
    QString m_searchText;
    bool m_showReportIssue = false;

    QSplitter* m_split = nullptr;
    MainWindowSidebar* m_sidebar = nullptr;
    QStackedWidget* m_detail = nullptr;
    DashboardView* m_dashboard = nullptr;
    SettingsView* m_settingsPage = nullptr;
    ShortcutListDetailView* m_list = nullptr;
    MainWindowLoadingCard* m_loadingCard = nullptr;
    MainWindowUpdateOverlay* m_updateOverlay = nullptr;
    QPointer<ReportIssueSheet> m_sheet;
};
