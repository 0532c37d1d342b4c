#include "platform/qt/widgets/SimSessionWindows.h"

#include "platform/qt/widgets/SimSettingsPanel.h"
#include "platform/qt/widgets/SimSpreadsheetWindow.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimSpreadsheet.h"

namespace {

void bringForward(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

SimSessionWindows::SimSessionWindows(SimSession& session, QObject* parent) : QObject(parent), m_session(session) {
    // Each launch starts a fresh spreadsheet, as reopening the application does.
    m_session.install(QString::fromLatin1(SimSpreadsheet::bundleId), [this] {
        m_spreadsheet = std::make_shared<SimSpreadsheet>();
        return std::static_pointer_cast<SimApplication>(m_spreadsheet);
    });
    connect(&m_session, &SimSession::applicationsChanged, this, &SimSessionWindows::applicationsChanged);
    connect(&m_session, &SimSession::systemSettingsRequested, this, &SimSessionWindows::showSettings);
}

SimSessionWindows::~SimSessionWindows() {
    // The factory refers to this object.
    m_session.install(QString::fromLatin1(SimSpreadsheet::bundleId), nullptr);
    delete m_window.data();
    delete m_panel.data();
}

SimSpreadsheetWindow* SimSessionWindows::spreadsheetWindow() const {
    return m_window;
}

SimSettingsPanel* SimSessionWindows::settingsPanel() const {
    return m_panel;
}

bool SimSessionWindows::isRunning(const std::shared_ptr<SimSpreadsheet>& spreadsheet) const {
    return spreadsheet && m_session.runningApplications().contains(spreadsheet);
}

void SimSessionWindows::applicationsChanged() {
    if (isRunning(m_spreadsheet)) {
        if (m_window && m_window->spreadsheet() != m_spreadsheet) {
            m_window->deleteLater();
            m_window = nullptr;
        }
        if (!m_window) {
            m_window = new SimSpreadsheetWindow(m_session, m_spreadsheet);
            m_window->setAttribute(Qt::WA_DeleteOnClose);
            bringForward(m_window);
        } else if (m_session.frontmost() == m_spreadsheet && !m_window->isActiveWindow()) {
            bringForward(m_window);
        }
    } else if (m_window) {
        // Quit from elsewhere: the window goes with the application.
        m_window->hide();
        m_window->deleteLater();
        m_window = nullptr;
    }
}

void SimSessionWindows::showSettings(const QUrl& url) {
    if (!m_panel) {
        m_panel = new SimSettingsPanel(m_session);
        m_panel->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_panel->showPane(url);
    bringForward(m_panel);
}
