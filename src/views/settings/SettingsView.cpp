#include "views/settings/SettingsView.h"

#include "views/settings/AboutView.h"
#include "views/settings/GeneralSettingsView.h"
#include "views/settings/ShortcutsSettingsView.h"
#include "views/shared/Style.h"
#include "views/shared/SymbolIcons.h"

SettingsView::SettingsView(AppSettings& settings, LaunchAtLoginService& launchAtLogin, UpdaterService& updater,
                           APIClient& api, Workspace& workspace, const BundleInfo& bundle, QWidget* parent)
    : QTabWidget(parent) {
    m_general = new GeneralSettingsView(settings, launchAtLogin, updater, api, workspace, this);
    m_shortcuts = new ShortcutsSettingsView(this);
    m_about = new AboutView(bundle, workspace, this);
    const QStringList symbols = tabSymbols();
    addTab(m_general, SymbolIcons::icon(symbols[0], Style::primary()), QStringLiteral("General"));
    addTab(m_shortcuts, SymbolIcons::icon(symbols[1], Style::primary()), QStringLiteral("Shortcuts"));
    addTab(m_about, SymbolIcons::icon(symbols[2], Style::primary()), QStringLiteral("About"));
    setDocumentMode(true);
}

QStringList SettingsView::tabSymbols() {
    return {QStringLiteral("gearshape"), QStringLiteral("command"), QStringLiteral("info.circle")};
}
