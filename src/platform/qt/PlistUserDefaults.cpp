#include "platform/qt/PlistUserDefaults.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <cerrno>

#include "platform/qt/PlistWriteLock.h"
#include "platform/qt/PlistXmlReader.h"
#include "platform/qt/PlistXmlWriter.h"

Q_DECLARE_LOGGING_CATEGORY(lcDefaults)

PlistUserDefaults::PlistUserDefaults(const QString& path, QObject* parent)
    : PlistUserDefaults(path, Mode::SavedToFile, parent) {}

PlistUserDefaults::PlistUserDefaults(const QString& path, Mode mode, QObject* parent)
    : UserDefaults(parent), m_path(path), m_mode(mode) {
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &PlistUserDefaults::fileMayHaveChanged);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &PlistUserDefaults::fileMayHaveChanged);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { writePending(0); });
    FileContents contents = readFile();
    parse(contents);
    if (mode == Mode::InMemoryOnly) {
        takeIn(contents, false);  // an unreadable file reads as empty and stays where it is; nothing is watched
        return;
    }
    if (contents.exists && !contents.document) {
        moveAside(contents.problem);
    } else {
        takeIn(contents, false);
    }
    watch();
}

PlistUserDefaults::~PlistUserDefaults() {
    // What still waits for the lock is written now, waiting out what is left of the holder's time: no one
    // is told any more.
    if (m_pending) {
        blockSignals(true);
        writePending(m_holderPassed ? 0 : int(qMax<qint64>(0, m_passDeadline.remainingTime())));
    }
}

QString PlistUserDefaults::defaultPath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // Relative values are to be ignored, as the base directory convention says.
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/keyloom/defaults.plist");
}

PlistUserDefaults::FileContents PlistUserDefaults::readFile() const {
    FileContents contents;
    const QByteArray name = QFile::encodeName(m_path);
    // Non-blocking, so that a FIFO put in the file's place cannot stall the program.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        struct stat link {};
        contents.exists = errno != ENOENT || ::lstat(name.constData(), &link) == 0;  // a dangling link exists
        contents.problem = QStringLiteral("cannot be opened");
        return contents;
    }
    contents.exists = true;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        contents.problem = QStringLiteral("is not a regular file");
        return contents;
    }
    // It holds the install secret: a file others can read (an old copy, restored from a backup) is made
    // owner-only as soon as it is seen, whether or not a value changes.
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0 && info.st_uid == ::geteuid() && m_mode == Mode::SavedToFile) {
        if (::fchmod(fd, info.st_mode & S_IRWXU) != 0) {
            qCWarning(lcDefaults) << "Could not make" << m_path << "readable by its owner only";
        }
    }
    // Read up to one byte more than the limit, which tells a file that is too large.
    QByteArray bytes;
    qsizetype length = 0;
    for (;;) {
        if (length == bytes.size()) {
            bytes.resize(
                qMin(qMax<qsizetype>(2 * length, qsizetype(info.st_size) + 1), PlistDocument::maxFileSize + 1));
        }
        const ssize_t got = ::read(fd, bytes.data() + length, size_t(bytes.size() - length));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ::close(fd);
            contents.problem = QStringLiteral("cannot be read");
            return contents;
        }
        length += got;
        if (got == 0 || length > PlistDocument::maxFileSize) {
            break;
        }
    }
    ::close(fd);
    bytes.truncate(length);
    contents.bytes = bytes;
    if (bytes.isEmpty()) {
        contents.problem = QStringLiteral("is empty");
    } else if (length > PlistDocument::maxFileSize) {
        contents.problem = QStringLiteral("is too large");
    }
    return contents;
}

