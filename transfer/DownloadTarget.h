#pragma once
// The file side of one download: a temporary of its own, created and locked once the answer's length is
// known, the body written to it through a buffer, and then either handed on complete or removed.
#include "app/platform/DownloadDisk.h"
#include "app/platform/FileLock.h"
#include "transfer/DownloadFinisher.h"

#include <QByteArray>
#include <QString>

class DownloadTarget {
public:
    DownloadTarget(DownloadDisk& disk, const QString& folder);
    ~DownloadTarget(); // a temporary still held goes
    DownloadTarget(const DownloadTarget&) = delete;
    DownloadTarget& operator=(const DownloadTarget&) = delete;

    // A new temporary under a name of its own, locked; false with error() set.
    bool create();
    // Buffered; false when the buffer could not be written (error() set).
    bool append(const char* data, size_t size);
    // Writes what the buffer holds.
    bool writeBuffer();
    // The temporary goes, if there is one.
    void drop();
    // The complete file, for its flush and its name; the target then holds nothing.
    FinishedDownload handOver(const QString& name, const QByteArray& finalPath, bool replace);

    bool isOpen() const { return m_fd >= 0; }
    int error() const { return m_error; }

private:
    DownloadDisk& m_disk;
    QString m_folder;
    QByteArray m_partPath;
    // Held from creation until the temporary is renamed or removed, so no clean-up takes it meanwhile.
    FileLock m_lock;
    int m_fd = -1;
    int m_error = 0;
    qint64 m_written = 0;
    QByteArray m_buffer;
};
