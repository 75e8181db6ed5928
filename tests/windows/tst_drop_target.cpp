// The finder of a dropped marker: depth and hidden-folder bounds, removal, and a drop that lands nowhere.
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
    void breadthFirstAcrossRoots();
    void sourceKeptUntilTheWatchEnds_data();
    void sourceKeptUntilTheWatchEnds();
};

static void touch(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void DropTargetTest::finds_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("found");
    QTest::addColumn<bool>("late");
    QTest::newRow("root") << QString() << true << false;
    QTest::newRow("nested") << u"a/b"_s << true << false;
    QTest::newRow("nested, after the loop") << u"a/b"_s << true << true;
    QTest::newRow("too deep") << u"a/b/c/d"_s << false << false;
    QTest::newRow("hidden") << u".cache"_s << false << false;
}

void DropTargetTest::finds() {
    QFETCH(QString, folder);
    QFETCH(bool, found);
    QFETCH(bool, late);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(u"a/b/c/d"_s));
    QVERIFY(QDir(root.path()).mkpath(u".cache"_s));
    DropTargetFinder finder({root.path()}, u"marker.tmp"_s);
    QSignalSpy spy(&finder, &DropTargetFinder::found);
    finder.Arm();
    const QString target = folder.isEmpty() ? root.path() : root.filePath(folder);
    if (!late)
        touch(QDir(target).filePath(u"marker.tmp"_s));
    finder.Finish(QString(), 1500);
    if (late)
        touch(QDir(target).filePath(u"marker.tmp"_s));
    if (found) {
        QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, 3000);
        QCOMPARE(spy.at(0).at(0).toString(), QDir::cleanPath(target) + u'/');
        QVERIFY(!QFile::exists(QDir(target).filePath(u"marker.tmp"_s)));  // removed where it landed
        QVERIFY(!finder.Active());
    } else {
        QTest::qWait(1700);
        QCOMPARE(spy.size(), 0);
        QVERIFY(!finder.Active());
        QVERIFY(QFile::exists(QDir(target).filePath(u"marker.tmp"_s)));  // not ours to touch
    }
}

void DropTargetTest::nowhere() {
    QTemporaryDir root;
    DropTargetFinder finder({root.path()}, u"marker.tmp"_s);
    QSignalSpy spy(&finder, &DropTargetFinder::found);
    finder.Arm();
    QVERIFY(!finder.WatchedFolders().isEmpty());
    finder.Stop();
    QVERIFY(finder.WatchedFolders().isEmpty());
    touch(root.filePath(u"marker.tmp"_s));
    QTest::qWait(200);
    QCOMPARE(spy.size(), 0);
}

void DropTargetTest::boundedCount() {
    QTemporaryDir root;
    for (int i = 0; i < DropTargetFinder::kMaxFolders + 20; ++i)
        QVERIFY(QDir(root.path()).mkpath(u"f%1/g"_s.arg(i)));
    DropTargetFinder finder({root.path()}, u"marker.tmp"_s);
    finder.Arm();
    QCOMPARE(finder.WatchedFolders().size(), DropTargetFinder::kMaxFolders);
}

// A large, deep documents tree must not use up the cap before the downloads folder and its
// sub-folders are watched: shallow folders of every root come first.
void DropTargetTest::breadthFirstAcrossRoots() {
    QTemporaryDir home;
    for (int p = 0; p < 20; ++p) {
        for (int q = 0; q < 5; ++q) {
            for (int r = 0; r < 5; ++r)
                QVERIFY(QDir(home.path()).mkpath(u"Documents/p%1/q%2/r%3"_s.arg(p).arg(q).arg(r)));
        }
    }
    QVERIFY(QDir(home.path()).mkpath(u"Downloads/inbox"_s));
    DropTargetFinder finder({home.filePath(u"Documents"_s), home.filePath(u"Downloads"_s), home.path()},
                            u"marker.tmp"_s);
    finder.Arm();
    const QStringList watched = finder.WatchedFolders();
    QCOMPARE(watched.size(), DropTargetFinder::kMaxFolders);
    QVERIFY(watched.contains(home.filePath(u"Downloads"_s)));
    QVERIFY(watched.contains(home.filePath(u"Downloads/inbox"_s)));
}

// The marker the drag offered stays while the file manager may still copy it, and goes afterwards.
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
    touch(source);
    DropTargetFinder finder({root.path()}, u"marker.tmp"_s);
    QSignalSpy spy(&finder, &DropTargetFinder::found);
    finder.Arm();
    finder.Finish(source, 800);
    QTest::qWait(100);
    QVERIFY(QFile::exists(source));
    if (copied) {
        QVERIFY(QFile::copy(source, root.filePath(u"marker.tmp"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, 3000);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!finder.Active(), 3000);
        QCOMPARE(spy.size(), 0);
    }
    QVERIFY(!QFile::exists(source));
    QVERIFY(!QFile::exists(root.filePath(u"marker.tmp"_s)));
}

QTEST_MAIN(DropTargetTest)
#include "tst_drop_target.moc"
