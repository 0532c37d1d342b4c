#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <memory>

class SimSession;
class SimSettingsPanel;
class SimSpreadsheet;
class SimSpreadsheetWindow;

// Makes the simulated session visible: installs the simulated spreadsheet (not running), gives
// it a window whenever it is launched and closes that window when it quits, and shows the
// simulated settings panel whenever a System Settings link is opened. Owns the windows it
// shows. Main thread only.
class SimSessionWindows : public QObject {
    Q_OBJECT
public:
    explicit SimSessionWindows(SimSession& session, QObject* parent = nullptr);
    ~SimSessionWindows() override;

    // The spreadsheet launched last, running or not; null before the first launch.
    std::shared_ptr<SimSpreadsheet> spreadsheet() const { return m_spreadsheet; }
    // The spreadsheet's window while it runs.
    SimSpreadsheetWindow* spreadsheetWindow() const;
    // The settings panel once a System Settings link was opened (until the user closes it).
    SimSettingsPanel* settingsPanel() const;

private:
    void applicationsChanged();
    void showSettings(const QUrl& url);
    bool isRunning(const std::shared_ptr<SimSpreadsheet>& spreadsheet) const;

    SimSession& m_session;
    std::shared_ptr<SimSpreadsheet> m_spreadsheet;
    QPointer<SimSpreadsheetWindow> m_window;
    QPointer<SimSettingsPanel> m_panel;
};
