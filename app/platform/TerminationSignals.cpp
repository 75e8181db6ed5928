#include "app/platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};
std::atomic<bool> g_taken{false};
// What the handler writes to, and how many handlers run now (on any thread): the watch closes the pipe
// only once none can still hold its number, which another open could otherwise have taken meanwhile.
std::atomic<int> g_writeEnd{-1};
std::atomic<int> g_inHandler{0};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

// Only async-signal-safe calls here: one byte into the pipe, errno kept for the interrupted code.
void OnSignal(int number) {
    const int saved = errno;
    g_inHandler.fetch_add(1);
    const int fd = g_writeEnd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(number);
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    g_inHandler.fetch_sub(1);
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
    g_writeEnd.store(g_pipe[1]);
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
    // A handler entered before the line above may still be about to write: no handler sees the pipe
    // from now on, and the ones that did are let finish before its descriptors go.
    g_writeEnd.store(-1);
    while (g_inHandler.load() != 0)
        sched_yield();
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
