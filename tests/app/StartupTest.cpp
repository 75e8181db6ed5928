// Start-up end to end: the client against the toolbar stand-in on a private session bus.
#include "app/CredentialProtection.h"
#include "app/platform/VolumeInfo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
const QString kUser = QStringLiteral("tester01");
const QString kShown = QStringLiteral("main window shown");

QString binary(const QString& relative) {
    return qEnvironmentVariable("QUORVANE_BINARY_DIR") + u'/' + relative;
}
} // namespace

class StartupTest : public QObject {
    Q_OBJECT

public:
    struct Result {
        int exitCode = -1;
        QString out;
    };

private:
    QTemporaryDir m_dir;
    QString m_client;  // the program under the name the toolbar starts
    std::unique_ptr<QProcess> m_server;

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("QUORVANE_TEST_EXIT_AFTER_SHOW"), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    QString token(const QStringList& extra = {}) {
        QProcess p;
        p.start(binary(QStringLiteral("tools/tavirun/tavirun")), QStringList{QStringLiteral("token"), kUser} + extra);
        if (!p.waitForFinished(10000))
            return {};
        return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
    }

    bool startServer(const QStringList& extra = {}) {
        m_server = std::make_unique<QProcess>();
        m_server->start(binary(QStringLiteral("tools/tavirun/tavirun")),
                        QStringList{QStringLiteral("serve"), QStringLiteral("--user"), kUser,
                                    QStringLiteral("--session-key"), QStringLiteral("SK-1"),
                                    QStringLiteral("--exit-after"), QStringLiteral("60")} +
                            extra);
        return m_server->waitForReadyRead(10000) && m_server->readAllStandardOutput().contains("serving");
    }

    Result run(const QString& program, const QStringList& args, const QProcessEnvironment& env, int waitMs = 20000) {
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
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        return r;
    }

    Result runClient(const QStringList& args, const QProcessEnvironment& env) { return run(m_client, args, env); }
    Result runClient(const QStringList& args) { return runClient(args, environment()); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(QFileInfo::exists(binary(QStringLiteral("quorvane"))));
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

    void reachesWindow() {
        QVERIFY(startServer());
        const Result r = runClient({QStringLiteral("/start"), token(), QStringLiteral("100"), QStringLiteral("50")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(kShown), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("position 100 50")), qPrintable(r.out));
    }

    void reachesWindowThroughLauncher() {
        QVERIFY(startServer());
        const Result r = run(binary(QStringLiteral("tools/tavirun/tavirun")),
                             {QStringLiteral("launch"), QStringLiteral("--left"), QStringLiteral("30"),
                              QStringLiteral("--top"), QStringLiteral("40"), QStringLiteral("--"), m_client},
                             environment());
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(QStringLiteral("position 30 40")), qPrintable(r.out));
    }

    void refused_data() {
        QTest::addColumn<QStringList>("serverArgs");  // {"none"}: no session server
        QTest::addColumn<QString>("args");            // "%t" stands for a valid token
        QTest::newRow("wrong user") << QStringList{QStringLiteral("--fail"), QStringLiteral("wrong-user")}
                                    << QStringLiteral("/start %t 1 2");
        QTest::newRow("empty session key") << QStringList{QStringLiteral("--fail"), QStringLiteral("empty-key")}
                                           << QStringLiteral("/start %t 1 2");
        QTest::newRow("error reply") << QStringList{QStringLiteral("--fail"), QStringLiteral("error")}
                                     << QStringLiteral("/start %t 1 2");
        QTest::newRow("no session server") << QStringList{QStringLiteral("none")} << QStringLiteral("/start %t 1 2");
        QTest::newRow("three tokens") << QStringList() << QStringLiteral("/start %t 1");
        QTest::newRow("five tokens") << QStringList() << QStringLiteral("/start %t 1 2 3");
        QTest::newRow("token of another user") << QStringList() << QStringLiteral("/start %o 1 2");
        QTest::newRow("no arguments, toolbar has a user") << QStringList() << QString();
        QTest::newRow("over-long command line") << QStringList() << QStringLiteral("/start %t 1 ") + QString(240, u'2');
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
        const Result r = runClient(list);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(!r.out.contains(kShown), qPrintable(r.out));
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
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("QUORVANE_TEST_STAY_MS"), QStringLiteral("20000"));
        QProcess first;
        first.setProcessEnvironment(env);
        first.start(m_client, {QStringLiteral("/start"), token(), QStringLiteral("1"), QStringLiteral("2")});
        QString firstOut;
        QTRY_VERIFY_WITH_TIMEOUT((firstOut += QString::fromUtf8(first.readAllStandardOutput())).contains(kShown),
                                 10000);

        QElapsedTimer t;
        t.start();
        const Result second = runClient({QStringLiteral("/start"), token(), QStringLiteral("1"), QStringLiteral("2")});
        const qint64 elapsed = t.elapsed();
        QCOMPARE(second.exitCode, 0);
        QVERIFY(!second.out.contains(kShown));
        QVERIFY2(elapsed >= 300, qPrintable(QString::number(elapsed)));
        QTRY_VERIFY_WITH_TIMEOUT((firstOut += QString::fromUtf8(first.readAllStandardOutput())).contains(u"activated"),
                                 5000);

        // The toolbar's logout ends the first copy long before its test stay is over.
        const Result logout = run(binary(QStringLiteral("tools/tavirun/tavirun")), {QStringLiteral("logout")}, env);
        QCOMPARE(logout.exitCode, 0);
        QVERIFY(first.waitForFinished(5000));
        QCOMPARE(first.exitCode(), 0);
    }

    void settingsSurviveRestart() {
        QVERIFY(startServer());
        const QString folder = m_dir.filePath(QStringLiteral("downloads"));
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("QUORVANE_TEST_SET_FOLDER"), folder);
        env.insert(QStringLiteral("QUORVANE_TEST_TOGGLE_TOP"), QStringLiteral("1"));
        const QStringList args{QStringLiteral("/start"), token(), QStringLiteral("1"), QStringLiteral("2")};
        const Result first = runClient(args, env);
        QVERIFY2(first.out.contains(QStringLiteral("always_top=0")), qPrintable(first.out));
        const Result second = runClient(args);
        QVERIFY2(second.out.contains(QStringLiteral("download_folder=") + folder + u'/'), qPrintable(second.out));
        QVERIFY2(second.out.contains(QStringLiteral("always_top=1")), qPrintable(second.out));
        QVERIFY(QFileInfo::exists(m_dir.filePath(QStringLiteral("config/Brellow/TaviRun.conf"))));
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "StartupTest.moc"
