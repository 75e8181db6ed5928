#pragma once
// Writes into a connection the other side has closed must fail with EPIPE, never end the process.

// Ignores SIGPIPE for the whole process; called once at start-up.
void IgnoreBrokenPipeSignal();

// Blocks SIGPIPE in the calling thread for its scope and drops one raised meanwhile, for code that writes
// to sockets through libraries that do not ask the kernel to spare the signal (the TLS library).
class BrokenPipeGuard {
public:
    BrokenPipeGuard();
    ~BrokenPipeGuard();
    BrokenPipeGuard(const BrokenPipeGuard&) = delete;
    BrokenPipeGuard& operator=(const BrokenPipeGuard&) = delete;

private:
    unsigned char m_oldMask[128]; // the thread's signal mask before (a sigset_t)
    bool m_wasPending = false;
};
