#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <algorithm>
#include <thread>
#include <tuple>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/ReopenSignal.h"

using namespace Qt::StringLiterals;

namespace {

// A request is one short line; anything longer is not ours.
constexpr qint64 kMaxRequestBytes = 64;
// The lock file holds one socket path and its newline.
constexpr qint64 kMaxLockContents = 4096;
// Between two attempts to reach an instance that is starting up or shutting down.
constexpr std::chrono::milliseconds kRetryPause{25};

// A real folder (not a link) owned by `user` that nobody else may enter or list.
bool isPrivateFolder(const QString& path, uid_t user) {
    struct stat info {};
    return !path.isEmpty() && QDir::isAbsolutePath(path) && ::lstat(QFile::encodeName(path).constData(), &info) == 0 &&
           S_ISDIR(info.st_mode) && info.st_uid == user && (info.st_mode & 077) == 0;
}

// The user the other end of a connected local socket runs as.
bool peerIs(qintptr socket, uid_t user) {
    struct ucred credentials {};
    socklen_t size = sizeof(credentials);
    return socket >= 0 && ::getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == user;
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Whether process `pid` has `file` open.
bool hasOpen(pid_t pid, const struct stat& file) {
    const QString folder = u"/proc/%1/fd/"_s.arg(pid);
    const QStringList fds = QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    return pid > 0 && std::any_of(fds.cbegin(), fds.cend(), [&](const QString& fd) {
               struct stat info {};
               return ::stat(QFile::encodeName(folder + fd).constData(), &info) == 0 && info.st_dev == file.st_dev &&
                      info.st_ino == file.st_ino;
           });
}

}  // namespace

SingleInstance::SingleInstance(QString name, QString lockFolder, QObject* parent)
    : SingleInstance(std::move(name), std::move(lockFolder), privateFolder(), ::getuid(), parent) {
    m_signal = std::make_unique<ReopenSignal>();
    connect(m_signal.get(), &ReopenSignal::reopenRequested, this, &SingleInstance::reopenRequested);
}

SingleInstance::SingleInstance(QString name, QString lockFolder, QString socketFolder, uid_t trustedUser,
                               QObject* parent)
    : QObject(parent),
      m_name(std::move(name)),
      m_lockFolder(std::move(lockFolder)),
      m_socketFolder(std::move(socketFolder)),
      m_trustedUser(trustedUser) {}

SingleInstance::~SingleInstance() {
    if (m_server) {
        m_server->close();  // removes the socket file
        delete m_server;
        // Later starts then wait for the next instance instead of calling a socket that is gone.
        std::ignore = ::ftruncate(m_lockFd, 0);
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd);  // releases the lock: the next start may take over
    }
}

QString SingleInstance::privateFolder() {
    const uid_t user = ::getuid();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (isPrivateFolder(runtime, user)) {
        return runtime;
    }
    const QString own = QDir::tempPath() + QStringLiteral("/keyloom-%1").arg(user);
    const QByteArray path = QFile::encodeName(own);
    ::mkdir(path.constData(), 0700);
    struct stat info {};
    // Ours but too open (made under an old umask): close it. Anyone else's: never used.
    if (::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == user) {
        ::chmod(path.constData(), 0700);
    }
    return isPrivateFolder(own, user) ? own : QString();
}

QString SingleInstance::socketPath() const {
    return m_socketFolder + QLatin1Char('/') + m_name + QStringLiteral(".socket");
}

QString SingleInstance::lockPath() const {
    return m_lockFolder + QLatin1Char('/') + QLatin1String(lockFileName);
}

QString SingleInstance::problem() const {
    return m_problem;
}

