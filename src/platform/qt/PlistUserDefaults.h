#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFileSystemWatcher>
#include <QMap>
#include <QSet>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

#include "platform/UserDefaults.h"
#include "platform/qt/PlistDocument.h"

class PlistWriteLock;

// The user defaults kept in an XML property list, by default $XDG_CONFIG_HOME/keyloom/defaults.plist
// (~/.config/keyloom/ when the variable is unset), readable by its owner only: a file found readable by
// others is made owner-only when it is read. Every value keeps its kind across a reopen.
//
// The file is read at construction and again whenever it changes on disk (other processes may write it):
// values changed there are taken in and announced with `didChange()`. Each write takes the write lock
// beside the file (see PlistWriteLock), takes in such changes, then replaces the file atomically, so that
// keys written by others survive; a write that changes nothing leaves the file alone. A write that would
// make a file the reader refuses (see PlistXmlWriter) is refused. A value whose file write failed stays
// in memory, over what others write, until a later write stores it. A value that cannot be read is
// absent, and stays in the file as it is until its key is written. A file that cannot be read at all (see
// PlistXmlReader), whose values could not be written back, or that is not a regular file, is renamed to
// "<name>.corrupt-<UTC time>" (never deleted): at construction, where the store then starts empty, or at
// the next write while running. Main thread only.
//
// A write never waits for the lock (it runs on the path of key presses and clicks). While another process
// holds it, the write is taken and announced at once, and the file is written as soon as the lock comes free
// (the value is Pending meanwhile, see saveState()). A holder that keeps the lock PlistWriteLock::maxWaitMs
// is passed over: the file is then written without the lock, and so are later writes until the lock is free
// again. What still waits for the lock when the store goes is written then.
//
// In memory only (for a process that may not write the file: another may be writing it), the file is
// read once and left exactly as it is: never written, renamed, locked or re-read; values live in memory.
class PlistUserDefaults final : public UserDefaults {
    Q_OBJECT
public:
    enum class Mode { SavedToFile, InMemoryOnly };

    explicit PlistUserDefaults(const QString& path = defaultPath(), QObject* parent = nullptr);
    PlistUserDefaults(const QString& path, Mode mode, QObject* parent = nullptr);
    ~PlistUserDefaults() override;

    static QString defaultPath();

    QString path() const { return m_path; }
    // Where an unreadable file was last moved; empty when none was.
    QString movedAsidePath() const { return m_movedAsidePath; }
    // Keys present in the file whose values cannot be read.
    QStringList unreadableKeys() const { return m_unreadable.keys(); }
    SaveState saveState(const QString& key) const override;

protected:
    void willWrite() override;
    void didWrite() override;
    bool holdsUnreadableValue(const QString& key) const override { return m_unreadable.contains(key); }
    std::optional<QString> persist(const QVariantMap& values, const QString& key) override;

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
    void takeInLatest();
    void moveAside(const QString& reason);
    bool writeFile(const QByteArray& bytes);
    void writePending(int waitMs);
    void finishPending();
    void watch();
    void fileMayHaveChanged();

    QString m_path;
    Mode m_mode = Mode::SavedToFile;
    QString m_movedAsidePath;
    // The file's bytes when last read or written by this store; nothing while there is no file.
    std::optional<QByteArray> m_knownBytes;
    QMap<QString, QString> m_unreadable;
    QStringList m_unreadableEntries;
    // Keys written here whose file write failed, or waits for the lock.
    QSet<QString> m_unsaved;
    std::unique_ptr<PlistWriteLock> m_writeLock;  // held from the outermost willWrite() to its didWrite()
    int m_writeDepth = 0;
    bool m_deferring = false;     // the current write found the lock held: the file is written later
    bool m_pending = false;       // a file write waits for the lock
    bool m_holderPassed = false;  // the lock's holder kept it too long: writes go on without it until it is free
    QTimer m_retry;               // asks for the lock again
    int m_retryPause = 1;
    QDeadlineTimer m_passDeadline;  // when the holder of the lock is passed over
    QFileSystemWatcher m_watcher;
};
