#include "app/platform/FileLock.h"

#include <QFile>

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

FileLock::FileLock(const QString& path) {
    // Non-blocking open: a FIFO planted under the name must not hang us.
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = errno;
        m_state = State::Failed;
        return;
    }
    struct stat st;
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_error = errno != 0 ? errno : EINVAL;
        release();
        m_state = State::Failed;
        return;
    }
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0; // the whole file
    if (::fcntl(m_fd, F_OFD_SETLK, &fl) != 0) {
        m_error = errno;
        const bool held = m_error == EAGAIN || m_error == EACCES;
        release();
        m_state = held ? State::Held : State::Failed;
        return;
    }
    m_state = State::Locked;
}

FileLock::~FileLock() {
    release();
}

FileLock::FileLock(FileLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_state(std::exchange(other.m_state, State::None)),
      m_error(std::exchange(other.m_error, 0)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
        m_state = std::exchange(other.m_state, State::None);
        m_error = std::exchange(other.m_error, 0);
    }
    return *this;
}

void FileLock::release() {
    if (m_fd >= 0)
        ::close(m_fd); // closing the description drops its lock
    m_fd = -1;
    if (m_state == State::Locked)
        m_state = State::None;
}

bool FileLock::isFileOf(int fd) const {
    struct stat mine, theirs;
    return m_fd >= 0 && ::fstat(m_fd, &mine) == 0 && ::fstat(fd, &theirs) == 0 && SameFile(mine, theirs);
}

bool FileLock::isStillAt(const QString& path) const {
    struct stat mine, there;
    return m_fd >= 0 && ::fstat(m_fd, &mine) == 0 && ::lstat(QFile::encodeName(path).constData(), &there) == 0 &&
           SameFile(mine, there);
}

bool FileLock::RemoveIfUnlocked(const QString& path) {
    FileLock lock(path);
    // Removed only while locked and only if the name still leads to what we locked.
    if (!lock.isLocked() || !lock.isStillAt(path))
        return false;
    return ::unlink(QFile::encodeName(path).constData()) == 0;
}