void PlistUserDefaults::parse(FileContents& contents) {
    if (contents.exists && contents.problem.isEmpty()) {
        contents.document = PlistXmlReader::read(contents.bytes);
        if (!contents.document) {
            contents.problem = QStringLiteral("is not a property list that can be read");
        } else if (!PlistXmlWriter::write(*contents.document)) {
            // Only a file made by hand can get here (text that grows when escaped): taken in, it would make
            // every later write fail.
            contents.document.reset();
            contents.problem = QStringLiteral("holds more than the defaults can write back");
        }
    }
}

bool PlistUserDefaults::isKnown(const FileContents& contents) const {
    return contents.exists ? m_knownBytes == contents.bytes : !m_knownBytes;
}

void PlistUserDefaults::takeIn(const FileContents& contents, bool announce) {
    PlistDocument document = contents.document.value_or(PlistDocument());
    const QVariantMap before = dictionaryRepresentation();
    // What could not be saved here is not given up for what the file holds.
    for (const QString& key : std::as_const(m_unsaved)) {
        document.unreadable.remove(key);
        if (before.contains(key)) {
            document.values.insert(key, before.value(key));
        } else {
            document.values.remove(key);
        }
    }
    bool changed = before.size() != document.values.size();
    for (auto it = before.cbegin(); !changed && it != before.cend(); ++it) {
        changed = !sameValue(it.value(), document.values.value(it.key()));
    }
    m_knownBytes = contents.exists ? std::optional<QByteArray>(contents.bytes) : std::nullopt;
    m_unreadable = document.unreadable;
    m_unreadableEntries = document.unreadableEntries;
    replaceAllWithoutNotice(document.values);
    if (!m_unreadable.isEmpty()) {
        qCWarning(lcDefaults).noquote() << "Defaults file" << m_path << "holds values that cannot be read under"
                                        << m_unreadable.keys().join(QStringLiteral(", "))
                                        << "- they are kept until written";
    }
    if (announce && changed) {
        emit didChange();
    }
}

void PlistUserDefaults::fileMayHaveChanged() {
    watch();
    FileContents contents = readFile();
    if (isKnown(contents)) {
        return;
    }
    parse(contents);
    // A file that cannot be read may be half-written by another program: it is dealt with at the next write.
    if (contents.exists && !contents.document) {
        return;
    }
    takeIn(contents, true);
}

void PlistUserDefaults::willWrite() {
    if (m_mode == Mode::InMemoryOnly) {
        return;
    }
    // From here to the file's replacement no other process changes it. Observers told of others' changes
    // below may write in turn: the lock is taken once.
    if (m_writeDepth++ == 0) {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        m_writeLock = std::make_unique<PlistWriteLock>(m_path);
        const bool held = m_writeLock->state() == PlistWriteLock::State::HeldElsewhere;
        m_holderPassed = m_holderPassed && held;
        m_deferring = held && !m_holderPassed;
    }
    // Others' changes are taken in when the file is written.
    if (!m_deferring) {
        takeInLatest();
    }
}

void PlistUserDefaults::takeInLatest() {
    FileContents contents = readFile();
    if (isKnown(contents)) {
        return;
    }
    parse(contents);
    if (contents.exists && !contents.document) {
        // The file that took its place is kept aside, and this store's values go back into a new one.
        moveAside(contents.problem);
        m_knownBytes.reset();
        if (const auto bytes =
                PlistXmlWriter::write(PlistDocument{dictionaryRepresentation(), m_unreadable, m_unreadableEntries})) {
            writeFile(*bytes);
        }
        return;
    }
    takeIn(contents, true);
}

void PlistUserDefaults::didWrite() {
    if (m_mode == Mode::SavedToFile && --m_writeDepth == 0) {
        m_writeLock.reset();
        m_deferring = false;
    }
}

UserDefaults::SaveState PlistUserDefaults::saveState(const QString& key) const {
    if (!m_unsaved.contains(key)) {
        return SaveState::Saved;
    }
    return m_pending ? SaveState::Pending : SaveState::Unsaved;
}

