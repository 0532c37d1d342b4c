#pragma once

#include <QString>

#include "platform/UserDefaults.h"

// The user defaults kept in an XML property list, by default $XDG_CONFIG_HOME/keyloom/defaults.plist
// (~/.config/keyloom/ when the variable is unset). Every value keeps its kind across a reopen.
//
// The file is read once, at construction; each write replaces it atomically. A file that cannot be read
// or parsed, or whose root is not a dictionary, is renamed to "<name>.corrupt-<UTC time>" (never
// deleted) and the store starts empty. Main thread only.
class PlistUserDefaults final : public UserDefaults {
    Q_OBJECT
public:
    explicit PlistUserDefaults(const QString& path = defaultPath(), QObject* parent = nullptr);
    ~PlistUserDefaults() override;

    static QString defaultPath();

    QString path() const { return m_path; }
    // Where an unreadable file was moved at construction; empty when none was.
    QString movedAsidePath() const { return m_movedAsidePath; }

protected:
    void persist(const QVariantMap& values) override;

private:
    void load();
    void moveAside(const QString& reason);

    QString m_path;
    QString m_movedAsidePath;
};
