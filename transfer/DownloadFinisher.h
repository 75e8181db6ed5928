#pragma once
// Finishes the complete downloads of a batch, in their order, on a thread of its own while the next file
// is transferred: each is flushed to the disk and only then takes its name. A file handed over is complete,
// so a later cancel does not undo it (as when it was named in line); after a failure nothing that is still
// waiting takes its name.
#include "app/platform/DownloadDisk.h"
#include "app/platform/FileLock.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// A complete download waiting for its flush and its name; owns the descriptor and the lock.
struct FinishedDownload {
    QString name;        // the stored name
    QByteArray partPath; // the temporary
    QByteArray finalPath;
    bool replace = false; // may take an existing file's place
    int fd = -1;
    FileLock lock; // held until the temporary is renamed or removed
};

enum class FinishStep { Flush, Name };
struct FinishFailure {
    QString name;
    FinishStep step = FinishStep::Flush;
    int error = 0;
};

// Flushes (unless `flushed`: already on the disk), closes and names one file in line; the failure (the
// temporary then removed), or none.
std::optional<FinishFailure> FinishDownload(DownloadDisk& disk, FinishedDownload& file, bool flushed = false);

class DownloadFinisher {
public:
    // `settled` runs on the finisher's thread once a file is named or dropped.
    DownloadFinisher(DownloadDisk& disk, std::function<void(const QString& name)> settled);
    ~DownloadFinisher(); // drains
    DownloadFinisher(const DownloadFinisher&) = delete;
    DownloadFinisher& operator=(const DownloadFinisher&) = delete;

    // Hands a complete file over; waits while the queue is full. After a failure the file is dropped.
    void add(FinishedDownload file);
    // Waits until every file handed over is named or dropped.
    void drain();
    bool isWaiting(const QString& name) const;
    bool failed() const { return m_failed.load(); }
    // The first failure, once.
    std::optional<FinishFailure> takeFailure();

    // Files waiting at most: their descriptors and locks stay open meanwhile.
    static constexpr size_t kDepth = 48;
    // A group is flushed once this many are waiting, or when the first has waited kGather.
    static constexpr size_t kGroup = 32;
    static constexpr std::chrono::milliseconds kGather{50};

private:
    void run();
    void drop(FinishedDownload& file);

    DownloadDisk& m_disk;
    std::function<void(const QString&)> m_settled;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<FinishedDownload> m_queue;
    std::vector<QString> m_busy; // names of the files taken off the queue and not settled yet
    bool m_stop = false;
    int m_draining = 0;
    std::atomic<bool> m_failed{false};
    std::optional<FinishFailure> m_failure;
    std::thread m_thread;
};
