#include "views/main/MainWindowView.h"

#include <QSplitter>
#include <QStackedWidget>

#include "models/AppSettings.h"
#include "platform/UserDefaults.h"
#include "services/ShortcutRepository.h"
#include "services/UpdaterService.h"
#include "views/main/DashboardView.h"
#include "views/main/MainWindowLoadingCard.h"
#include "views/main/MainWindowSidebar.h"
#include "views/main/MainWindowUpdateOverlay.h"
#include "views/main/ReportIssueSheet.h"
#include "views/main/ShortcutListDetailView.h"
#include "views/settings/SettingsView.h"

MainWindowView::MainWindowView(const Services& services, QWidget* parent) : QWidget(parent), m_services(services) {
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    m_split = new QSplitter(Qt::Horizontal, this);
    m_split->setChildrenCollapsible(false);
    m_sidebar = new MainWindowSidebar(m_split);
    m_sidebar->setMinimumWidth(180);
    m_sidebar->setMaximumWidth(215);
    m_detail = new QStackedWidget(m_split);
    m_split->addWidget(m_sidebar);
    m_split->addWidget(m_detail);
    m_split->setStretchFactor(1, 1);
    m_split->setSizes({195, kMinimumWidth - 195});

    m_dashboard = new DashboardView(services.settings, services.usageStore, services.workspace, services.accessibility,
                                    services.events, services.scheduler, m_detail);
    m_list = new ShortcutListDetailView(services.repository, m_detail);
    m_settingsPage = new SettingsView(services.settings, services.launchAtLogin, services.updater, services.api,
                                      services.workspace, services.bundle, m_detail);
    m_detail->addWidget(m_dashboard);
    m_detail->addWidget(m_list);
    m_detail->addWidget(m_settingsPage);

    m_loadingCard = new MainWindowLoadingCard(this);
    m_updateOverlay = new MainWindowUpdateOverlay(this);

    connect(m_sidebar, &MainWindowSidebar::itemClicked, this, &MainWindowView::setSelectedItem);
    connect(m_sidebar, &MainWindowSidebar::reportIssueClicked, this, [this] { setShowReportIssue(true); });
    connect(m_list, &ShortcutListDetailView::searchTextEdited, this, &MainWindowView::setSearchText);
    connect(m_updateOverlay, &MainWindowUpdateOverlay::installClicked, this,
            [this] { m_services.updater.checkForUpdates(); });
    connect(&services.repository, &ShortcutRepository::isLoadingChanged, this, &MainWindowView::renderOverlays);
    connect(&services.updater, &UpdaterService::updateRequiredChanged, this, &MainWindowView::renderOverlays);
    // Any write to the defaults may be the device id's first one.
    connect(&services.settings.defaults(), &UserDefaults::didChange, this,
            [this] { m_sidebar->setDeviceId(m_services.settings.deviceId()); });

    m_sidebar->setDeviceId(services.settings.deviceId());
    m_sidebar->setSelectedItem(m_selectedItem);
    showDetail();
    renderOverlays();
}

MainWindowView::~MainWindowView() {
    // The sheet is a child window; take it down first so it stops its timer and recorder.
    delete m_sheet.data();
}

void MainWindowView::setSelectedItem(const NavItem& item) {
    m_sidebar->setSelectedItem(item);
    if (item == m_selectedItem) {
        return;
    }
    m_selectedItem = item;
    m_searchText.clear();
    showDetail();
}

void MainWindowView::setSearchText(const QString& searchText) {
    m_searchText = searchText;
    m_list->setSearchText(searchText);
}

void MainWindowView::setShowReportIssue(bool show) {
    m_showReportIssue = show;
    if (show && !m_sheet) {
        ReportIssueSheet::Services sheetServices{m_services.scheduler, m_services.workspace,   m_services.accessibility,
                                                 m_services.events,    m_services.keyMonitor,  m_services.diagnostics,
                                                 m_services.api,       m_services.supportEmail};
        m_sheet =
            new ReportIssueSheet([this](bool presented) { setShowReportIssue(presented); }, sheetServices, window());
        m_sheet->show();
    } else if (!show && m_sheet) {
        ReportIssueSheet* sheet = m_sheet.data();
        m_sheet.clear();
        sheet->hide();
        // Later: the sheet may be in the middle of its own button's click.
        sheet->deleteLater();
    }
}

ReportIssueSheet* MainWindowView::reportIssueSheet() const {
    return m_sheet.data();
}

QWidget* MainWindowView::currentPage() const {
    return m_detail->currentWidget();
}

void MainWindowView::showDetail() {
    switch (m_selectedItem.kind) {
        case NavItem::Kind::dashboard:
            m_detail->setCurrentWidget(m_dashboard);
            break;
        case NavItem::Kind::settings:
            m_detail->setCurrentWidget(m_settingsPage);
            break;
        default:
            m_list->configure(m_selectedItem.listTitle(), m_selectedItem.listCategories());
            m_list->setSearchText(m_searchText);
            m_detail->setCurrentWidget(m_list);
            break;
    }
}

void MainWindowView::renderOverlays() {
    m_loadingCard->setVisible(m_services.repository.isLoading());
    const bool blocked = m_services.updater.updateRequired();
    m_updateOverlay->setVisible(blocked);
    // Keyboard focus must not reach anything under the overlay either.
    m_split->setEnabled(!blocked);
    m_loadingCard->raise();
    m_updateOverlay->raise();
    if (blocked) {
        m_updateOverlay->setFocus();
    }
    layoutOverlays();
}

void MainWindowView::layoutOverlays() {
    m_split->setGeometry(rect());
    m_loadingCard->adjustSize();
    QRect card(QPoint(), m_loadingCard->sizeHint());
    card.moveCenter(rect().center());
    m_loadingCard->setGeometry(card);
    m_updateOverlay->setGeometry(rect());
}

void MainWindowView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutOverlays();
}
