#pragma once
// Finds where a file manager copied the drag-out marker: watches the roots and their sub-folders
// (bounded in depth and count, hidden folders skipped) for a short grace period after the drop.
#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

class DropTargetFinder : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxDepth = 3;
    static constexpr int kMaxFolders = 256;

    DropTargetFinder(const QStringList& roots, const QString& markerName, QObject* parent = nullptr);
    static QStringList DefaultRoots();  // the desktop folder and the home folder

    void Arm();                      // starts watching (before the drag loop)
    void Finish(int graceMs = 3000);  // the drag loop returned: look now, then keep watching a while
    void Stop();
    bool Active() const { return m_active; }
    QStringList WatchedFolders() const { return m_watcher.directories(); }

Q_SIGNALS:
    // The marker was found (and removed) in `folder`, which ends in "/".
    void found(const QString& folder);

private:
    void Look(const QString& folder);
    void AddTree(const QString& folder, int depth);

    QStringList m_roots;
    QString m_marker;
    QFileSystemWatcher m_watcher;
    QTimer m_grace;
    bool m_active = false;
};
