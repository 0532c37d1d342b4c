#pragma once

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QMap>
#include <QString>
#include <optional>

#include "platform/UserDefaults.h"
#include "platform/qt/PlistDocument.h"

// The user defaults kept in an XML property list, by default $XDG_CONFIG_HOME/keyloom/defaults.plist
// (~/.config/keyloom/ when the variable is unset), readable by its owner only. Every value keeps its kind
// across a reopen.
//
// The file is read at construction and again whenever it changes on disk (other processes may write it):
// values changed there are taken in and announced with `didChange()`. Each write first takes in such
// changes, then replaces the file atomically, so that keys written by others survive; a write that
// changes nothing leaves the file alone. A value that cannot be read is absent, and stays in the file as
// it is until its key is written. A file that cannot be read at all (see PlistXmlReader), or that is not
// a regular file, is renamed to "<name>.corrupt-<UTC time>" (never deleted): at construction, where the
// store then starts empty, or at the next write while running. Main thread only.
class PlistUserDefaults final : public UserDefaults {
    Q_OBJECT
public:
    explicit PlistUserDefaults(const QString& path = defaultPath(), QObject* parent = nullptr);
    ~PlistUserDefaults() override;

    static QString defaultPath();

    QString path() const { return m_path; }
    // Where an unreadable file was last moved; empty when none was.
    QString movedAsidePath() const { return m_movedAsidePath; }
    // Keys present in the file whose values cannot be read.
    QStringList unreadableKeys() const { return m_unreadable.keys(); }

protected:
    void willWrite() override;
    bool holdsUnreadableValue(const QString& key) const override { return m_unreadable.contains(key); }
    void persist(const QVariantMap& values, const QString& key) override;

private:
    struct FileContents {
        bool exists = false;
        QByteArray bytes;
        QString problem;                        // why the file cannot be read at all, if it cannot
        std::optional<PlistDocument> document;  // once parsed: nothing when it cannot be read at all
    };

    FileContents readFile() const;
    static void parse(FileContents& contents);
    bool isKnown(const FileContents& contents) const;
    void takeIn(const FileContents& contents, bool announce);
    void moveAside(const QString& reason);
    void writeFile(const QVariantMap& values);
    void watch();
    void fileMayHaveChanged();

    QString m_path;
    QString m_movedAsidePath;
    // The file's bytes when last read or written by this store; nothing while there is no file.
    std::optional<QByteArray> m_knownBytes;
    QMap<QString, QString> m_unreadable;
    QFileSystemWatcher m_watcher;
};
