#pragma once
// Finds where a file manager copied the drag-out marker. The roots and their sub-folders are listed
// breadth-first on a worker (a slow or hung network mount never stops the window) and watched, the
// home's folders under one cap and each other file system under a cap of its own; hidden folders are
// skipped. A copy counts only when it carries this drag's own contents, so two drags running at once
// never take each other's drop. After the drop the watch goes on for a generous grace period, since a
// file manager may still be asking the user what to do.
#include <QByteArray>
#include <QFileSystemWatcher>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class DropTargetFinder : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxDepth = 16;
    static constexpr int kMaxFolders = 4096;      // the home and the other roots together
    static constexpr int kMaxMountFolders = 1024; // each other file system
    static constexpr int kGraceMs = 120000;

    DropTargetFinder(const QStringList& roots, const QString& markerName, QObject* parent = nullptr);
    ~DropTargetFinder() override;
    // The desktop and the user's XDG folders first, where drops usually land, then the home folder.
    static QStringList DefaultRoots();
    // Mounted file systems outside the roots (removable media, network shares), each listed apart.
    // Asked for on the listing worker: a hung mount point may block whoever looks at it.
    void SetOtherFileSystems(std::function<QStringList()> mountPoints) { m_mounts = std::move(mountPoints); }
    // Other caps than kMaxFolders and kMaxMountFolders.
    void SetCaps(int folders, int perMount) {
        m_cap = folders;
        m_mountCap = perMount;
    }

    // Starts watching (before the drag loop). `source` is the marker the drag offers: a copy must carry
    // its contents (with none, any file of the marker's name counts).
    void Arm(const QString& source = QString());
    // The drag loop returned: keep watching a while. File managers copy after they accepted the drop,
    // so the source marker is removed only when the watch ends.
    void Finish(int graceMs = kGraceMs);
    void Stop();
    bool Active() const { return m_active; }
    bool Scanning() const { return m_scanning; }
    QStringList WatchedFolders() const { return m_watcher.directories(); }

    struct Channel; // to the listing worker

Q_SIGNALS:
    // The marker was found (and removed) in `folder`, which ends in "/".
    void found(const QString& folder);
    // The grace period after the drop ended with no copy found.
    void gaveUp();
    void scanned(); // every root has been listed

private:
    void AddFolders(const QStringList& folders);
    void Look(const QString& folder);
    void Recheck();

    QStringList m_roots;
    std::function<QStringList()> m_mounts;
    QString m_marker;
    QString m_source;
    QByteArray m_contents;
    QFileSystemWatcher m_watcher;
    QTimer m_grace;
    QTimer m_recheck;
    QSet<QString> m_pending; // a copy of our name still being written
    std::shared_ptr<Channel> m_channel;
    int m_cap = kMaxFolders;
    int m_mountCap = kMaxMountFolders;
    bool m_active = false;
    bool m_scanning = false;
};
