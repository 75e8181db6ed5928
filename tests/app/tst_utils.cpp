#include "app/Utils.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

class UtilsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void formatSize_data() {
        QTest::addColumn<qint32>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << QStringLiteral("0MB");
        QTest::newRow("one") << 1 << QStringLiteral("1KB");
        QTest::newRow("1023") << 1023 << QStringLiteral("1KB");
        QTest::newRow("1024") << 1024 << QStringLiteral("1KB");
        QTest::newRow("1.05KB rounds down first") << 1075 << QStringLiteral("1KB");
        QTest::newRow("1.1KB rounds up") << 1126 << QStringLiteral("2KB");
        QTest::newRow("1MB exactly stays KB") << 1048576 << QStringLiteral("1024KB");
        QTest::newRow("just above 1MB") << 1048577 << QStringLiteral("1MB");
        QTest::newRow("1.5MB") << 1572864 << QStringLiteral("1.5MB");
        QTest::newRow("9.95MB is 10MB") << 10433332 << QStringLiteral("10MB");
        QTest::newRow("max") << 2147483647 << QStringLiteral("2048MB");
        QTest::newRow("negative") << -5 << QStringLiteral("1KB");
    }
    void formatSize() {
        QFETCH(qint32, bytes);
        QFETCH(QString, text);
        QCOMPARE(FormatSize(bytes), text);
    }

    void formatKbyte_data() {
        QTest::addColumn<qint32>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("1023 truncates") << 1023 << QStringLiteral("0 Kbyte");
        QTest::newRow("2048") << 2048 << QStringLiteral("2 Kbyte");
        QTest::newRow("3071") << 3071 << QStringLiteral("2 Kbyte");
    }
    void formatKbyte() {
        QFETCH(qint32, bytes);
        QFETCH(QString, text);
        QCOMPARE(FormatKbyte(bytes), text);
    }

    void osVersionCode_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("code");
        QTest::newRow("4.0") << 4 << 0 << 3;
        QTest::newRow("4.10") << 4 << 10 << 4;
        QTest::newRow("4.90") << 4 << 90 << 5;
        QTest::newRow("4.1 unknown") << 4 << 1 << 0;
        QTest::newRow("5.0") << 5 << 0 << 6;
        QTest::newRow("5.1") << 5 << 1 << 7;
        QTest::newRow("5.2") << 5 << 2 << 8;
        QTest::newRow("6.0") << 6 << 0 << 9;
        QTest::newRow("6.1 unknown") << 6 << 1 << 0;
        QTest::newRow("10.0") << 10 << 0 << 9;
        QTest::newRow("3.51") << 3 << 51 << 0;
    }
    void osVersionCode() {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, code);
        QCOMPARE(OsVersionCodeFor(major, minor), code);
    }
    void osVersionCodeOnLinux() { QCOMPARE(GetOsVersionCode(), 9); }

    void splitCommandLine_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("tokens");
        QTest::newRow("empty") << QString() << QStringList();
        QTest::newRow("blanks only") << QStringLiteral("   ") << QStringList();
        QTest::newRow("runs") << QStringLiteral("  /start  ab   1 2 ")
                              << QStringList{QStringLiteral("/start"), QStringLiteral("ab"), QStringLiteral("1"),
                                             QStringLiteral("2")};
        QTest::newRow("no quoting") << QStringLiteral("\"a b\"")
                                    << QStringList{QStringLiteral("\"a"), QStringLiteral("b\"")};
        QTest::newRow("tab is no separator")
            << QStringLiteral("a\tb c") << QStringList{QStringLiteral("a\tb"), QStringLiteral("c")};
    }
    void splitCommandLine() {
        QFETCH(QString, text);
        QFETCH(QStringList, tokens);
        QCOMPARE(SplitCommandLine(text), tokens);
    }

    void validFolderPath_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << QStringLiteral("/tmp/down") << true;
        QTest::newRow("trailing blank trimmed") << QStringLiteral("/tmp/ ") << true;
        QTest::newRow("leading blank trimmed") << QStringLiteral("  /home/a/") << true;
        QTest::newRow("blank piece") << QStringLiteral("/a/ /b") << false;
        QTest::newRow("relative") << QStringLiteral("temp") << false;
        QTest::newRow("dot") << QStringLiteral(".") << false;
        QTest::newRow("dot dot") << QStringLiteral("..") << false;
        QTest::newRow("parent piece") << QStringLiteral("/a/../b") << false;
        QTest::newRow("current piece") << QStringLiteral("/a/./b") << false;
        QTest::newRow("star") << QStringLiteral("/a*") << false;
        QTest::newRow("question") << QStringLiteral("/a?") << false;
        QTest::newRow("backslash") << QStringLiteral("/a\\b") << false;
        QTest::newRow("pipe") << QStringLiteral("/a|b") << false;
        QTest::newRow("greater") << QStringLiteral("/a>b") << false;
        QTest::newRow("less") << QStringLiteral("/a<b") << false;
        QTest::newRow("quote") << QStringLiteral("/a\"b") << false;
        QTest::newRow("dots inside a name") << QStringLiteral("/a..b/c") << true;
        QTest::newRow("double slash") << QStringLiteral("/a//b") << true;
        QTest::newRow("Korean") << QStringLiteral("/home/사용자/문서") << true;
    }
    void validFolderPath() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(IsValidFolderPath(text), valid);
    }

    void clampRect_data() {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QRect>("work");
        QTest::addColumn<QPoint>("topLeft");
        const QRect work(0, 0, 1920, 1040);
        QTest::newRow("inside") << QRect(100, 50, 400, 300) << work << QPoint(100, 50);
        QTest::newRow("past right") << QRect(1800, 50, 400, 300) << work << QPoint(1520, 50);
        QTest::newRow("past bottom") << QRect(100, 1000, 400, 300) << work << QPoint(100, 740);
        QTest::newRow("negative") << QRect(-50, -20, 400, 300) << work << QPoint(0, 0);
        QTest::newRow("wider than work area") << QRect(300, 10, 2500, 300) << work << QPoint(0, 10);
        QTest::newRow("taller than work area") << QRect(10, 300, 100, 2000) << work << QPoint(10, 0);
        QTest::newRow("offset work area")
            << QRect(0, 0, 100, 100) << QRect(1920, 30, 1280, 994) << QPoint(1920, 30);
    }
    void clampRect() {
        QFETCH(QRect, rect);
        QFETCH(QRect, work);
        QFETCH(QPoint, topLeft);
        const QRect r = ClampRectToWorkArea(rect, work);
        QCOMPARE(r.topLeft(), topLeft);
        QCOMPARE(r.size(), rect.size());
    }

    void clampToMonitor() {
        const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect r = ClampRectToMonitor(QRect(work.right() + 500, work.bottom() + 500, 200, 100));
        QCOMPARE(r.right(), work.right());
        QCOMPARE(r.bottom(), work.bottom());
        QCOMPARE(ClampRectToMonitor(QRect(0, 0, work.width() + 300, 50)).left(), work.left());
    }

    void isDirectory() {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString plain = tmp.filePath(QStringLiteral("plain"));
        const QString readOnly = tmp.filePath(QStringLiteral("readonly"));
        const QString hidden = tmp.filePath(QStringLiteral(".hidden"));
        const QString file = tmp.filePath(QStringLiteral("file.txt"));
        QVERIFY(QDir().mkpath(plain));
        QVERIFY(QDir().mkpath(readOnly));
        QVERIFY(QDir().mkpath(hidden));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("12345");
        f.close();
        QCOMPARE(::chmod(QFile::encodeName(readOnly).constData(), 0555), 0);

        QVERIFY(IsDirectory(plain));
        QVERIFY(IsDirectory(plain + u'/'));
        QVERIFY(!IsDirectory(readOnly));
        QVERIFY(!IsDirectory(hidden));
        QVERIFY(!IsDirectory(file));
        QVERIFY(!IsDirectory(tmp.filePath(QStringLiteral("missing"))));
        QVERIFY(!IsDirectory(QString()));
        ::chmod(QFile::encodeName(readOnly).constData(), 0755);

        QVERIFY(PathExists(plain + u'/'));
        QVERIFY(PathExists(file));
        QVERIFY(!PathExists(tmp.filePath(QStringLiteral("missing/"))));
        QCOMPARE(GetFileSize64(file), quint64(5));
        QCOMPARE(GetFileSize64(tmp.filePath(QStringLiteral("missing"))), kUnknownFileSize);
    }

    // Only regular files have a size to upload; nothing here may block (a FIFO with no writer would).
    void fileSizeOfOtherKinds_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo") << QStringLiteral("fifo");
        QTest::newRow("character device") << QStringLiteral("/dev/zero");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("symlink to fifo") << QStringLiteral("link");
    }
    void fileSizeOfOtherKinds() {
        QFETCH(QString, kind);
        QTemporaryDir tmp;
        const QString fifo = tmp.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link(fifo, tmp.filePath(QStringLiteral("link"))));
        const QString path = kind == QLatin1String("fifo")     ? fifo
                             : kind == QLatin1String("folder") ? tmp.path()
                             : kind == QLatin1String("link")   ? tmp.filePath(QStringLiteral("link"))
                                                               : kind;
        QCOMPARE(GetFileSize64(path), kUnknownFileSize);
        QCOMPARE(OpenRegularFileForReading(path), -1);
    }

    void withTrailingSlash_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::newRow("empty stays empty") << QString() << QString();
        QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("/");
        QTest::newRow("appended") << QStringLiteral("/home/u/받은 파일") << QStringLiteral("/home/u/받은 파일/");
        QTest::newRow("kept") << QStringLiteral("/home/u/") << QStringLiteral("/home/u/");
        QTest::newRow("backslash is a name character") << QStringLiteral("/a\\") << QStringLiteral("/a\\/");
    }
    void withTrailingSlash() {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QCOMPARE(WithTrailingSlash(path), folder);
    }

    void moduleFolder() {
        const QString folder = GetModuleFolder();
        QVERIFY(folder.endsWith(u'/'));
        QVERIFY(QFileInfo::exists(folder + QCoreApplication::applicationName()) || QFileInfo(folder).isDir());
    }

    void pumpMessages() {
        bool ran = false;
        QTimer::singleShot(0, this, [&ran] { ran = true; });
        QVERIFY(!PumpMessages());
        QVERIFY(ran);
        QVERIFY(PumpMessages([] { return true; }));
    }
};

QTEST_MAIN(UtilsTest)
#include "tst_utils.moc"
