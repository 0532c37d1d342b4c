#pragma once

#include <QString>

#include "platform/LoginItem.h"

// The login item as an XDG autostart entry, "$XDG_CONFIG_HOME/autostart/keyloom.desktop" (the
// config home falls back to ~/.config), whose Exec line runs `executable`. The folder is looked
// up at each call, so a changed XDG_CONFIG_HOME is honoured.
class XdgAutostartLoginItem final : public LoginItem {
public:
    // An empty `executable` means the running program.
    explicit XdgAutostartLoginItem(QString executable = QString());

    std::optional<QString> registerItem() override;
    // Removing an entry that is not there succeeds.
    std::optional<QString> unregisterItem() override;

    static QString entryPath();
    // The desktop entry written for `executable`.
    static QByteArray desktopEntry(const QString& executable);

private:
    QString m_executable;
};
