// Start-up end to end: the client against the toolbar stand-in on a private session bus.
#include "app/CredentialProtection.h"
#include "app/platform/VolumeInfo.h"
#include "tests/common/RunningClient.h"
#include "tools/cloffa-service/LocalService.h"

#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

namespace {
const QString kUser = QStringLiteral("tester01");
const QString kKey = QStringLiteral("SK-1");
// The window's info line, written once it is placed.
const QString kShown = QStringLiteral("main window at ");
const QString kListed = QStringLiteral("soap GetUserFiles status=200 error=0");

QString binary(const QString& relative) {
    return qEnvironmentVariable("QUORVANE_BINARY_DIR") + u'/' + relative;
}
} // namespace

// The desktop's notification service, as far as the program's second copy can tell.
class StandInNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList summaries;

public Q_SLOTS:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString&, const QStringList&,
                const QVariantMap&, int) {
        summaries << summary;
        return uint(summaries.size());
    }
};

class StartupTest : public QObject {
    Q_OBJECT

public:
    struct Result {
        int exitCode = -1;
        QString out;
    };

private:
    QTemporaryDir m_dir;
    QString m_client;    // the program under the name the toolbar starts
    QString m_installed; // the program under its installed name
    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<cloffa::LocalService> m_service;

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_dir.filePath(QStringLiteral("state")));
        env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("CLOFFA_SERVICE_URL"), QString::fromStdString(m_service->baseUrl()));
        env.insert(QStringLiteral("CLOFFA_CA_FILE"), QString::fromStdString(m_service->caFile().string()));
        RunningClient::EnableInfoLines(env);
        return env;
    }
    QString tavirun() const { return binary(QStringLiteral("tools/tavirun/tavirun")); }

    QString token(const QStringList& extra = {}) {
        QProcess p;
        p.start(tavirun(), QStringList{QStringLiteral("token"), kUser} + extra);
        if (!p.waitForFinished(10000))
            return {};
        return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
    }

    bool startServer(const QStringList& extra = {}) {
        m_server = std::make_unique<QProcess>();
        m_server->start(tavirun(), QStringList{QStringLiteral("serve"), QStringLiteral("--user"), kUser,
                                               QStringLiteral("--session-key"), kKey,
                                               QStringLiteral("--exit-after"), QStringLiteral("60")} +
                                       extra);
        return m_server->waitForReadyRead(10000) && m_server->readAllStandardOutput().contains("serving");
    }

    Result run(const QString& program, const QStringList& args, const QProcessEnvironment& env,
               int waitMs = 20000) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, args);
        Result r;
        if (!p.waitForFinished(waitMs)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        return r;
    }

    Result runClient(const QStringList& args, const QProcessEnvironment& env) { return run(m_client, args, env); }
    Result runClient(const QStringList& args) { return runClient(args, environment()); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        cloffa::ServiceOptions options;
        options.storeDir = m_dir.filePath(QStringLiteral("store")).toStdString();
        options.userId = kUser.toStdString();
        options.sessionKey = kKey.toStdString();
        m_service = std::make_unique<cloffa::LocalService>(options);
        std::string error;
        QVERIFY2(m_service->start(&error), error.c_str());
        m_installed = binary(QStringLiteral("quorvane"));
        QVERIFY(QFileInfo::exists(m_installed));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("bin"))));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("home"))));
        m_client = m_dir.filePath(QStringLiteral("bin/Quorvane.exe"));
        QVERIFY(QFile::link(binary(QStringLiteral("quorvane")), m_client));
    }

    void cleanup() {
        if (m_server) {
            m_server->kill();
            m_server->waitForFinished();
            m_server.reset();
        }
    }

    void tokenFromToolbarDecrypts() {
        const QString t = token();
        QVERIFY(!t.isEmpty());
        QCOMPARE(DecryptLaunchToken(t), kUser);
        QVERIFY(DecryptLaunchToken(token({QStringLiteral("--volume-serial"),
                                          QString::number(VolumeInfo::SystemVolumeSerial() ^ 1u)})) != kUser);
        QVERIFY(DecryptLaunchToken(token({QStringLiteral("--seed"), QString(128, u'7')})) != kUser);
    }

    // Shown at the launch position, listed, and ended by the toolbar's logout: under the toolbar's
    // program name, under the installed name, and through the toolbar's launcher.
    void reachesWindow_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Quorvane.exe") << QStringLiteral("toolbar name");
        QTest::newRow("quorvane") << QStringLiteral("installed name");
        QTest::newRow("launcher") << QStringLiteral("launcher");
    }
    void reachesWindow() {
        QFETCH(QString, how);
        QVERIFY(startServer());
        const QProcessEnvironment env = environment();
        RunningClient client;
        const QStringList start{QStringLiteral("/start"), token(), QStringLiteral("100"), QStringLiteral("50")};
        if (how == QLatin1String("launcher")) {
            QVERIFY(client.Start(tavirun(),
                                 {QStringLiteral("launch"), QStringLiteral("--left"), QStringLiteral("100"),
                                  QStringLiteral("--top"), QStringLiteral("50"), QStringLiteral("--"), m_client},
                                 env));
        } else {
            QVERIFY(client.Start(how == QLatin1String("toolbar name") ? m_client : m_installed, start, env));
        }
        QVERIFY2(client.WaitForErr(kListed), qPrintable(client.Err()));
        QVERIFY2(client.Err().contains(kShown + QStringLiteral("100,50")), qPrintable(client.Err()));
        QVERIFY(client.Logout(tavirun(), env));
        QCOMPARE(client.ExitCode(), 0);
    }

    void refused_data() {
        QTest::addColumn<QStringList>("serverArgs"); // {"none"}: no session server
        QTest::addColumn<QString>("args");           // "%t" stands for a valid token
        QTest::newRow("wrong user") << QStringList{QStringLiteral("--fail"), QStringLiteral("wrong-user")}
                                    << QStringLiteral("/start %t 1 2");
        QTest::newRow("empty session key") << QStringList{QStringLiteral("--fail"), QStringLiteral("empty-key")}
                                           << QStringLiteral("/start %t 1 2");
        QTest::newRow("error reply") << QStringList{QStringLiteral("--fail"), QStringLiteral("error")}
                                     << QStringLiteral("/start %t 1 2");
        QTest::newRow("no session server")
            << QStringList{QStringLiteral("none")} << QStringLiteral("/start %t 1 2");
        QTest::newRow("three tokens") << QStringList() << QStringLiteral("/start %t 1");
        QTest::newRow("five tokens") << QStringList() << QStringLiteral("/start %t 1 2 3");
        QTest::newRow("token of another user") << QStringList() << QStringLiteral("/start %o 1 2");
        QTest::newRow("no arguments, toolbar has a user") << QStringList() << QString();
        QTest::newRow("over-long command line")
            << QStringList() << QStringLiteral("/start %t 1 ") + QString(240, u'2');
    }
    void refused() {
        QFETCH(QStringList, serverArgs);
        QFETCH(QString, args);
        if (serverArgs != QStringList{QStringLiteral("none")})
            QVERIFY(startServer(serverArgs));
        QStringList list = args.split(u' ', Qt::SkipEmptyParts);
        for (QString& a : list) {
            if (a == QLatin1String("%t"))
                a = token();
            else if (a == QLatin1String("%o"))
                a = QString::fromLatin1(MakeLaunchToken(QStringLiteral("someone")));
        }
        for (const QString& program : {m_client, m_installed}) {
            const Result r = run(program, list, environment());
            QCOMPARE(r.exitCode, 0);
            QVERIFY2(!r.out.contains(kShown), qPrintable(r.out));
        }
    }

    void sessionCallTimesOut() {
        QVERIFY(startServer({QStringLiteral("--fail"), QStringLiteral("timeout")}));
        QElapsedTimer t;
        t.start();
        const Result r = runClient({QStringLiteral("/start"), token(), QStringLiteral("1"), QStringLiteral("2")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!r.out.contains(kShown));
        QVERIFY(t.elapsed() < 15000);
    }

    void secondCopyActivatesFirst() {
        QVERIFY(startServer());
        const QProcessEnvironment env = environment();
        RunningClient first;
        QVERIFY(first.Start(m_client,
                            {QStringLiteral("/start"), token(), QStringLiteral("1"), QStringLiteral("2")}, env));
        QVERIFY2(first.WaitForErr(kListed), qPrintable(first.Err()));

        QElapsedTimer t;
        t.start();
        const Result second =
            runClient({QStringLiteral("/start"), token(), QStringLiteral("1"), QStringLiteral("2")});
        const qint64 elapsed = t.elapsed();
        QCOMPARE(second.exitCode, 0);
        QVERIFY(!second.out.contains(kShown));
        QVERIFY2(elapsed >= 300, qPrintable(QString::number(elapsed)));
        QVERIFY2(first.WaitForErr(QStringLiteral("activated by another copy"), 5000), qPrintable(first.Err()));

        // The toolbar's logout ends the first copy.
        QVERIFY(first.Logout(tavirun(), env, 5000));
        QCOMPARE(first.ExitCode(), 0);
    }

    void secondCopyLeavesAtOnceWhileFirstStarts() {
        // The first copy waits for a toolbar that does not answer: it owns the name, but has no window.
        QVERIFY(startServer({QStringLiteral("--fail"), QStringLiteral("timeout")}));
        QProcess first;
        first.setProcessEnvironment(environment());
        first.start(m_client, {QStringLiteral("/start"), token(), QStringLiteral("1"), QStringLiteral("2")});
        QVERIFY(first.waitForStarted());
        // Wait until the first copy owns the name.
        QTRY_VERIFY_WITH_TIMEOUT(
            [this] {
                QProcess p;
                p.start(QStringLiteral("dbus-send"),
                        {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                         QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                         QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                         QStringLiteral("string:org.brellow.Quorvane")});
                return p.waitForFinished(5000) && p.readAllStandardOutput().contains("boolean true");
            }(),
            3000);
        QElapsedTimer t;
        t.start();
        const Result second =
            runClient({QStringLiteral("/start"), token(), QStringLiteral("1"), QStringLiteral("2")});
        const qint64 elapsed = t.elapsed();
        QCOMPARE(second.exitCode, 0);
        QVERIFY(!second.out.contains(kShown));
        // No window to bring forward: it leaves without waiting for an answer.
        QVERIFY2(elapsed < 1500, qPrintable(QString::number(elapsed)));
        QVERIFY(first.state() == QProcess::Running);
        first.kill();
        first.waitForFinished();
    }

    // `quorvane <files…>` as file managers run it: the running copy uploads them and the sender ends
    // with 0; with no copy, or one still starting, nothing goes up, the desktop is told and it ends with 1.
    void sendsFiles_data() {
        QTest::addColumn<QString>("copy"); // "running", "none" or "starting"
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("notified");
        QTest::newRow("to the running copy") << QStringLiteral("running") << 0 << QString();
        QTest::newRow("no running copy")
            << QStringLiteral("none") << 1
            << QStringLiteral("Cloffa가 실행 중이 아니어서 파일을 보내지 못했습니다.");
        QTest::newRow("copy still starting")
            << QStringLiteral("starting") << 1 << QStringLiteral("Cloffa가 지금은 파일을 받을 수 없습니다.");
    }
    void sendsFiles() {
        QFETCH(QString, copy);
        QFETCH(int, exitCode);
        QFETCH(QString, notified);
        const QString name = QStringLiteral("보낸 파일 %1.txt").arg(copy);
        const QString path = m_dir.filePath(QStringLiteral("home/") + name);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("sent from a file manager\n");
        }
        StandInNotifications notifications;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
        const QProcessEnvironment env = environment();
        RunningClient first;
        if (copy != QLatin1String("none")) {
            QVERIFY(startServer(copy == QLatin1String("starting")
                                    ? QStringList{QStringLiteral("--fail"), QStringLiteral("timeout")}
                                    : QStringList()));
            QVERIFY(first.Start(
                m_client, {QStringLiteral("/start"), token(), QStringLiteral("1"), QStringLiteral("2")}, env));
            if (copy == QLatin1String("running"))
                QVERIFY2(first.WaitForErr(kListed), qPrintable(first.Err()));
            else
                QTest::qWait(1000); // owns the name, waits for the toolbar
        }
        // The sender's wait for the notification service is answered from this thread's loop.
        QProcess sender;
        sender.setProcessEnvironment(env);
        sender.start(m_installed, {QUrl::fromLocalFile(path).toString()});
        QTRY_VERIFY_WITH_TIMEOUT(sender.state() == QProcess::NotRunning, 20000);
        QVERIFY2(sender.exitCode() == exitCode, sender.readAllStandardError().constData());
        const auto stored = [this, &name] {
            for (const cloffa::StoredFile& f : m_service->files())
                if (QString::fromStdString(f.name) == name)
                    return true;
            return false;
        };
        if (copy == QLatin1String("running")) {
            QTRY_VERIFY_WITH_TIMEOUT(stored(), 15000);
            QVERIFY(first.Logout(tavirun(), env));
        } else {
            QTest::qWait(300);
            QVERIFY(!stored());
        }
        bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        QCOMPARE(notifications.summaries, notified.isEmpty() ? QStringList() : QStringList{notified});
    }

    // The stored settings are read at start and written back unchanged at the end.
    void settingsSurviveRestart() {
        QVERIFY(startServer());
        const QString folder = m_dir.filePath(QStringLiteral("downloads")) + u'/';
        const QString conf = m_dir.filePath(QStringLiteral("config/Brellow/TaviRun.conf"));
        QVERIFY(QDir().mkpath(QFileInfo(conf).path()));
        {
            QFile file(conf);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(QByteArray("[Cloffa]\ndownload_path=") + folder.toUtf8() + "\nalways_top=1\n");
        }
        const QProcessEnvironment env = environment();
        RunningClient client;
        QVERIFY(client.Start(m_client,
                             {QStringLiteral("/start"), token(), QStringLiteral("1"), QStringLiteral("2")}, env));
        QVERIFY2(client.WaitForErr(kListed), qPrintable(client.Err()));
        QVERIFY(client.Logout(tavirun(), env));
        QFile file(conf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QVERIFY2(written.contains(QByteArray(QByteArray("download_path=") + folder.toUtf8())),
                 written.constData());
        QVERIFY2(written.contains("always_top=1"), written.constData());
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "tst_startup.moc"
