#pragma once
// Finds where a file manager copied the drag-out marker: watches the roots and their sub-folders
// (breadth-first, bounded in depth and count, hidden folders skipped) for a grace period after the drop.
#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

class DropTargetFinder : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxDepth = 3;
    static constexpr int kMaxFolders = 256;
    static constexpr int kGraceMs = 5000;

    DropTargetFinder(const QStringList& roots, const QString& markerName, QObject* parent = nullptr);
    // The desktop and the user's XDG folders first, where drops usually land, then the home folder.
    static QStringList DefaultRoots();

    void Arm();  // starts watching (before the drag loop)
    // The drag loop returned: look now, then keep watching a while. `source` is the marker the drag
    // offered; file managers copy it after the drop, so it is removed only when the watch ends.
    void Finish(const QString& source = QString(), int graceMs = kGraceMs);
    void Stop();
    bool Active() const { return m_active; }
    QStringList WatchedFolders() const { return m_watcher.directories(); }

Q_SIGNALS:
    // The marker was found (and removed) in `folder`, which ends in "/".
    void found(const QString& folder);

private:
    void Look(const QString& folder);

    QStringList m_roots;
    QString m_marker;
    QString m_source;
    QFileSystemWatcher m_watcher;
    QTimer m_grace;
    bool m_active = false;
};
