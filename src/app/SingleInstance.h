#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>

class QLocalServer;
class QLocalSocket;

// One running application per user and defaults file. Its socket and lock file live in a folder
// that only the user can enter: $XDG_RUNTIME_DIR, else a 0700 folder of our own in the temporary
// folder. The running instance holds an exclusive lock on the lock file for its whole life, so
// simultaneous starts are serialised by the kernel and a killed instance leaves nothing that
// stops the next one. Every other start asks the running instance to reopen, waits for its
// answer and exits; the running instance then shows its main window if none of its windows is on
// screen. Both ends check that the other side of the socket runs as the same user.
// Main thread only.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Start {
        Running,     // this process is the running instance and answers later starts
        HandedOver,  // the running instance took the reopen request: this process should exit
        NoAnswer,    // an instance holds the lock but did not answer in time
        Unguarded,   // no private folder or lock could be made: runs without the guard
    };

    static constexpr const char* reopenRequest = "reopen\n";
    static constexpr const char* reopenAccepted = "ok\n";
    static constexpr std::chrono::milliseconds defaultPatience{15000};

    // The folder comes from the environment (see above).
    explicit SingleInstance(QString name, QObject* parent = nullptr);
    // A given folder, and the user whose requests are taken (tests).
    SingleInstance(QString name, QString folder, uid_t trustedUser, QObject* parent = nullptr);
    // Stops answering, removes the socket, then releases the lock.
    ~SingleInstance() override;

    // Becomes the running instance or hands a reopen request to it, waiting at most `patience`
    // for a running instance to answer. Blocks: call before the application runs.
    Start start(std::chrono::milliseconds patience = defaultPatience);
    bool isListening() const;

    QString socketPath() const;
    QString lockPath() const;

    // $XDG_RUNTIME_DIR when it is the user's own and closed to others, else <temp>/keyloom-<uid>,
    // created 0700 when missing; empty when neither can be trusted.
    static QString privateFolder();

signals:
    void reopenRequested();

private:
    bool handOver(std::chrono::milliseconds patience);
    void listen();
    void acceptConnections();
    void readRequest(QLocalSocket* socket);

    QString m_name;
    QString m_folder;
    uid_t m_trustedUser;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
};
