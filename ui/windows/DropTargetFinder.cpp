#include "ui/windows/DropTargetFinder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <deque>
#include <utility>

DropTargetFinder::DropTargetFinder(const QStringList& roots, const QString& markerName, QObject* parent)
    : QObject(parent), m_roots(roots), m_marker(markerName) {
    m_grace.setSingleShot(true);
    connect(&m_grace, &QTimer::timeout, this, &DropTargetFinder::Stop);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &DropTargetFinder::Look);
}

QStringList DropTargetFinder::DefaultRoots() {
    const QString home = QDir::homePath();
    QStringList roots;
    for (const auto location : {QStandardPaths::DesktopLocation, QStandardPaths::DownloadLocation,
                                QStandardPaths::DocumentsLocation, QStandardPaths::PicturesLocation,
                                QStandardPaths::MusicLocation, QStandardPaths::MoviesLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        if (!folder.isEmpty() && folder != home && !roots.contains(folder))
            roots << folder;
    }
    roots << home;
    return roots;
}

void DropTargetFinder::Arm() {
    Stop();
    m_active = true;
    // Breadth-first over all roots under one cap, so a deep folder cannot crowd out a shallow one.
    std::deque<std::pair<QString, int>> queue;
    for (const QString& root : std::as_const(m_roots)) {
        if (QFileInfo(root).isDir())
            queue.emplace_back(QDir::cleanPath(root), 0);
    }
    QSet<QString> seen;
    QStringList folders;
    while (!queue.empty() && folders.size() < kMaxFolders) {
        const auto [folder, depth] = queue.front();
        queue.pop_front();
        if (seen.contains(folder))
            continue;
        seen.insert(folder);
        folders << folder;
        if (depth >= kMaxDepth)
            continue;
        const QFileInfoList children =
            QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
        for (const QFileInfo& child : children) {
            if (!child.fileName().startsWith(u'.'))
                queue.emplace_back(child.absoluteFilePath(), depth + 1);
        }
    }
    if (!folders.isEmpty())
        m_watcher.addPaths(folders);
}

void DropTargetFinder::Finish(const QString& source, int graceMs) {
    m_source = source;
    if (!m_active) {
        Stop();
        return;
    }
    // The copy may already have landed before the loop returned.
    const QStringList folders = m_watcher.directories();
    for (const QString& folder : folders) {
        Look(folder);
        if (!m_active)
            return;
    }
    m_grace.start(graceMs);
}

void DropTargetFinder::Stop() {
    m_grace.stop();
    m_active = false;
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
    if (!QFileInfo::exists(path))
        return;
    QFile::remove(path);
    Stop();
    QString withSlash = QDir::cleanPath(folder);
    if (!withSlash.endsWith(u'/'))
        withSlash += u'/';
    Q_EMIT found(withSlash);
}
