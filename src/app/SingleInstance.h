#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

class QDeadlineTimer;
class QLocalServer;
class QLocalSocket;
class ReopenSignal;

// One running application per settings file. The running instance holds an exclusive lock on a
// file beside the settings file for its whole life, so starts on the same settings are serialised
// by the kernel whatever runtime folder each was given, and a killed instance leaves nothing that
// stops the next one. It listens on a local socket in a folder that only the user can enter
// ($XDG_RUNTIME_DIR, else a 0700 folder of our own in the temporary folder) or, failing both, in
// the lock's own folder, which only the user may write, and writes the socket's path into the
// lock file. Every other start reads that path, asks the running instance to reopen, waits for
// its answer and exits; the running instance then shows its main window if none of its windows
// is on screen. Both ends check that the other side of the socket runs as the same user. A start
// that cannot reach the socket asks the lock's holder through a ReopenSignal instead.
//
// Where no lock can be trusted or taken beside the settings file (see problem()), the lock is
// taken in the private folder, keyed by the instance name, or, failing that too, the process runs
// unguarded: either way the settings file must then be left alone. Main thread only.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Start {
        Running,     // this process is the running instance and answers later starts
        HandedOver,  // the running instance took the reopen request: this process should exit
        NoAnswer,    // an instance holds the lock but cannot be reached, or did not answer in time
    };

    static constexpr const char* reopenRequest = "reopen\n";
    static constexpr const char* reopenAccepted = "ok\n";
    // Not the settings writer's own lock file, which is held only around each write.
    static constexpr const char* lockFileName = "keyloom.instance.lock";
    // How long a later start waits for a running instance it reached (one still starting up
    // answers once its event loop runs), and for one it cannot reach at all.
    static constexpr std::chrono::milliseconds defaultPatience{15000};
    static constexpr std::chrono::milliseconds unreachablePatience{3000};

    // The lock goes in `lockFolder`, the settings file's folder; the socket's folder comes from
    // the environment (see above). Later starts may also reach this one by signal.
    SingleInstance(QString name, QString lockFolder, QObject* parent = nullptr);
    // Given folders, and the user whose requests are taken (tests): no signals. A socket folder
    // that is not private is replaced by the lock folder (which then has the only lock).
    SingleInstance(QString name, QString lockFolder, QString socketFolder, uid_t trustedUser,
                   QObject* parent = nullptr);
    // Stops answering, removes the socket, then releases the lock.
    ~SingleInstance() override;

    // Becomes the running instance or hands a reopen request to it, waiting at most `patience`
    // for a running instance to answer. Blocks: call before the application runs.
    Start start(std::chrono::milliseconds patience = defaultPatience);
    bool isListening() const;
    // Why no lock beside the settings file could be trusted or taken; empty when it is held.
    QString problem() const;

    QString socketPath() const;
    // The lock beside the settings file.
    QString lockPath() const;

    // $XDG_RUNTIME_DIR when it is the user's own and closed to others, else <temp>/keyloom-<uid>,
    // created 0700 when missing; empty when neither can be trusted.
    static QString privateFolder();

signals:
    void reopenRequested();

private:
    enum class Reached { Answered, Silent, Unreachable };

    bool openLock();
    bool openFallbackLock();
    static int openLockIn(int folder, const QString& path, QString& problem);
    QString runningSocketPath() const;
    Reached handOver(const QDeadlineTimer& deadline);
    pid_t lockHolder() const;
    void listen();
    void acceptConnections();
    void readRequest(QLocalSocket* socket);

    QString m_name;
    QString m_lockFolder;
    QString m_socketFolder;
    QString m_problem;
    uid_t m_trustedUser;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
    std::unique_ptr<ReopenSignal> m_signal;
};
