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

#include "platform/qt/PlistXmlReader.h"
#include "platform/qt/PlistXmlWriter.h"

Q_LOGGING_CATEGORY(lcDefaults, "keyloom.defaults")

PlistUserDefaults::PlistUserDefaults(const QString& path, QObject* parent) : UserDefaults(parent), m_path(path) {
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &PlistUserDefaults::fileMayHaveChanged);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &PlistUserDefaults::fileMayHaveChanged);
    FileContents contents = readFile();
    parse(contents);
    if (contents.exists && !contents.document) {
        moveAside(contents.problem);
    } else {
        takeIn(contents, false);
    }
    watch();
}

PlistUserDefaults::~PlistUserDefaults() = default;

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
        }
    }
}

bool PlistUserDefaults::isKnown(const FileContents& contents) const {
    return contents.exists ? m_knownBytes == contents.bytes : !m_knownBytes;
}

void PlistUserDefaults::takeIn(const FileContents& contents, bool announce) {
    const PlistDocument document = contents.document.value_or(PlistDocument());
    const QVariantMap before = dictionaryRepresentation();
    bool changed = before.size() != document.values.size();
    for (auto it = before.cbegin(); !changed && it != before.cend(); ++it) {
        changed = !sameValue(it.value(), document.values.value(it.key()));
    }
    m_knownBytes = contents.exists ? std::optional<QByteArray>(contents.bytes) : std::nullopt;
    m_unreadable = document.unreadable;
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
    FileContents contents = readFile();
    if (isKnown(contents)) {
        return;
    }
    parse(contents);
    if (contents.exists && !contents.document) {
        // The file that took its place is kept aside, and this store's values go back into a new one.
        moveAside(contents.problem);
        m_knownBytes.reset();
        writeFile(dictionaryRepresentation());
        return;
    }
    takeIn(contents, true);
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

void PlistUserDefaults::persist(const QVariantMap& values, const QString& key) {
    m_unreadable.remove(key);
    writeFile(values);
}

void PlistUserDefaults::writeFile(const QVariantMap& values) {
    const QByteArray bytes = PlistXmlWriter::write(PlistDocument{values, m_unreadable});
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcDefaults) << "Could not write the defaults to" << m_path << ":" << file.errorString();
        return;
    }
    // The defaults hold credentials of this installation: owner only (best effort on odd file systems).
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        qCWarning(lcDefaults) << "Could not write the defaults to" << m_path << ":" << file.errorString();
        return;
    }
    m_knownBytes = bytes;
    watch();
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
