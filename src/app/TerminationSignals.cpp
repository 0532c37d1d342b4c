#include "app/TerminationSignals.h"

#include <QSocketNotifier>
#include <cerrno>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Written by the signal handler, so a plain int: nothing else is safe to touch there.
volatile sig_atomic_t g_writeFd = -1;

constexpr int kSignals[] = {SIGTERM, SIGINT};

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> quit, QObject* parent)
    : QObject(parent), m_quit(std::move(quit)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, m_fds) != 0) {
        qWarning("SIGTERM and SIGINT keep their default action: no socket pair");
        return;
    }
    g_writeFd = m_fds[0];
    m_notifier = new QSocketNotifier(m_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::drain);
    struct sigaction action {};
    action.sa_handler = &TerminationSignals::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

TerminationSignals::~TerminationSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
    g_writeFd = -1;
    delete m_notifier;
    for (const int fd : m_fds) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void TerminationSignals::handle(int) {
    // Only async-signal-safe calls; errno is the interrupted code's.
    const int savedErrno = errno;
    const char byte = 1;
    if (g_writeFd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
    }
    errno = savedErrno;
}

void TerminationSignals::drain() {
    char buffer[64];
    while (::read(m_fds[1], buffer, sizeof(buffer)) > 0) {
    }
    m_quit();
}
