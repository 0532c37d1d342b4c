#pragma once

#include <QCoro/QCoroTask>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <optional>

class APIClient;
class AppSettings;
class LaunchAtLoginService;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class UpdaterService;
class Workspace;

// The General tab: login item, Dock icon, the interactive update check and the user's profile,
// which is saved to the backend. The inputs are reloaded from the settings each time the tab
// comes on screen, so unsaved edits do not survive a hide and show.
class GeneralSettingsView : public QWidget {
    Q_OBJECT
public:
    GeneralSettingsView(AppSettings& settings, LaunchAtLoginService& launchAtLogin, UpdaterService& updater,
                        APIClient& api, Workspace& workspace, QWidget* parent = nullptr);

    QCheckBox* launchAtLoginToggle() const { return m_launchAtLogin; }
    QCheckBox* showInDockToggle() const { return m_showInDock; }
    QPushButton* checkForUpdatesButton() const { return m_checkForUpdates; }
    QLineEdit* nameField() const { return m_name; }
    QLineEdit* emailField() const { return m_email; }
    QPushButton* saveProfileButton() const { return m_save; }
    QLabel* profileSaveMessageLabel() const { return m_message; }

    bool isSavingProfile() const { return m_savingProfile; }
    const std::optional<QString>& profileSaveMessage() const { return m_profileSaveMessage; }

    // Starts the save (as the button does); it runs on after the call returns.
    void saveProfile();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The save itself. Holds the view and the settings weakly: the settings are still updated
    // when the view is gone before the backend answers.
    static QCoro::Task<void> runProfileSave(QPointer<GeneralSettingsView> view, QPointer<AppSettings> settings,
                                            APIClient& api, QString name, QString email);
    void setSaveState(bool saving, const std::optional<QString>& message);
    void updateSaveControls();
    void syncToggles();

    AppSettings& m_settings;
    LaunchAtLoginService& m_launchAtLoginService;
    UpdaterService& m_updater;
    APIClient& m_api;
    Workspace& m_workspace;

    bool m_savingProfile = false;
    std::optional<QString> m_profileSaveMessage;

    QCheckBox* m_launchAtLogin = nullptr;
    QCheckBox* m_showInDock = nullptr;
    QPushButton* m_checkForUpdates = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_email = nullptr;
    QPushButton* m_save = nullptr;
    QLabel* m_message = nullptr;
};
