#include "app/platform/BrokenPipe.h"

#include <pthread.h>
#include <signal.h>

#include <cstring>

static_assert(sizeof(sigset_t) <= 128, "signal mask does not fit the guard");

namespace {
sigset_t pipeSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}

bool pipePending() {
    sigset_t pending;
    sigemptyset(&pending);
    return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}
} // namespace

void IgnoreBrokenPipeSignal() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

BrokenPipeGuard::BrokenPipeGuard() {
    const sigset_t set = pipeSet();
    sigset_t old;
    pthread_sigmask(SIG_BLOCK, &set, &old);
    std::memcpy(m_oldMask, &old, sizeof old);
    m_wasPending = pipePending();
}

BrokenPipeGuard::~BrokenPipeGuard() {
    if (!m_wasPending && pipePending()) {
        const sigset_t set = pipeSet();
        const timespec zero{0, 0};
        sigtimedwait(&set, nullptr, &zero);
    }
    sigset_t old;
    std::memcpy(&old, m_oldMask, sizeof old);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}
