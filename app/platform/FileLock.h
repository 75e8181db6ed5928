#pragma once
// Exclusive advisory locks on files (open file description locks): a running download holds one on its
// temporary so that a folder clean-up, in this copy of the program or another, leaves the file alone.
#include <QString>

class FileLock {
public:
    enum class State { None, Locked, Held, Failed }; // Held: someone else has the lock

    FileLock() = default;
    // Opens `path` (a regular file, never through a symbolic link) and takes the lock without waiting.
    explicit FileLock(const QString& path);
    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    State state() const { return m_state; }
    bool isLocked() const { return m_state == State::Locked; }
    int error() const { return m_error; } // errno of a failure
    // True when the locked file is the one open on descriptor `fd`.
    bool isFileOf(int fd) const;
    // True when `path` still names the locked file (it was neither removed nor replaced).
    bool isStillAt(const QString& path) const;
    void release();

    // Removes `path` when nobody holds a lock on it; true when it was removed.
    static bool RemoveIfUnlocked(const QString& path);

private:
    int m_fd = -1;
    State m_state = State::None;
    int m_error = 0;
};
