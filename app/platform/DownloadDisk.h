#pragma once
// The file operations of a download: its temporary is created, locked, written with the writeback
// started as it grows, flushed and given its name. Whoever runs a download may hand in its own object
// (derived from this one) to watch or break these steps; the default is System().
#include "app/platform/FileLock.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

class DownloadDisk {
public:
    DownloadDisk() = default;
    virtual ~DownloadDisk() = default;
    DownloadDisk(const DownloadDisk&) = delete;
    DownloadDisk& operator=(const DownloadDisk&) = delete;

    static DownloadDisk& System();

    // A new empty file at `path`, never an existing one; the descriptor, or -1 with `error` set.
    virtual int create(const QByteArray& path, int& error);
    virtual FileLock lock(const QString& path);
    // Writes all of `data` at the end of the file, whose length before was `offset`. The kernel is asked to
    // start writing back each finished stretch of a few MiB and to drop an older one from the page cache,
    // so the flush finds little left and a large file does not push out the user's cache. A write beyond
    // the process's file-size limit fails with EFBIG and never ends the process.
    virtual bool write(int fd, qint64 offset, const char* data, qint64 size, int& error);
    // Starts writing the whole file back without waiting (so the flushes of several files go together).
    virtual void startWriteback(int fd);
    // Returns once the file's data and length are on the disk.
    virtual bool flush(int fd, int& error);
    // Returns true once the data and lengths of all of `fds` are on the disk, through one flush of the file
    // system that holds them (each file's own flush costs a flush of the disk's cache); false when that is
    // not known, and then each is to be flushed by itself.
    virtual bool flushTogether(const std::vector<int>& fds);
    virtual bool close(int fd, int& error);
    // Gives the file at `from` the name `to`. Unless `replace`, a file that is at `to` stays and the call
    // fails with EEXIST, on every file system: with an atomic no-replace rename where there is one, else a
    // hard link, else the name reserved by an exclusive create and then taken by the rename.
    virtual bool takeName(const QByteArray& from, const QByteArray& to, bool replace, int& error);
    virtual void remove(const QByteArray& path);
    // Removes `path` only while it still names the file open on `fd`.
    virtual void removeOwn(const QByteArray& path, int fd);

    // Stretch after which the writeback of the written bytes is started.
    static constexpr qint64 kWritebackStep = 8 * 1024 * 1024;
};
