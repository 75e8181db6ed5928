#include "ui/windows/DropTargetFinder.h"

#include "app/Utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

// Between the listing worker and the finder: the worker posts only while the finder still wants it.
struct DropTargetFinder::Channel {
    std::mutex mutex;
    DropTargetFinder* finder = nullptr;
    std::atomic<bool> cancelled{false};

    void Post(QStringList folders, bool last) {
        std::lock_guard lock(mutex);
        if (!finder || cancelled)
            return;
        DropTargetFinder* target = finder;
        QMetaObject::invokeMethod(
            target,
            [target, folders = std::move(folders), last] {
                target->AddFolders(folders);
                if (last && target->m_scanning) {
                    target->m_scanning = false;
                    Q_EMIT target->scanned();
                }
            },
            Qt::QueuedConnection);
    }
};

namespace {

constexpr int kBatch = 128;

// Breadth-first under one cap, so a deep folder cannot crowd out a shallow one of another root.
void ListGroup(const QStringList& roots, int cap, QSet<QString>& seen, QStringList& batch,
               const std::shared_ptr<DropTargetFinder::Channel>& channel) {
    std::deque<std::pair<QString, int>> queue;
    for (const QString& root : roots)
        queue.emplace_back(QDir::cleanPath(root), 0);
    int count = 0;
    while (!queue.empty() && count < cap && !channel->cancelled) {
        const auto [folder, depth] = queue.front();
        queue.pop_front();
        if (seen.contains(folder) || !QFileInfo(folder).isDir())
            continue;
        seen.insert(folder);
        batch << folder;
        ++count;
        if (batch.size() >= kBatch) {
            channel->Post(std::exchange(batch, {}), false);
        }
        if (depth >= DropTargetFinder::kMaxDepth)
            continue;
        const QFileInfoList children =
            QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
        for (const QFileInfo& child : children) {
            if (!child.fileName().startsWith(u'.'))
                queue.emplace_back(child.absoluteFilePath(), depth + 1);
        }
    }
}

} // namespace

DropTargetFinder::DropTargetFinder(const QStringList& roots, const QString& markerName, QObject* parent)
    : QObject(parent), m_roots(roots), m_marker(markerName) {
    m_grace.setSingleShot(true);
    connect(&m_grace, &QTimer::timeout, this, [this] {
        Stop();
        Q_EMIT gaveUp();
    });
    m_recheck.setInterval(100);
    connect(&m_recheck, &QTimer::timeout, this, &DropTargetFinder::Recheck);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &DropTargetFinder::Look);
}

DropTargetFinder::~DropTargetFinder() {
    Stop();
}

QStringList DropTargetFinder::DefaultRoots() {
    const QString home = QDir::homePath();
    QStringList roots;
    for (const auto location :
         {QStandardPaths::DesktopLocation, QStandardPaths::DownloadLocation, QStandardPaths::DocumentsLocation,
          QStandardPaths::PicturesLocation, QStandardPaths::MusicLocation, QStandardPaths::MoviesLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        if (!folder.isEmpty() && folder != home && !roots.contains(folder))
            roots << folder;
    }
    roots << home;
    return roots;
}

void DropTargetFinder::Arm(const QString& source) {
    Stop();
    m_source = source;
    m_contents.clear();
    if (!source.isEmpty()) {
        QFile file(source);
        if (file.open(QIODevice::ReadOnly))
            m_contents = file.read(4096);
    }
    m_active = true;
    m_scanning = true;
    m_channel = std::make_shared<Channel>();
    m_channel->finder = this;
    // Detached: a listing stuck in a hung mount must not hold up the window or its end.
    std::thread([channel = m_channel, roots = m_roots, mounts = m_mounts, cap = m_cap, mountCap = m_mountCap] {
        QSet<QString> seen;
        QStringList batch;
        ListGroup(roots, cap, seen, batch, channel);
        const QStringList points = mounts ? mounts() : QStringList();
        for (const QString& mount : points)
            ListGroup({mount}, mountCap, seen, batch, channel);
        channel->Post(std::move(batch), true);
    }).detach();
}

void DropTargetFinder::AddFolders(const QStringList& folders) {
    if (!m_active || folders.isEmpty())
        return;
    m_watcher.addPaths(folders);
    // The copy may have landed before its folder was watched.
    for (const QString& folder : folders) {
        Look(folder);
        if (!m_active)
            return;
    }
}

void DropTargetFinder::Finish(int graceMs) {
    if (!m_active) {
        Stop();
        return;
    }
    m_grace.start(graceMs);
}

void DropTargetFinder::Stop() {
    m_grace.stop();
    m_recheck.stop();
    m_pending.clear();
    m_active = false;
    m_scanning = false;
    if (m_channel) {
        std::lock_guard lock(m_channel->mutex);
        m_channel->cancelled = true;
        m_channel->finder = nullptr;
    }
    m_channel.reset();
    const QStringList folders = m_watcher.directories();
    if (!folders.isEmpty())
        m_watcher.removePaths(folders);
    if (!m_source.isEmpty()) {
        QFile::remove(m_source);
        m_source.clear();
    }
}

void DropTargetFinder::Look(const QString& folder) {
    if (!m_active)
        return;
    const QString path = QDir(folder).filePath(m_marker);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return;
    if (!m_contents.isEmpty()) {
        QFile file(path);
        // A link to the source (a "link here" drop) reads as the source.
        const QByteArray read = file.open(QIODevice::ReadOnly) ? file.read(m_contents.size() + 1) : QByteArray();
        if (read != m_contents) {
            // Still being written: look again shortly. Another drag's or a stranger's: not ours to touch.
            if (m_contents.startsWith(read)) {
                m_pending.insert(folder);
                if (!m_recheck.isActive())
                    m_recheck.start();
            }
            return;
        }
    }
    QFile::remove(path);
    Stop();
    Q_EMIT found(WithTrailingSlash(QDir::cleanPath(folder)));
}

void DropTargetFinder::Recheck() {
    const QSet<QString> pending = std::exchange(m_pending, {});
    if (pending.isEmpty())
        m_recheck.stop();
    for (const QString& folder : pending) {
        Look(folder);
        if (!m_active)
            return;
    }
}
