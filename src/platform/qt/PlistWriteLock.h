#pragma once

#include <QString>

// An exclusive advisory lock (flock) on "<file>.lock" beside a defaults file, held while one process reads,
// merges and replaces the file, so that processes writing it at the same time never drop each other's
// keys. Every process that writes the file takes it.
//
// Taking it waits at most `waitMs` (none by default): a holder is asked again later rather than waited for,
// so that a stuck process, or another user's, never holds up this one. The lock file is made readable by
// its owner only whatever mode it had; a lock path that is not a regular file of its own (a link, a FIFO, a
// folder) is never followed, changed or locked, and the lock is then unavailable.
class PlistWriteLock {
public:
    // How long a holder is given before writes go ahead without the lock.
    static constexpr int maxWaitMs = 2000;

    enum class State {
        Taken,
        HeldElsewhere,
        Unavailable,  // no lock file to be had, or file locks fail here
    };

    explicit PlistWriteLock(const QString& filePath, int waitMs = 0);
    ~PlistWriteLock();  // lets go
    PlistWriteLock(const PlistWriteLock&) = delete;
    PlistWriteLock& operator=(const PlistWriteLock&) = delete;

    State state() const { return m_state; }

private:
    int m_fd = -1;
    State m_state = State::Unavailable;
};