// Asks for the lock again (waiting up to `waitMs`), and once it is had, or its holder is passed over, writes
// what waits for it as a write of its own.
void PlistUserDefaults::writePending(int waitMs) {
    if (!m_pending) {
        return;
    }
    if (m_writeDepth > 0) {  // an observer of a write runs an event loop: that write stores everything
        m_retry.start(m_retryPause);
        return;
    }
    auto lock = std::make_unique<PlistWriteLock>(m_path, waitMs);
    if (lock->state() == PlistWriteLock::State::HeldElsewhere) {
        if (!m_passDeadline.hasExpired()) {
            m_retryPause = qMin(2 * m_retryPause, 16);
            m_retry.start(m_retryPause);
            return;
        }
        m_holderPassed = true;
        qCWarning(lcDefaults) << "Another process has held the lock beside" << m_path << "for"
                              << PlistWriteLock::maxWaitMs / 1000
                              << "s - writing the defaults unlocked until it is free";
    }
    ++m_writeDepth;
    m_writeLock = std::move(lock);
    takeInLatest();
    if (const auto bytes =
            PlistXmlWriter::write(PlistDocument{dictionaryRepresentation(), m_unreadable, m_unreadableEntries})) {
        writeFile(*bytes);
    }
    finishPending();
    didWrite();
}

void PlistUserDefaults::finishPending() {
    if (m_pending) {
        m_pending = false;
        m_retry.stop();
        emit pendingWritesFinished();
    }
}

void PlistUserDefaults::moveAside(const QString& reason) {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString target = m_path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n) {
        target = m_path + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);
    }
    if (QFile::rename(m_path, target)) {
        m_movedAsidePath = target;
        qCWarning(lcDefaults).noquote() << "Defaults file" << m_path << reason << "- moved to" << target;
    } else {
        qCWarning(lcDefaults).noquote() << "Defaults file" << m_path << reason << "and could not be moved aside";
    }
}

std::optional<QString> PlistUserDefaults::persist(const QVariantMap& values, const QString& key) {
    QMap<QString, QString> unreadable = m_unreadable;
    unreadable.remove(key);
    QString problem;
    const auto bytes = PlistXmlWriter::write(PlistDocument{values, unreadable, m_unreadableEntries}, &problem);
    if (!bytes) {
        return problem;
    }
    m_unreadable = unreadable;
    if (m_mode == Mode::InMemoryOnly) {
        m_unsaved.insert(key);  // the value lives in memory: never "saved"
        return std::nullopt;
    }
    if (m_deferring) {
        m_unsaved.insert(key);
        if (!m_pending) {
            m_pending = true;
            m_retryPause = 1;
            m_passDeadline.setRemainingTime(PlistWriteLock::maxWaitMs);
            m_retry.start(m_retryPause);
        }
    } else if (!writeFile(*bytes)) {
        m_unsaved.insert(key);
    }
    return std::nullopt;
}

bool PlistUserDefaults::writeFile(const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    // Unbuffered: a buffered flush takes a short write (a full disk) for success and commits a cut file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        qCWarning(lcDefaults) << "Could not write the defaults to" << m_path << ":" << file.errorString();
        return false;
    }
    // The defaults hold credentials of this installation: owner only (best effort on odd file systems).
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        qCWarning(lcDefaults) << "Could not write the defaults to" << m_path << ":" << file.errorString();
        return false;
    }
    // Every value in memory is in the file now.
    m_unsaved.clear();
    finishPending();
    m_knownBytes = bytes;
    watch();
    return true;
}

void PlistUserDefaults::watch() {
    // Watching the folder notices a file replaced by renaming (as every atomic save does); the watch on the
    // file itself is renewed each time, since it follows the replaced file.
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!m_watcher.directories().contains(folder) && QFileInfo(folder).isDir()) {
        m_watcher.addPath(folder);
    }
    if (m_watcher.files().contains(m_path)) {
        m_watcher.removePath(m_path);
    }
    if (QFileInfo(m_path).isFile()) {
        m_watcher.addPath(m_path);
    }
}
