// The file manager request on a private session bus: a stand-in file manager records what it is asked.
#include "app/platform/FileManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>
#include <QUrl>

class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
    QString startupId;

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& startup) {
        shown = uris;
        startupId = startup;
    }
};

class FileManagerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noFileManagerOnTheBus() {
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QVERIFY(!FileManager().ShowItems({QStringLiteral("/tmp/a.txt")}));
    }

    void showsTheFilesAsUris_data() {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("uris");
        QTest::newRow("one") << QStringList{QStringLiteral("/home/u/받은 파일.txt")}
                             << QStringList{QStringLiteral("file:///home/u/%EB%B0%9B%EC%9D%80%20%ED%8C%8C%EC%9D%BC.txt")};
        QTest::newRow("two, with a hash") << QStringList{QStringLiteral("/d/a#1.bin"), QStringLiteral("/d/b.bin")}
                                          << QStringList{QStringLiteral("file:///d/a%231.bin"), QStringLiteral("file:///d/b.bin")};
    }
    void showsTheFilesAsUris() {
        QFETCH(QStringList, paths);
        QFETCH(QStringList, uris);
        FakeFileManager fake;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(QString::fromLatin1(kFileManagerPath), &fake, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QString::fromLatin1(kFileManagerService)));
        const bool shown = FileManager().ShowItems(paths);
        bus.unregisterService(QString::fromLatin1(kFileManagerService));
        bus.unregisterObject(QString::fromLatin1(kFileManagerPath));
        QVERIFY(shown);
        QCOMPARE(fake.shown, uris);
        QCOMPARE(fake.startupId, QString());
        // Each URI names the local file again.
        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(QUrl(fake.shown.at(i)).toLocalFile(), paths.at(i));
    }

    void nothingToShow() { QVERIFY(!FileManager().ShowItems({})); }
};

QTEST_GUILESS_MAIN(FileManagerTest)
#include "FileManagerTest.moc"
