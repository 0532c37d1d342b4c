#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// One running application per user and defaults file, over a local socket. A second launch
// finds the running instance, asks it to reopen and exits; the running instance then shows its
// main window if none of its windows is on screen. Main thread only.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Asks a running instance to reopen. True when one took the request: this process should
    // then exit. Waits at most `timeoutMs` (before anything of this process is shown).
    bool notifyRunningInstance(int timeoutMs = 1000);
    // Starts answering later launches. A socket left behind by an instance that is gone is
    // replaced. False when the socket cannot be made.
    bool listen();
    bool isListening() const;

    QString name() const { return m_name; }

    static constexpr const char* reopenRequest = "reopen\n";

signals:
    void reopenRequested();

private:
    void acceptConnections();
    void readRequest(QLocalSocket* socket);

    QString m_name;
    QLocalServer* m_server = nullptr;
};
