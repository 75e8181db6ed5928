// The finder of a dropped marker: depth and hidden-folder bounds, this drag's own copy only, removal,
// other file systems, and a drop that lands nowhere.
#include "app/platform/MountPoints.h"
#include "ui/windows/DropTargetFinder.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class DropTargetTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void finds_data();
    void finds();
    void nowhere();
    void boundedCount();
    void breadthFirstAcrossRoots_data();
    void breadthFirstAcrossRoots();
    void sourceKeptUntilTheWatchEnds_data();
    void sourceKeptUntilTheWatchEnds();
    void otherFileSystems_data();
    void otherFileSystems();
};

// Smaller than the program's caps: the same bounds, without thousands of folders to make and remove.
constexpr int kCap = 128;

static void write(const QString& path, const QByteArray& contents = {}) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(contents), contents.size());
}

static QString deep(int levels) {
    QStringList parts;
    for (int i = 0; i < levels; ++i)
        parts << u"d%1"_s.arg(i);
    return parts.join(u'/');
}

void DropTargetTest::finds_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QByteArray>("copy"); // what lands there: "source", "stranger", "written late", "link"
    QTest::addColumn<bool>("found");
    QTest::addColumn<bool>("late");
    QTest::newRow("root") << QString() << "source"_ba << true << false;
    QTest::newRow("nested") << u"a/b"_s << "source"_ba << true << false;
    QTest::newRow("nested, after the loop") << u"a/b"_s << "source"_ba << true << true;
    QTest::newRow("deep in the documents") << u"Documents/회사/2026/12월/회의록"_s << "source"_ba << true << true;
    QTest::newRow("twelve levels down") << deep(12) << "source"_ba << true << false;
    QTest::newRow("too deep") << deep(DropTargetFinder::kMaxDepth + 1) << "source"_ba << false << false;
    QTest::newRow("hidden") << u".cache"_s << "source"_ba << false << false;
    // Another drag's marker (or one left by an older version) has other contents: not ours.
    QTest::newRow("another drag's marker") << u"a"_s << "stranger"_ba << false << true;
    QTest::newRow("copy still being written") << u"a/b"_s << "written late"_ba << true << true;
    QTest::newRow("linked, not copied") << u"a"_s << "link"_ba << true << true;
}

void DropTargetTest::finds() {
    QFETCH(QString, folder);
    QFETCH(QByteArray, copy);
    QFETCH(bool, found);
    QFETCH(bool, late);
    QTemporaryDir root;
    QTemporaryDir sourceDir;
    const QString source = sourceDir.filePath(u"marker.tmp"_s);
    write(source, "this drag's contents\n");
    const QString target = folder.isEmpty() ? root.path() : root.filePath(folder);
    QVERIFY(QDir().mkpath(target));
    QVERIFY(QDir(root.path()).mkpath(u".cache"_s));
    DropTargetFinder finder({root.path()}, u"marker.tmp"_s);
    QSignalSpy spy(&finder, &DropTargetFinder::found);
    finder.Arm(source);
    const QString landed = QDir(target).filePath(u"marker.tmp"_s);
    const auto land = [&] {
        if (copy == "source") {
            QVERIFY(QFile::copy(source, landed));
        } else if (copy == "stranger") {
            write(landed, "another drag's contents\n");
        } else if (copy == "link") {
            QVERIFY(QFile::link(source, landed));
        } else {
            write(landed); // created empty, filled a little later
            QTest::qWait(300);
            write(landed, "this drag's contents\n");
        }
    };
    if (!late)
        land();
    QTRY_VERIFY_WITH_TIMEOUT(!finder.Scanning(), 5000);
    finder.Finish(1500);
    if (late)
        land();
    if (found) {
        QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, 3000);
        QCOMPARE(spy.at(0).at(0).toString(), QDir::cleanPath(target) + u'/');
        QVERIFY(!QFileInfo(landed).exists() && !QFileInfo(landed).isSymLink()); // removed where it landed
        QVERIFY(!finder.Active());
    } else {
        QTest::qWait(1700);
        QCOMPARE(spy.size(), 0);
        QVERIFY(!finder.Active());
        QVERIFY(QFileInfo(landed).exists()); // not ours to touch
    }
    QVERIFY(!QFile::exists(source));
}

void DropTargetTest::nowhere() {
    QTemporaryDir root;
    DropTargetFinder finder({root.path()}, u"marker.tmp"_s);
    QSignalSpy spy(&finder, &DropTargetFinder::found);
    QSignalSpy gaveUp(&finder, &DropTargetFinder::gaveUp);
    finder.Arm();
    QTRY_VERIFY_WITH_TIMEOUT(!finder.Scanning(), 5000);
    QVERIFY(!finder.WatchedFolders().isEmpty());
    finder.Stop();
    QVERIFY(finder.WatchedFolders().isEmpty());
    write(root.filePath(u"marker.tmp"_s));
    QTest::qWait(200);
    QCOMPARE(spy.size(), 0);
    QCOMPARE(gaveUp.size(), 0); // a drag refused by its target is no failure to report
}

void DropTargetTest::boundedCount() {
    QTemporaryDir root;
    for (int i = 0; i < kCap + 20; ++i)
        QVERIFY(QDir(root.path()).mkpath(u"f%1/g"_s.arg(i)));
    DropTargetFinder finder({root.path()}, u"marker.tmp"_s);
    finder.SetCaps(kCap, kCap);
    finder.Arm();
    QTRY_VERIFY_WITH_TIMEOUT(!finder.Scanning(), 20000);
    QCOMPARE(finder.WatchedFolders().size(), kCap);
}

