#pragma once

#include <QUrl>
#include <QWidget>

class QCheckBox;
class QLabel;
class SimSession;

// The simulated System Settings: the Privacy & Security pane with the two switches this
// application needs, Accessibility and Input Monitoring, bound both ways to the session's
// permissions. Shown when a System Settings privacy link is opened. Main thread only.
class SimSettingsPanel : public QWidget {
    Q_OBJECT
public:
    explicit SimSettingsPanel(SimSession& session, QWidget* parent = nullptr);

    // Marks the switch the link asks for ("…?Privacy_Accessibility", "…?Privacy_ListenEvent").
    void showPane(const QUrl& url);

    QCheckBox* accessibilitySwitch() const { return m_accessibility; }
    QCheckBox* inputMonitoringSwitch() const { return m_inputMonitoring; }
    QString paneText() const;

private:
    void syncFromSession();

    SimSession& m_session;
    QLabel* m_pane = nullptr;
    QCheckBox* m_accessibility = nullptr;
    QCheckBox* m_inputMonitoring = nullptr;
};
