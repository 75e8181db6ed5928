// The single-instance name and the settings' write-back, on a private session bus.
#include "app/QuorvaneApp.h"
#include "app/SessionStore.h"
#include "app/Settings.h"
#include "app/platform/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

class SingleInstanceTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_config;

    static QString stored() {
        QString path;
        ReadDownloadPath(path);
        return path;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_config.isValid());
        QVERIFY(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"));
    }
    void init() { QVERIFY(WriteDownloadPath(u"/srv/before/"_s) == 0); }

    void settingsWrittenWhileTheNameIsHeld_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("bad command line") << QStringList{u"Quorvane.exe"_s, u"/start"_s, u"token"_s, u"1"_s};
        // No session server on this bus.
        QTest::newRow("session refused")
            << QStringList{u"Quorvane.exe"_s, u"/start"_s, u"token"_s, u"1"_s, u"2"_s};
    }
    void settingsWrittenWhileTheNameIsHeld() {
        QFETCH(QStringList, arguments);
        auto store = std::make_unique<SessionStore>();
        QVERIFY(store->SetDownloadFolder(u"/srv/after"_s));
        CQuorvaneApp app(*store, {});
        app.Run(arguments);
        // The name is released when Run returns; the settings were on disk before that.
        QCOMPARE(stored(), u"/srv/after/"_s);
        QVERIFY(WriteDownloadPath(u"/srv/elsewhere/"_s) == 0);
        store.reset(); // not written a second time
        QCOMPARE(stored(), u"/srv/elsewhere/"_s);
    }

    void secondCopyLeavesAtOnceAndWritesNothing() {
        // The first copy (another connection to the bus) owns the name but has no window yet.
        QDBusConnection first = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"first-copy"_s);
        QVERIFY(first.isConnected());
        QCOMPARE(first.interface()->registerService(QLatin1String(kQuorvaneService)).value(),
                 QDBusConnectionInterface::ServiceRegistered);
        auto store = std::make_unique<SessionStore>();
        QVERIFY(store->SetDownloadFolder(u"/srv/second/"_s));
        CQuorvaneApp app(*store, {});
        QElapsedTimer timer;
        timer.start();
        app.Run(QStringList{u"Quorvane.exe"_s, u"/start"_s, u"token"_s, u"1"_s, u"2"_s});
        QCOMPARE(app.LastOutcome(), CQuorvaneApp::Outcome::SecondCopy);
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        store.reset();
        QCOMPARE(stored(), u"/srv/before/"_s);
        first.interface()->unregisterService(QLatin1String(kQuorvaneService));
        QDBusConnection::disconnectFromBus(u"first-copy"_s);
    }

    void storedDownloadFolder_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("kept");
        QTest::newRow("259 characters fit the buffer") << 259 << true;
        QTest::newRow("260 characters do not") << 260 << false;
        QTest::newRow("far longer") << 1000 << false;
        QTest::newRow("empty") << 0 << false;
    }
    // What the running copy's windows save when the user changes a setting is on disk at once; a store
    // that is not saved, or whose write-back is settled, writes nothing.
    void savedNow_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("running copy") << 0 << u"/srv/now/"_s;
        QTest::newRow("store without settings") << 1 << u"/srv/before/"_s;
        QTest::newRow("write-back settled") << 2 << u"/srv/before/"_s;
    }
    void savedNow() {
        QFETCH(int, kind);
        QFETCH(QString, expected);
        SessionStore store(kind == 1 ? SessionStore::Settings::None : SessionStore::Settings::LoadAndSave);
        if (kind == 2)
            store.FinishSettings(false);
        QVERIFY(store.SetDownloadFolder(u"/srv/now"_s));
        store.SaveSettingsNow();
        QCOMPARE(stored(), expected);
        store.FinishSettings(false); // nothing more at its end
    }

    void storedDownloadFolder() {
        QFETCH(int, length);
        QFETCH(bool, kept);
        const QString folder = length > 0 ? u"/"_s + QString(length - 2, u'd') + u"/"_s : QString();
        QCOMPARE(folder.size(), length);
        QVERIFY(WriteDownloadPath(folder) == 0);
        SessionStore store(SessionStore::Settings::None);
        store.LoadSettings();
        // Never a cut path, which would name another folder: the documents folder instead.
        QVERIFY(!store.GetDocumentsFolder().isEmpty());
        QCOMPARE(store.GetDownloadFolder(), kept ? folder : store.GetDocumentsFolder());
    }

    void publishedWindowAnswers() {
        SingleInstance first;
        QVERIFY(!first.PublishWindow()); // not the owner yet
        QVERIFY(first.Acquire());
        QVERIFY(first.PublishWindow());
        int activated = 0;
        connect(&first, &SingleInstance::activateRequested, this, [&activated] { ++activated; });
        first.Activate();
        QCOMPARE(activated, 1);
    }
};

int main(int argc, char** argv) {
    // The settings go to a folder of this run, set before anything reads the configuration paths.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    SingleInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_single_instance.moc"