// A large, deep documents tree must not use up the cap before the downloads folder and its
// sub-folders are watched: shallow folders of every root come first. Another file system (a USB
// stick) has a cap of its own, so a full home never crowds it out.
void DropTargetTest::breadthFirstAcrossRoots_data() {
    QTest::addColumn<bool>("mounted");
    QTest::newRow("downloads beside a large documents tree") << false;
    QTest::newRow("another file system beside a full home") << true;
}
void DropTargetTest::breadthFirstAcrossRoots() {
    QFETCH(bool, mounted);
    QTemporaryDir home;
    QTemporaryDir stick;
    for (int p = 0; p < kCap / 25 + 1; ++p) {
        for (int q = 0; q < 5; ++q) {
            for (int r = 0; r < 5; ++r)
                QVERIFY(QDir(home.path()).mkpath(u"Documents/p%1/q%2/r%3"_s.arg(p).arg(q).arg(r)));
        }
    }
    const QString inbox = mounted ? stick.filePath(u"사진/2026"_s) : home.filePath(u"Downloads/inbox"_s);
    QVERIFY(QDir().mkpath(inbox));
    DropTargetFinder finder({home.filePath(u"Documents"_s), home.filePath(u"Downloads"_s), home.path()},
                            u"marker.tmp"_s);
    finder.SetCaps(kCap, kCap);
    if (mounted)
        finder.SetOtherFileSystems([path = stick.path()] { return QStringList{path}; });
    finder.Arm();
    QTRY_VERIFY_WITH_TIMEOUT(!finder.Scanning(), 20000);
    const QStringList watched = finder.WatchedFolders();
    QCOMPARE(watched.size(), kCap + (mounted ? 3 : 0));
    QVERIFY(watched.contains(QFileInfo(inbox).absolutePath()));
    QVERIFY(watched.contains(inbox));
}

// The marker the drag offered stays while the file manager may still copy it (a file manager asking
// the user what to do), and goes afterwards; a watch that ends with no copy says so.
void DropTargetTest::sourceKeptUntilTheWatchEnds_data() {
    QTest::addColumn<bool>("copied");
    QTest::newRow("copied late") << true;
    QTest::newRow("never copied") << false;
}
void DropTargetTest::sourceKeptUntilTheWatchEnds() {
    QFETCH(bool, copied);
    QTemporaryDir root;
    QTemporaryDir sourceDir;
    const QString source = sourceDir.filePath(u"marker.tmp"_s);
    write(source, "contents\n");
    DropTargetFinder finder({root.path()}, u"marker.tmp"_s);
    QSignalSpy spy(&finder, &DropTargetFinder::found);
    QSignalSpy gaveUp(&finder, &DropTargetFinder::gaveUp);
    finder.Arm(source);
    finder.Finish(1200);
    QTest::qWait(600);
    QVERIFY(QFile::exists(source));
    if (copied) {
        QVERIFY(QFile::copy(source, root.filePath(u"marker.tmp"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, 3000);
        QCOMPARE(gaveUp.size(), 0);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!finder.Active(), 3000);
        QCOMPARE(spy.size(), 0);
        QCOMPARE(gaveUp.size(), 1);
    }
    QVERIFY(!QFile::exists(source));
    QVERIFY(!QFile::exists(root.filePath(u"marker.tmp"_s)));
}

// Which mounted file systems are watched beside the home: writable ones where users drop files, not
// the system's, pseudo or read-only ones. "@" stands for a writable temporary folder.
void DropTargetTest::otherFileSystems_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("watched");
    QTest::newRow("tmpfs at /mnt") << u"61 28 0:50 / @ rw,relatime shared:30 - tmpfs tmpfs rw"_s << true;
    QTest::newRow("USB stick") << u"62 28 8:17 / @ rw,nosuid,nodev - vfat /dev/sdb1 rw,uid=1000"_s << true;
    QTest::newRow("network share") << u"63 28 0:51 / @ rw - cifs //nas/share rw,vers=3.0"_s << true;
    QTest::newRow("escaped space") << u"64 28 0:52 / @\\040drive rw - ext4 /dev/sdc1 rw"_s << true;
    QTest::newRow("read-only") << u"65 28 0:53 / @ ro,relatime - tmpfs tmpfs ro"_s << false;
    QTest::newRow("pseudo") << u"66 28 0:54 / @ rw - cgroup2 cgroup2 rw"_s << false;
    QTest::newRow("root") << u"28 1 254:0 / / rw,relatime - ext4 /dev/vda rw"_s << false;
    QTest::newRow("system") << u"26 24 0:24 / /dev/shm rw - tmpfs tmpfs rw"_s << false;
    QTest::newRow("missing folder") << u"67 28 0:55 / /nonexistent/mnt rw - tmpfs tmpfs rw"_s << false;
    QTest::newRow("cut short") << u"68 28 0:56 / @ rw"_s << false;
}
void DropTargetTest::otherFileSystems() {
    QFETCH(QString, line);
    QFETCH(bool, watched);
    QTemporaryDir dir;
    const QString point = line.contains(u"\\040"_s) ? dir.path() + u" drive"_s : dir.path();
    QVERIFY(QDir().mkpath(point));
    line.replace(u"@"_s, dir.path());
    const QString table = u"22 28 0:21 / /proc rw - proc proc rw\n"_s + line + u'\n';
    const QStringList points = WritableMountPoints(table);
    QCOMPARE(points.contains(line.contains(u"/ / "_s) ? u"/"_s
                                                      : (line.contains(u"/dev/shm"_s) ? u"/dev/shm"_s : point)),
             watched);
    QVERIFY(!points.contains(u"/proc"_s));
}

QTEST_MAIN(DropTargetTest)
#include "tst_drop_target.moc"
