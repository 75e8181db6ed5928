#include "app/platform/DownloadDisk.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <linux/magic.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// Blocks SIGXFSZ in the calling thread for its scope and drops one raised meanwhile: a write beyond the
// file-size limit then only fails with EFBIG, whatever the process's disposition of the signal.
class FileSizeSignalGuard {
public:
    FileSizeSignalGuard() {
        sigemptyset(&m_set);
        sigaddset(&m_set, SIGXFSZ);
        pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
        m_wasPending = pending();
    }
    ~FileSizeSignalGuard() {
        if (!m_wasPending && pending()) {
            const timespec zero{0, 0};
            sigtimedwait(&m_set, nullptr, &zero);
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    FileSizeSignalGuard(const FileSizeSignalGuard&) = delete;
    FileSizeSignalGuard& operator=(const FileSizeSignalGuard&) = delete;

private:
    static bool pending() {
        sigset_t set;
        sigemptyset(&set);
        return sigpending(&set) == 0 && sigismember(&set, SIGXFSZ) == 1;
    }
    sigset_t m_set;
    sigset_t m_old;
    bool m_wasPending = false;
};

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Errors that say a way of taking a name is missing on this file system (not that the name is taken).
bool Unsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP || error == EPERM;
}

bool SyncfsFlushesDisk(__fsword_t type) {
    switch (static_cast<unsigned long>(type)) {
    case EXT4_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return true;
    default:
        return false;
    }
}

} // namespace

DownloadDisk& DownloadDisk::System() {
    static DownloadDisk disk;
    return disk;
}

int DownloadDisk::create(const QByteArray& path, int& error) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        error = errno;
    return fd;
}

FileLock DownloadDisk::lock(const QString& path) {
    return FileLock(path);
}

bool DownloadDisk::write(int fd, qint64 offset, const char* data, qint64 size, int& error) {
    {
        FileSizeSignalGuard guard;
        const char* p = data;
        qint64 left = size;
        while (left > 0) {
            const ssize_t w = ::write(fd, p, static_cast<size_t>(left));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                error = w < 0 ? errno : ENOSPC;
                return false;
            }
            p += w;
            left -= w;
        }
    }
    // Each stretch that was finished by this write goes to the disk now, in the background; the one
    // before it has most likely reached the disk and leaves the page cache.
    const qint64 first = offset / kWritebackStep;
    const qint64 last = (offset + size) / kWritebackStep;
    for (qint64 step = first; step < last; ++step) {
        ::sync_file_range(fd, step * kWritebackStep, kWritebackStep, SYNC_FILE_RANGE_WRITE);
        if (step > 0)
            ::posix_fadvise(fd, (step - 1) * kWritebackStep, kWritebackStep, POSIX_FADV_DONTNEED);
    }
    return true;
}

void DownloadDisk::startWriteback(int fd) {
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool DownloadDisk::flush(int fd, int& error) {
    if (::fdatasync(fd) != 0) {
        error = errno;
        return false;
    }
    // A large file leaves the page cache once it is safe; a small one stays for whoever opens it next.
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end > kWritebackStep)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    return true;
}

bool DownloadDisk::flushTogether(const std::vector<int>& fds) {
    if (fds.empty())
        return true;
    // Only where syncfs is known to reach the disk: FUSE, for one, may answer it without asking its server,
    // and some file systems write their blocks without flushing the disk's cache.
    struct statfs fs;
    if (::fstatfs(fds.front(), &fs) != 0 || !SyncfsFlushesDisk(fs.f_type))
        return false;
    // One file system only: syncfs serves the one its descriptor is on.
    struct stat first;
    if (::fstat(fds.front(), &first) != 0)
        return false;
    for (const int fd : fds) {
        struct stat st;
        if (::fstat(fd, &st) != 0 || st.st_dev != first.st_dev)
            return false;
    }
    // Reports the write-back errors of the file system since the descriptor was opened (Linux 5.8 on);
    // on a failure the files' own flushes find out which one it was.
    if (::syncfs(fds.front()) != 0)
        return false;
    for (const int fd : fds)
        if (::lseek(fd, 0, SEEK_END) > kWritebackStep)
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    return true;
}

bool DownloadDisk::close(int fd, int& error) {
    if (::close(fd) != 0 && errno != EINTR) {
        error = errno;
        return false;
    }
    return true;
}

bool DownloadDisk::takeName(const QByteArray& from, const QByteArray& to, bool replace, int& error) {
    if (replace) {
        if (::rename(from.constData(), to.constData()) == 0)
            return true;
        error = errno;
        return false;
    }
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (!Unsupported(errno)) {
        error = errno;
        return false;
    }
    // A hard link never replaces; then the temporary name goes.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (!Unsupported(errno)) {
        error = errno;
        return false;
    }
    // Neither (exFAT, archives mounted through FUSE): the name is reserved with an empty file that only
    // we can have created, and the rename replaces nothing but that reservation.
    const int fd = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno;
        return false;
    }
    struct stat reserved;
    const bool known = ::fstat(fd, &reserved) == 0;
    ::close(fd);
    struct stat there;
    if (!known || ::lstat(to.constData(), &there) != 0 || !SameFile(reserved, there)) {
        error = EEXIST; // something else took the name meanwhile: it stays
        return false;
    }
    if (::rename(from.constData(), to.constData()) == 0)
        return true;
    error = errno;
    if (::lstat(to.constData(), &there) == 0 && SameFile(reserved, there))
        ::unlink(to.constData());
    return false;
}

void DownloadDisk::remove(const QByteArray& path) {
    ::unlink(path.constData());
}

void DownloadDisk::removeOwn(const QByteArray& path, int fd) {
    struct stat mine, there;
    if (::fstat(fd, &mine) == 0 && ::lstat(path.constData(), &there) == 0 && SameFile(mine, there))
        ::unlink(path.constData());
}
