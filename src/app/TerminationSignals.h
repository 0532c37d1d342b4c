#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// Ends the application on SIGTERM and SIGINT the way the status menu's "Quit" does, so that
// everything is torn down in order (pending writes finished, the instance socket removed) and the
// process exits with 0. The handler itself only writes a byte to a socket pair; the event loop
// reads it and calls `quit`. One object per process; main thread only.
class TerminationSignals : public QObject {
public:
    explicit TerminationSignals(std::function<void()> quit, QObject* parent = nullptr);
    // Puts the default handlers back.
    ~TerminationSignals() override;

    bool isActive() const { return m_notifier != nullptr; }

private:
    static void handle(int signal);
    void drain();

    std::function<void()> m_quit;
    int m_fds[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
