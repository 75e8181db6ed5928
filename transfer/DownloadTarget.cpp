#include "transfer/DownloadTarget.h"

#include "transfer/TransferJob.h"

#include <QFile>

#include <cerrno>
#include <utility>

namespace {
constexpr qint64 kFileBuffer = 256 * 1024;
}

DownloadTarget::DownloadTarget(DownloadDisk& disk, const QString& folder) : m_disk(disk), m_folder(folder) {
    m_buffer.reserve(kFileBuffer);
}

DownloadTarget::~DownloadTarget() {
    drop();
}

bool DownloadTarget::create() {
    QString partName;
    // A name of its own, whatever the stored name's length; taken names are skipped.
    for (int attempt = 0; attempt < 8; ++attempt) {
        partName = NewPartialDownloadPath(m_folder);
        m_partPath = QFile::encodeName(partName);
        m_fd = m_disk.create(m_partPath, m_error);
        if (m_fd >= 0 || m_error != EEXIST)
            break;
    }
    if (m_fd < 0)
        return false;
    m_lock = m_disk.lock(partName);
    // Between create and lock another copy's clean-up may have taken the file: then it is not ours.
    if (!m_lock.isLocked() || !m_lock.isFileOf(m_fd)) {
        // What is still ours goes; a file another copy put under the name stays.
        m_disk.removeOwn(m_partPath, m_fd);
        int ignored = 0;
        m_disk.close(m_fd, ignored);
        m_fd = -1;
        m_lock.release();
        m_error = EBUSY;
        return false;
    }
    return true;
}

bool DownloadTarget::append(const char* data, size_t size) {
    if (m_buffer.size() + qint64(size) > kFileBuffer && !writeBuffer())
        return false;
    m_buffer.append(data, static_cast<qsizetype>(size));
    return true;
}

bool DownloadTarget::writeBuffer() {
    if (!m_disk.write(m_fd, m_written, m_buffer.constData(), m_buffer.size(), m_error))
        return false;
    m_written += m_buffer.size();
    m_buffer.resize(0);
    return true;
}

void DownloadTarget::drop() {
    if (m_fd < 0)
        return;
    int ignored = 0;
    m_disk.close(m_fd, ignored);
    m_disk.remove(m_partPath);
    m_fd = -1;
    m_lock.release();
}

FinishedDownload DownloadTarget::handOver(const QString& name, const QByteArray& finalPath, bool replace) {
    FinishedDownload done{name, m_partPath, finalPath, replace, std::exchange(m_fd, -1), std::move(m_lock)};
    return done;
}
