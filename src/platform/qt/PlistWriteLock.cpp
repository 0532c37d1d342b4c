#include "platform/qt/PlistWriteLock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QLoggingCategory>
#include <cerrno>

Q_DECLARE_LOGGING_CATEGORY(lcDefaults)

PlistWriteLock::PlistWriteLock(const QString& filePath, int waitMs) {
    const QString lockPath = filePath + QStringLiteral(".lock");
    // Non-blocking and without following a link: a FIFO or a link put in its place stalls nothing and
    // leads nowhere.
    m_fd = ::open(QFile::encodeName(lockPath).constData(),
                  O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0600);
    struct stat info {};
    if (m_fd >= 0 && (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_fd < 0) {
        qCWarning(lcDefaults) << "Cannot open the lock" << lockPath << "- writing the defaults unlocked";
        return;
    }
    // Anyone who can open the lock file can hold it: an old one readable by others is made owner-only. Not
    // through a second name, which would change another file's mode.
    if (info.st_uid == ::geteuid() && (info.st_mode & 07777) != 0600 && info.st_nlink == 1 &&
        ::fchmod(m_fd, 0600) != 0) {
        qCWarning(lcDefaults) << "Could not make" << lockPath << "readable by its owner only";
    }
    // flock has no time-out: try it, and between tries wait a little longer each time (up to 16 ms).
    const QDeadlineTimer deadline(waitMs);
    for (int pause = 1;; pause = qMin(2 * pause, 16)) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
            m_state = State::Taken;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            qCWarning(lcDefaults) << "Could not take the lock" << lockPath << "- writing the defaults unlocked";
            return;
        }
        if (deadline.hasExpired()) {
            m_state = State::HeldElsewhere;
            return;
        }
        ::poll(nullptr, 0, int(qMin<qint64>(pause, deadline.remainingTime())));
    }
}

PlistWriteLock::~PlistWriteLock() {
    if (m_fd >= 0) {
        ::close(m_fd);  // releases the lock
    }
}
