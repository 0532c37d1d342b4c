#include "platform/qt/PlistWriteLock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QLoggingCategory>
#include <cerrno>

Q_DECLARE_LOGGING_CATEGORY(lcDefaults)

PlistWriteLock::PlistWriteLock(const QString& filePath) {
    const QString lockPath = filePath + QStringLiteral(".lock");
    m_fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    if (m_fd < 0) {
        qCWarning(lcDefaults) << "Cannot open the lock" << lockPath << "- writing the defaults unlocked";
        return;
    }
    // flock has no time-out: try it, and between tries wait a little longer each time (up to 16 ms).
    const QDeadlineTimer deadline(maxWaitMs);
    for (int pause = 1;; pause = qMin(2 * pause, 16)) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
            return;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) {
            break;
        }
        ::poll(nullptr, 0, pause);
    }
    qCWarning(lcDefaults) << "Could not take the lock" << lockPath << "- writing the defaults unlocked";
}

PlistWriteLock::~PlistWriteLock() {
    if (m_fd >= 0) {
        ::close(m_fd);  // releases the lock
    }
}
