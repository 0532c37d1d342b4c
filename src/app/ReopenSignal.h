#pragma once

#include <signal.h>
#include <sys/types.h>
#include <QDeadlineTimer>
#include <QObject>

class QSocketNotifier;

// A second way for a later start to reach the running instance, for when its socket cannot be
// reached (deleted, never made, its path never written): a real-time signal, which the kernel queues
// with the sender's process and user id, so that racing starts are each answered. The handler only
// writes the sender into a pipe: the running instance reads it in its event loop, answers with the
// same signal and asks for a reopen; a later start waits on the pipe for that answer. Signals are
// sent to, and answered for, only this very program run by this user. Install it before taking the
// instance lock, as the signal's default action ends the process. One object per process; main
// thread only.
class ReopenSignal : public QObject {
    Q_OBJECT
public:
    enum class Asked {
        Answered,  // the running instance took the reopen request
        Silent,    // it lives but did not answer in time
        Gone,      // it ended
        NotOurs,   // not this program, or not this user's: never signalled
    };

    explicit ReopenSignal(QObject* parent = nullptr);
    // Leaves the signal ignored: a request that arrives while the process ends must not kill it.
    ~ReopenSignal() override;

    bool isActive() const { return m_notifier != nullptr; }
    // Asks `pid` to reopen and waits for its answer until `deadline`. Blocks.
    Asked ask(pid_t pid, const QDeadlineTimer& deadline);
    // Whether `pid` is another process of this user running this very executable.
    static bool isThisProgram(pid_t pid);

signals:
    void reopenRequested();

private:
    static void handle(int signal, siginfo_t* info, void* context);
    void readRequests();

    int m_fds[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
