#include "ui/windows/DropTargetFinder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

DropTargetFinder::DropTargetFinder(const QStringList& roots, const QString& markerName, QObject* parent)
    : QObject(parent), m_roots(roots), m_marker(markerName) {
    m_grace.setSingleShot(true);
    connect(&m_grace, &QTimer::timeout, this, &DropTargetFinder::Stop);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &DropTargetFinder::Look);
}

QStringList DropTargetFinder::DefaultRoots() {
    QStringList roots;
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString home = QDir::homePath();
    if (!desktop.isEmpty() && desktop != home)
        roots << desktop;
    roots << home;
    return roots;
}

void DropTargetFinder::AddTree(const QString& folder, int depth) {
    if (m_watcher.directories().size() >= kMaxFolders)
        return;
    if (m_watcher.directories().contains(folder))
        return;
    m_watcher.addPath(folder);
    if (depth >= kMaxDepth)
        return;
    const QFileInfoList children = QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                                                              QDir::Name);
    for (const QFileInfo& child : children) {
        if (child.fileName().startsWith(u'.'))
            continue;
        AddTree(child.absoluteFilePath(), depth + 1);
    }
}

void DropTargetFinder::Arm() {
    Stop();
    m_active = true;
    for (const QString& root : std::as_const(m_roots)) {
        if (QFileInfo(root).isDir())
            AddTree(QDir::cleanPath(root), 0);
    }
}

void DropTargetFinder::Finish(int graceMs) {
    if (!m_active)
        return;
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
