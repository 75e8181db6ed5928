#pragma once
// A manual-reset event: stays signalled until reset; waiters pass while it is set.
#include <chrono>
#include <condition_variable>
#include <mutex>

class ManualResetEvent {
public:
    explicit ManualResetEvent(bool signalled = false) : m_signalled(signalled) {}

    void set() {
        {
            std::lock_guard<std::mutex> l(m_mutex);
            m_signalled = true;
        }
        m_cv.notify_all();
    }
    void reset() {
        std::lock_guard<std::mutex> l(m_mutex);
        m_signalled = false;
    }
    bool isSet() const {
        std::lock_guard<std::mutex> l(m_mutex);
        return m_signalled;
    }
    void wait() {
        std::unique_lock<std::mutex> l(m_mutex);
        m_cv.wait(l, [this] { return m_signalled; });
    }
    // True when signalled within `timeout`.
    template <typename Rep, typename Period> bool waitFor(std::chrono::duration<Rep, Period> timeout) {
        std::unique_lock<std::mutex> l(m_mutex);
        return m_cv.wait_for(l, timeout, [this] { return m_signalled; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_signalled;
};
