#pragma once

#include <QTabWidget>

#include "platform/BundleInfo.h"

class APIClient;
class AboutView;
class AppSettings;
class GeneralSettingsView;
class LaunchAtLoginService;
class ShortcutsSettingsView;
class UpdaterService;
class Workspace;

// The settings content, hosted by the settings window and by the main window's settings page:
// the General, Shortcuts and About tabs, in that order.
class SettingsView : public QTabWidget {
    Q_OBJECT
public:
    SettingsView(AppSettings& settings, LaunchAtLoginService& launchAtLogin, UpdaterService& updater, APIClient& api,
                 Workspace& workspace, const BundleInfo& bundle, QWidget* parent = nullptr);

    GeneralSettingsView* general() const { return m_general; }
    ShortcutsSettingsView* shortcuts() const { return m_shortcuts; }
    AboutView* about() const { return m_about; }

    // The symbol name of each tab's icon, in tab order.
    static QStringList tabSymbols();

private:
    GeneralSettingsView* m_general = nullptr;
    ShortcutsSettingsView* m_shortcuts = nullptr;
    AboutView* m_about = nullptr;
};
