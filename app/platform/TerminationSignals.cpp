#include "app/platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};
std::atomic<bool> g_taken{false};

// Only async-signal-safe calls here: one byte into the pipe, errno kept for the interrupted code.
void OnSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

void SetAction(void (*handler)(int), int flags) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    for (int number : kSignals)
        sigaction(number, &action, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (g_taken.exchange(true))
        return;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        g_taken = false;
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::ReadSignal);
    // SA_RESETHAND: a second signal of the same kind takes the default action even before the event
    // loop has read the first; any kind does once it has.
    SetAction(&OnSignal, SA_RESTART | SA_RESETHAND);
}

TerminationSignals::~TerminationSignals() {
    if (!m_notifier)
        return;
    SetAction(SIG_DFL, 0);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
    g_taken = false;
}

void TerminationSignals::ReadSignal() {
    unsigned char byte = 0;
    int first = 0;
    while (::read(g_pipe[0], &byte, 1) == 1) {
        if (first == 0)
            first = byte;
    }
    if (first == 0 || m_delivered)
        return;
    m_delivered = true;
    SetAction(SIG_DFL, 0);
    Q_EMIT requested(first);
}
