#include "app/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace {

// A request is one short line; anything longer is not ours.
constexpr qint64 kMaxRequestBytes = 64;

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), m_name(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::notifyRunningInstance(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    socket.write(reopenRequest);
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(timeoutMs);
    }
    return true;
}

bool SingleInstance::listen() {
    if (m_server) {
        return m_server->isListening();
    }
    m_server = new QLocalServer(this);
    // Only this user may ask for a reopen.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        // Nobody answered on the name (notifyRunningInstance() came first), so the socket is stale.
        QLocalServer::removeServer(m_name);
        if (!m_server->listen(m_name)) {
            return false;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return true;
}

bool SingleInstance::isListening() const {
    return m_server && m_server->isListening();
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
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
    socket->disconnectFromServer();
    if (line == QByteArray(reopenRequest)) {
        emit reopenRequested();
    }
}
