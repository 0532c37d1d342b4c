#pragma once

#include <QString>

// An exclusive advisory lock (flock) on "<file>.lock" beside a defaults file, held while one process reads,
// merges and replaces the file, so that processes writing it at the same time never drop each other's
// keys. Every process that writes the file takes it. A holder that does not let go within maxWaitMs is
// given up on with a warning and the write goes ahead unlocked: a stuck process must not hang this one.
class PlistWriteLock {
public:
    static constexpr int maxWaitMs = 2000;

    explicit PlistWriteLock(const QString& filePath);
    ~PlistWriteLock();
    PlistWriteLock(const PlistWriteLock&) = delete;
    PlistWriteLock& operator=(const PlistWriteLock&) = delete;

private:
    int m_fd = -1;
};