bool SingleInstance::openLock() {
    if (!QDir::isAbsolutePath(m_lockFolder) || !QDir().mkpath(m_lockFolder)) {
        m_problem = QStringLiteral("the folder \"%1\" cannot be made").arg(m_lockFolder);
        return false;
    }
    // The folder is opened once and checked through that descriptor, so it cannot be swapped
    // between the check and the lock file's creation.
    const int folder = ::open(QFile::encodeName(m_lockFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    if (folder < 0) {
        m_problem = QStringLiteral("the folder \"%1\" cannot be opened: %2").arg(m_lockFolder, systemError());
    } else if (::fstat(folder, &info) != 0 || info.st_uid != ::getuid()) {
        m_problem = QStringLiteral("the folder \"%1\" belongs to another user").arg(m_lockFolder);
    } else if ((info.st_mode & 022) != 0 && ::fchmod(folder, info.st_mode & 07755) != 0) {
        // Anyone who may write there could replace the lock file under a running instance.
        m_problem = QStringLiteral("others may write in the folder \"%1\"").arg(m_lockFolder);
    } else {
        m_lockFd = openLockIn(folder, lockPath(), m_problem);
    }
    if (folder >= 0) {
        ::close(folder);
    }
    return m_lockFd >= 0;
}

bool SingleInstance::openFallbackLock() {
    // Keyed by the settings file through the instance name, in a folder only this user can enter.
    if (!isPrivateFolder(m_socketFolder, ::getuid())) {
        return false;
    }
    const int folder = ::open(QFile::encodeName(m_socketFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QString ignored;
    m_lockFd = folder < 0 ? -1 : openLockIn(folder, m_socketFolder + QLatin1Char('/') + m_name + u".lock"_s, ignored);
    if (folder >= 0) {
        ::close(folder);
    }
    return m_lockFd >= 0;
}

int SingleInstance::openLockIn(int folder, const QString& path, QString& problem) {
    const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
    // Never through a link; a FIFO in its place neither blocks nor is written to.
    const int fd =
        ::openat(folder, name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    struct stat info {};
    if (fd < 0) {
        problem = errno == ELOOP ? QStringLiteral("\"%1\" is a link").arg(path)
                                 : QStringLiteral("\"%1\" cannot be opened: %2").arg(path, systemError());
        return -1;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
        problem = QStringLiteral("\"%1\" is not a file of the user's own").arg(path);
        ::close(fd);
        return -1;
    }
    // Made by an older version or under another umask: it names the user's socket.
    if ((info.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0) {
        qWarning("Could not make %s owner-only", qPrintable(path));
    }
    return fd;
}

SingleInstance::Start SingleInstance::start(std::chrono::milliseconds patience) {
    if (m_lockFd < 0 && m_problem.isEmpty() && !openLock() && !openFallbackLock()) {
        qWarning("Another copy of Keyloom may run beside this one: no lock can be taken");
    }
    const QDeadlineTimer deadline(patience);
    const QDeadlineTimer unreachable(std::min(patience, std::chrono::milliseconds(unreachablePatience)));
    bool reached = false;
    while (m_lockFd >= 0) {
        if (::flock(m_lockFd, LOCK_EX | LOCK_NB) == 0) {
            listen();
            return Start::Running;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            // No locks on this file system (ENOLCK): the private folder's lock instead, and failing that
            // too, none.
            const bool besideSettings = m_problem.isEmpty();
            if (besideSettings) {
                m_problem = QStringLiteral("\"%1\" cannot be locked: %2").arg(lockPath(), systemError());
            }
            ::close(m_lockFd);
            m_lockFd = -1;
            if (besideSettings) {
                openFallbackLock();
            }
            continue;
        }
        switch (handOver(deadline)) {
            case Reached::Answered:
                return Start::HandedOver;
            case Reached::Silent:
                reached = true;
                break;
            case Reached::Unreachable:
                break;
        }
        if (deadline.hasExpired() || (!reached && unreachable.hasExpired())) {
            return Start::NoAnswer;
        }
        // The lock's holder is not listening yet, or is on its way out.
        std::this_thread::sleep_for(kRetryPause);
    }
    return Start::Running;
}

SingleInstance::Reached SingleInstance::handOver(const QDeadlineTimer& deadline) {
    const auto remaining = [&] { return static_cast<int>(std::max<qint64>(1, deadline.remainingTime())); };
    const QString path = runningSocketPath();  // empty until the running instance has written it
    QLocalSocket socket;
    if (!path.isEmpty()) {
        socket.connectToServer(path);
    }
    if (path.isEmpty() || !socket.waitForConnected(remaining()) || !peerIs(socket.socketDescriptor(), m_trustedUser)) {
        // Its socket was never made, never written down, or has gone: ask the lock's holder itself.
        const ReopenSignal::Asked asked =
            m_signal ? m_signal->ask(lockHolder(), deadline) : ReopenSignal::Asked::NotOurs;
        return asked == ReopenSignal::Asked::Answered ? Reached::Answered
               : asked == ReopenSignal::Asked::Silent ? Reached::Silent
                                                      : Reached::Unreachable;
    }
    socket.write(reopenRequest);
    if (!socket.waitForBytesWritten(remaining())) {
        return Reached::Silent;
    }
    // The answer comes once the running instance's event loop runs; an instance that closes the
    // connection instead is shutting down, and the next attempt may take its place.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(remaining())) {
            return Reached::Silent;
        }
    }
    return socket.readLine(kMaxRequestBytes) == QByteArray(reopenAccepted) ? Reached::Answered : Reached::Silent;
}

pid_t SingleInstance::lockHolder() const {
    struct stat lock {};
    QFile locks(QStringLiteral("/proc/locks"));
    if (::fstat(m_lockFd, &lock) != 0 || !locks.open(QIODevice::ReadOnly)) {
        return 0;
    }
    // "1: FLOCK  ADVISORY  WRITE 1234 fd:01:5678 0 EOF". The device there is not always the one stat()
    // gives (overlay file systems), so the holder is confirmed by the files it has open.
    const QByteArray inode = ':' + QByteArray::number(quint64(lock.st_ino));
    const QList<QByteArray> lines = locks.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 6 && fields[1] != "->" && fields[5].endsWith(inode) && hasOpen(fields[4].toInt(), lock)) {
            return fields[4].toInt();
        }
    }
    return 0;
}

QString SingleInstance::runningSocketPath() const {
    QByteArray contents(kMaxLockContents, '\0');
    const ssize_t size = ::pread(m_lockFd, contents.data(), static_cast<size_t>(contents.size()), 0);
    contents.truncate(std::max<ssize_t>(size, 0));
    // Written in one piece with its newline: anything else is half-written or not ours.
    if (!contents.endsWith('\n') || contents.count('\n') != 1 || contents.contains('\0')) {
        return {};
    }
    contents.chop(1);
    const QString path = QFile::decodeName(contents);
    return QDir::isAbsolutePath(path) ? path : QString();
}

void SingleInstance::listen() {
    // Only the lock beside the settings file may have the socket beside it (the fallback lock is
    // in the private folder).
    if (!isPrivateFolder(m_socketFolder, ::getuid())) {
        m_socketFolder = m_lockFolder;
    }
    // Holding the lock, any socket file there and any path in the lock file are a dead instance's.
    QLocalServer::removeServer(socketPath());
    if (::ftruncate(m_lockFd, 0) != 0) {
        qWarning("Later starts cannot find this instance: %s", qPrintable(systemError()));
        return;
    }
    auto* server = new QLocalServer(this);
    if (!server->listen(socketPath())) {
        qWarning("Later starts cannot reach this instance: %s", qPrintable(server->errorString()));
        delete server;
        return;
    }
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    // Later starts find the socket through the lock, whatever runtime folder they were given.
    const QByteArray contents = QFile::encodeName(socketPath()) + '\n';
    if (::pwrite(m_lockFd, contents.constData(), static_cast<size_t>(contents.size()), 0) != contents.size()) {
        qWarning("Later starts cannot find this instance: %s", qPrintable(systemError()));
    }
}

bool SingleInstance::isListening() const {
    return m_server && m_server->isListening();
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIs(socket->socketDescriptor(), m_trustedUser)) {
            socket->abort();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        if (socket->bytesAvailable() > 0) {
            readRequest(socket);
        }
    }
}

void SingleInstance::readRequest(QLocalSocket* socket) {
    if (socket->bytesAvailable() > kMaxRequestBytes) {
        socket->abort();
        return;
    }
    if (!socket->canReadLine()) {
        return;
    }
    const QByteArray line = socket->readLine(kMaxRequestBytes);
    if (line != QByteArray(reopenRequest)) {
        socket->abort();
        return;
    }
    socket->write(reopenAccepted);
    socket->disconnectFromServer();  // after the answer is written
    emit reopenRequested();
}
