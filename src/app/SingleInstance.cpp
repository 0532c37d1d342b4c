#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A request is one short line; anything longer is not ours.
constexpr qint64 kMaxRequestBytes = 64;
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

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : SingleInstance(std::move(name), privateFolder(), ::getuid(), parent) {}

SingleInstance::SingleInstance(QString name, QString folder, uid_t trustedUser, QObject* parent)
    : QObject(parent), m_name(std::move(name)), m_folder(std::move(folder)), m_trustedUser(trustedUser) {}

SingleInstance::~SingleInstance() {
    if (m_server) {
        m_server->close();  // removes the socket file
        delete m_server;
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
    return m_folder + QLatin1Char('/') + m_name + QStringLiteral(".socket");
}

QString SingleInstance::lockPath() const {
    return m_folder + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

SingleInstance::Start SingleInstance::start(std::chrono::milliseconds patience) {
    if (m_lockFd < 0) {
        if (!isPrivateFolder(m_folder, ::getuid())) {
            return Start::Unguarded;
        }
        m_lockFd = ::open(QFile::encodeName(lockPath()).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_lockFd < 0) {
            return Start::Unguarded;
        }
    }
    const QDeadlineTimer deadline(patience);
    for (;;) {
        if (::flock(m_lockFd, LOCK_EX | LOCK_NB) == 0) {
            listen();
            return Start::Running;
        }
        if (handOver(std::chrono::milliseconds(deadline.remainingTime()))) {
            return Start::HandedOver;
        }
        if (deadline.hasExpired()) {
            return Start::NoAnswer;
        }
        // The lock's holder is not listening yet, or is on its way out.
        std::this_thread::sleep_for(kRetryPause);
    }
}

bool SingleInstance::handOver(std::chrono::milliseconds patience) {
    const QDeadlineTimer deadline(patience);
    const auto remaining = [&] { return static_cast<int>(std::max<qint64>(1, deadline.remainingTime())); };
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(remaining()) || !peerIs(socket.socketDescriptor(), m_trustedUser)) {
        return false;
    }
    socket.write(reopenRequest);
    if (!socket.waitForBytesWritten(remaining())) {
        return false;
    }
    // The answer comes once the running instance's event loop runs; an instance that closes the
    // connection instead is shutting down, and the next attempt may take its place.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(remaining())) {
            return false;
        }
    }
    return socket.readLine(kMaxRequestBytes) == QByteArray(reopenAccepted);
}

void SingleInstance::listen() {
    // Holding the lock, any socket file there is a dead instance's.
    QLocalServer::removeServer(socketPath());
    auto* server = new QLocalServer(this);
    if (!server->listen(socketPath())) {
        qWarning("Later starts cannot reach this instance: %s", qPrintable(server->errorString()));
        delete server;
        return;
    }
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
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
