#include "app/ReopenSignal.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Written by the signal handler, so a plain int: nothing else is safe to touch there.
volatile sig_atomic_t g_writeFd = -1;

// A real-time signal: queued, one per sender, where a second SIGUSR1 would merge into the first.
int reopenSignalNumber() {
    return SIGRTMIN + 3;
}

// What the handler writes for each signal: one write of this size is atomic on a pipe.
struct Sender {
    pid_t pid;
    uid_t uid;
};

bool sameFile(const char* a, const char* b) {
    struct stat first {
    }, second{};
    return ::stat(a, &first) == 0 && ::stat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

}  // namespace

ReopenSignal::ReopenSignal(QObject* parent) : QObject(parent) {
    if (::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("Later starts can reach this instance only through its socket: no pipe");
        return;
    }
    g_writeFd = m_fds[1];
    m_notifier = new QSocketNotifier(m_fds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ReopenSignal::readRequests);
    struct sigaction action {};
    action.sa_sigaction = &ReopenSignal::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    ::sigaction(reopenSignalNumber(), &action, nullptr);
}

ReopenSignal::~ReopenSignal() {
    ::signal(reopenSignalNumber(), SIG_IGN);
    g_writeFd = -1;
    delete m_notifier;
    for (const int fd : m_fds) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void ReopenSignal::handle(int, siginfo_t* info, void*) {
    // Only async-signal-safe calls; errno is the interrupted code's.
    const int savedErrno = errno;
    const Sender sender{info->si_pid, info->si_uid};
    if (g_writeFd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &sender, sizeof(sender));
    }
    errno = savedErrno;
}

bool ReopenSignal::isThisProgram(pid_t pid) {
    const QByteArray proc = "/proc/" + QByteArray::number(pid);
    struct stat info {};
    return pid > 0 && pid != ::getpid() && ::stat(proc.constData(), &info) == 0 && info.st_uid == ::getuid() &&
           sameFile((proc + "/exe").constData(), "/proc/self/exe");
}

ReopenSignal::Asked ReopenSignal::ask(pid_t pid, const QDeadlineTimer& deadline) {
    if (!isActive() || !isThisProgram(pid)) {
        return Asked::NotOurs;
    }
    if (::kill(pid, reopenSignalNumber()) != 0) {
        return Asked::Gone;
    }
    while (!deadline.hasExpired()) {
        pollfd answer{m_fds[0], POLLIN, 0};
        ::poll(&answer, 1, static_cast<int>(std::min<qint64>(deadline.remainingTime(), 50)));
        Sender sender{};
        while (::read(m_fds[0], &sender, sizeof(sender)) == sizeof(sender)) {
            if (sender.pid == pid && sender.uid == ::getuid()) {
                return Asked::Answered;
            }
        }
        if (::kill(pid, 0) != 0 && errno == ESRCH) {
            return Asked::Gone;
        }
    }
    return Asked::Silent;
}

void ReopenSignal::readRequests() {
    Sender sender{};
    bool requested = false;
    while (::read(m_fds[0], &sender, sizeof(sender)) == sizeof(sender)) {
        // Anyone may signal a process of theirs, root any process: only our own later starts are
        // answered, and nothing else is sent a signal whose default action would end it.
        if (sender.uid == ::getuid() && isThisProgram(sender.pid)) {
            ::kill(sender.pid, reopenSignalNumber());
            requested = true;
        }
    }
    if (requested) {
        emit reopenRequested();
    }
}
