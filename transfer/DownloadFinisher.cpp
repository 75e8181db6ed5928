#include "transfer/DownloadFinisher.h"

#include <algorithm>
#include <utility>

namespace {

void Drop(DownloadDisk& disk, FinishedDownload& file) {
    int ignored = 0;
    if (file.fd >= 0)
        disk.close(file.fd, ignored);
    file.fd = -1;
    disk.remove(file.partPath);
    file.lock.release();
}

} // namespace

std::optional<FinishFailure> FinishDownload(DownloadDisk& disk, FinishedDownload& file, bool flushed) {
    int error = 0;
    int closeError = 0;
    // On disk before it can take the real name: a crash after "done" never leaves it short or empty.
    if (!flushed)
        flushed = disk.flush(file.fd, error);
    const bool closed = disk.close(file.fd, closeError);
    file.fd = -1;
    if (flushed && !closed)
        error = closeError;
    if (!flushed || !closed) {
        Drop(disk, file);
        return FinishFailure{file.name, FinishStep::Flush, error};
    }
    if (!disk.takeName(file.partPath, file.finalPath, file.replace, error)) {
        Drop(disk, file);
        return FinishFailure{file.name, FinishStep::Name, error};
    }
    file.lock.release();
    return std::nullopt;
}

DownloadFinisher::DownloadFinisher(DownloadDisk& disk, std::function<void(const QString&)> settled)
    : m_disk(disk), m_settled(std::move(settled)), m_thread([this] { run(); }) {}

DownloadFinisher::~DownloadFinisher() {
    {
        std::lock_guard l(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void DownloadFinisher::add(FinishedDownload file) {
    std::unique_lock l(m_lock);
    m_changed.wait(l, [&] { return m_queue.size() < kDepth || m_failed; });
    if (m_failed) {
        l.unlock();
        drop(file);
        return;
    }
    m_queue.push_back(std::move(file));
    // The finisher waits for a first file or a full group; waking it for every file costs a switch each.
    const bool wake = m_queue.size() == 1 || m_queue.size() >= kGroup;
    l.unlock();
    if (wake)
        m_changed.notify_all();
}

void DownloadFinisher::drain() {
    std::unique_lock l(m_lock);
    ++m_draining;
    m_changed.notify_all();
    m_changed.wait(l, [&] { return m_queue.empty() && m_busy.empty(); });
    --m_draining;
}

bool DownloadFinisher::isWaiting(const QString& name) const {
    std::lock_guard l(m_lock);
    return std::find(m_busy.begin(), m_busy.end(), name) != m_busy.end() ||
           std::any_of(m_queue.begin(), m_queue.end(), [&](const FinishedDownload& f) { return f.name == name; });
}

std::optional<FinishFailure> DownloadFinisher::takeFailure() {
    std::lock_guard l(m_lock);
    return std::exchange(m_failure, std::nullopt);
}

void DownloadFinisher::drop(FinishedDownload& file) {
    Drop(m_disk, file);
    if (m_settled)
        m_settled(file.name);
}

void DownloadFinisher::run() {
    for (;;) {
        std::vector<FinishedDownload> group;
        {
            std::unique_lock l(m_lock);
            m_changed.wait(l, [&] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            // Files are gathered for a short while, so one flush of the disk serves many of them.
            const auto until = std::chrono::steady_clock::now() + kGather;
            m_changed.wait_until(l, until, [&] { return m_stop || m_draining > 0 || m_queue.size() >= kGroup; });
            for (FinishedDownload& f : m_queue) {
                m_busy.push_back(f.name);
                group.push_back(std::move(f));
            }
            m_queue.clear();
        }
        m_changed.notify_all();
        // Every file of the group goes to the disk at once and one flush of the file system serves them all:
        // a small file's own flush mostly waits for the disk's cache to be flushed.
        bool flushed = false;
        if (group.size() > 1 && !m_failed) {
            std::vector<int> fds;
            for (const FinishedDownload& f : group) {
                m_disk.startWriteback(f.fd);
                fds.push_back(f.fd);
            }
            flushed = m_disk.flushTogether(fds);
        }
        for (FinishedDownload& f : group) {
            if (m_failed) {
                drop(f);
                continue;
            }
            const std::optional<FinishFailure> failure = FinishDownload(m_disk, f, flushed);
            if (failure) {
                std::lock_guard l(m_lock);
                m_failure = failure;
                m_failed = true;
            }
            if (m_settled)
                m_settled(f.name);
        }
        {
            std::lock_guard l(m_lock);
            m_busy.clear();
        }
        m_changed.notify_all();
    }
}
