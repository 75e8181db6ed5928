// The log file: rotation, a folder that cannot be used, many writers, and what real calls leave in it.
#include "app/CredentialProtection.h"
#include "app/Log.h"
#include "app/SessionStore.h"
#include "service/FileService.h"
#include "tests/common/RunningClient.h"
#include "tools/cloffa-service/LocalService.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;
using Kind = cloffa::Fault::Kind;

Q_DECLARE_METATYPE(cloffa::Fault)

namespace {

const QString kUser = u"tester01"_s;
const QString kKey = u"SK-log-7b1e"_s;

QString binary(const QString& relative) {
    return qEnvironmentVariable("QUORVANE_BINARY_DIR") + u'/' + relative;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList logFiles(const QString& folder) {
    return QDir(folder).entryList({u"quorvane.log*"_s}, QDir::Files, QDir::Name);
}

// Swallows what the log handler passes on, so thousands of lines do not flood the test output.
void silentHandler(QtMsgType, const QMessageLogContext&, const QString&) {}

cloffa::Fault fault(Kind kind, int status = 0) {
    cloffa::Fault f;
    f.kind = kind;
    f.status = status;
    return f;
}

// Restores an environment variable when the test ends.
class EnvGuard {
public:
    explicit EnvGuard(const char* name)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {}
    ~EnvGuard() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

class LogTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<cloffa::LocalService> m_service;

private slots:
    void initTestCase() {
        cloffa::ServiceOptions o;
        o.storeDir = m_dir.filePath(u"store"_s).toStdString();
        o.sessionKey = kKey.toStdString();
        m_service = std::make_unique<cloffa::LocalService>(o);
        std::string error;
        QVERIFY2(m_service->start(&error), error.c_str());
        m_service->addFile("보고서.txt", "abc");
    }
    void cleanupTestCase() { m_service->stop(); }
    void init() { m_service->clearFaults(); }
    void cleanup() { Log::Uninstall(); }

    void defaultPath_data() {
        QTest::addColumn<QString>("stateHome"); // "-" = unset
        QTest::addColumn<QString>("expected");
        QTest::newRow("set") << u"/tmp/state-x"_s << u"/tmp/state-x/quorvane/quorvane.log"_s;
        QTest::newRow("trailing slash") << u"/tmp/state-y/"_s << u"/tmp/state-y/quorvane/quorvane.log"_s;
        QTest::newRow("unset") << u"-"_s << QDir::homePath() + u"/.local/state/quorvane/quorvane.log"_s;
        QTest::newRow("empty") << QString() << QDir::homePath() + u"/.local/state/quorvane/quorvane.log"_s;
        QTest::newRow("relative is ignored")
            << u"state"_s << QDir::homePath() + u"/.local/state/quorvane/quorvane.log"_s;
    }
    void defaultPath() {
        QFETCH(QString, stateHome);
        QFETCH(QString, expected);
        EnvGuard guard("XDG_STATE_HOME");
        if (stateHome == u"-"_s)
            qunsetenv("XDG_STATE_HOME");
        else
            qputenv("XDG_STATE_HOME", stateHome.toUtf8());
        QCOMPARE(Log::DefaultFilePath(), expected);
    }

    void lineFormat_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tail");
        QTest::newRow("info") << int(QtInfoMsg) << u"soap GetUserFiles"_s
                              << u" info quorvane.service: soap GetUserFiles"_s;
        QTest::newRow("warning") << int(QtWarningMsg) << u"x"_s << u" warning quorvane.service: x"_s;
        QTest::newRow("line breaks stay on one line")
            << int(QtCriticalMsg) << u"a\nb\r\nc\rd"_s << u" critical quorvane.service: a\\nb\\nc\\nd"_s;
        QTest::newRow("control characters")
            << int(QtDebugMsg) << u"a\tb\x01"_s << u" debug quorvane.service: a b "_s;
        QTest::newRow("Korean") << int(QtWarningMsg) << u"파일을 생성할 수 없습니다."_s
                                << u" warning quorvane.service: 파일을 생성할 수 없습니다."_s;
    }
    void lineFormat() {
        QFETCH(int, type);
        QFETCH(QString, text);
        QFETCH(QString, tail);
        const QString line = QString::fromUtf8(Log::FormatLine(QtMsgType(type), "quorvane.service", text));
        static const QRegularExpression iso(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z "_s);
        QVERIFY2(iso.match(line).hasMatch(), qPrintable(line));
        QVERIFY2(line.endsWith(tail), qPrintable(line));
        QVERIFY(!line.contains(u'\n'));
    }

    void rotation_data() {
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<int>("keep");
        QTest::addColumn<int>("lineBytes");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("files");
        QTest::newRow("1 MB, far past the limit") << qint64(1024 * 1024) << 3 << 1000 << 4000 << 3;
        QTest::newRow("1 MB, just past it once") << qint64(1024 * 1024) << 3 << 1000 << 1100 << 2;
        QTest::newRow("under the limit") << qint64(1024 * 1024) << 3 << 1000 << 1000 << 1;
        QTest::newRow("small limit, one line per file") << qint64(300) << 3 << 200 << 10 << 3;
        QTest::newRow("keep five") << qint64(10000) << 5 << 99 << 2000 << 5;
        QTest::newRow("keep one") << qint64(10000) << 1 << 99 << 2000 << 1;
    }
    void rotation() {
        QFETCH(qint64, maxBytes);
        QFETCH(int, keep);
        QFETCH(int, lineBytes);
        QFETCH(int, lines);
        QFETCH(int, files);
        const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        const QString path = folder + u"/quorvane.log"_s;
        {
            LogFile log(path, maxBytes, keep);
            QVERIFY(log.open());
            for (int i = 0; i < lines; ++i) {
                QByteArray line = QByteArray::number(i).rightJustified(8, '0') + ' ';
                line += QByteArray(lineBytes - 1 - line.size(), 'x'); // with its line feed: lineBytes
                QVERIFY(log.write(line));
            }
        }
        const QStringList names = logFiles(folder);
        QCOMPARE(names.size(), files);
        QStringList expected{u"quorvane.log"_s};
        for (int i = 1; i < files; ++i)
            expected << u"quorvane.log.%1"_s.arg(i);
        QCOMPARE(names, expected);
        // Oldest first: name.N-1 ... name.1, name; the lines kept run without a gap up to the last one.
        QList<QByteArray> kept;
        for (int i = files - 1; i >= 0; --i) {
            const QString file = i == 0 ? path : path + u".%1"_s.arg(i);
            QVERIFY2(QFileInfo(file).size() <= maxBytes, qPrintable(file));
            const QByteArray content = readAll(file);
            QVERIFY(content.endsWith('\n'));
            kept += content.chopped(1).split('\n');
        }
        QVERIFY(!kept.isEmpty());
        for (qsizetype i = 0; i < kept.size(); ++i) {
            QCOMPARE(kept[i].size(), lineBytes - 1);
            QCOMPARE(kept[i].left(8).toInt(), lines - int(kept.size()) + int(i));
        }
    }

    void reopenedFileKeepsCounting() {
        // A second run appends to the file left before and still rotates at the limit.
        const QString path = m_dir.filePath(u"reopen/quorvane.log"_s);
        for (int run = 0; run < 2; ++run) {
            LogFile log(path, 1000, 3);
            QVERIFY(log.open());
            for (int i = 0; i < 6; ++i)
                QVERIFY(log.write(QByteArray(99, 'a' + char(run))));
        }
        QCOMPARE(logFiles(m_dir.filePath(u"reopen"_s)).size(), 2);
        QCOMPARE(QFileInfo(path + u".1"_s).size(), 1000);
        QCOMPARE(readAll(path), QByteArray(99, 'b') + '\n' + QByteArray(99, 'b') + '\n');
    }

    void unusableFolder_data() {
        QTest::addColumn<QString>("blocker");   // made a plain file
        QTest::addColumn<QString>("stateHome"); // relative to the test folder
        QTest::newRow("state folder is a file") << u"sf"_s << u"sf"_s;
        QTest::newRow("a parent is a file") << u"pf"_s << u"pf/deeper"_s;
        QTest::newRow("log file is a folder") << QString() << u"lf"_s;
    }
    void unusableFolder() {
        QFETCH(QString, blocker);
        QFETCH(QString, stateHome);
        EnvGuard guard("XDG_STATE_HOME");
        const QString base = m_dir.filePath(u"unusable-"_s + QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(base));
        if (!blocker.isEmpty()) {
            QFile f(base + u'/' + blocker);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QDir().mkpath(base + u'/' + stateHome + u"/quorvane/quorvane.log"_s));
        }
        qputenv("XDG_STATE_HOME", (base + u'/' + stateHome).toUtf8());
        QVERIFY(!Log::Install());
        QVERIFY(Log::CurrentFilePath().isEmpty());
        // The message still reaches the handler before ours (the test's, standing in for stderr).
        QTest::ignoreMessage(QtWarningMsg, "still heard");
        qCWarning(lcApp, "still heard");
        LogFile direct(Log::DefaultFilePath());
        QVERIFY(!direct.open());
        QVERIFY(!direct.write("x"));
    }

    void concurrentWriters_data() {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("payload");
        QTest::addColumn<bool>("rotates");
        QTest::newRow("4 threads, short lines") << 4 << 2000 << 20 << false;
        QTest::newRow("8 threads, long lines") << 8 << 100 << 1000 << false;
        // 4.8 MB through a 1 MB file: lines of the oldest files are gone, the kept ones are whole.
        QTest::newRow("8 threads, rotating") << 8 << 200 << 3000 << true;
    }
    void concurrentWriters() {
        QFETCH(int, threads);
        QFETCH(int, lines);
        QFETCH(int, payload);
        QFETCH(bool, rotates);
        const QString folder = m_dir.filePath(u"threads-"_s + QString::fromLatin1(QTest::currentDataTag()));
        const QString path = folder + u"/quorvane.log"_s;
        const QtMessageHandler before = qInstallMessageHandler(&silentHandler);
        QVERIFY(Log::Install(path));
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t, lines, payload] {
                const QByteArray fill(payload, char('a' + t));
                for (int i = 0; i < lines; ++i)
                    qCWarning(lcTransfer, "thread %d line %d %s", t, i, fill.constData());
            });
        }
        for (std::thread& w : workers)
            w.join();
        Log::Uninstall();
        qInstallMessageHandler(before);

        const QStringList names = logFiles(folder);
        QCOMPARE(names.size(), rotates ? 3 : 1);
        QList<QByteArray> got;
        for (int i = int(names.size()) - 1; i >= 0; --i) {
            const QString file = i == 0 ? path : path + u".%1"_s.arg(i);
            QVERIFY(QFileInfo(file).size() <= LogFile::kDefaultMaxBytes);
            const QByteArray content = readAll(file);
            QVERIFY(content.endsWith('\n'));
            got += content.chopped(1).split('\n');
        }
        if (!rotates)
            QCOMPARE(got.size(), threads * lines);
        static const QRegularExpression shape(
            u"^\\S+Z warning quorvane\\.transfer: thread (\\d+) line (\\d+) ([a-z]+)$"_s);
        std::vector<int> next(size_t(threads), -1);
        for (const QByteArray& raw : got) {
            const QString line = QString::fromUtf8(raw);
            const QRegularExpressionMatch m = shape.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line.left(200)));
            const int t = m.captured(1).toInt();
            QCOMPARE(m.captured(3), QString(payload, QChar(u'a' + t)));
            // Each thread's lines arrive whole and in its own order, without a gap once kept.
            const int n = m.captured(2).toInt();
            if (next[size_t(t)] >= 0 || !rotates)
                QCOMPARE(n, next[size_t(t)] + 1);
            next[size_t(t)] = n;
        }
        // A thread's newest line is kept whenever any of its lines is.
        for (int t = 0; t < threads; ++t) {
            if (next[size_t(t)] >= 0 || !rotates)
                QCOMPARE(next[size_t(t)], lines - 1);
        }
    }

    void serviceFaultReachesFile_data() {
        QTest::addColumn<cloffa::Fault>("fault");
        QTest::newRow("SOAP fault") << fault(Kind::SoapFault);
        QTest::newRow("HTTP 503") << fault(Kind::HttpStatus, 503);
        QTest::newRow("closed without an answer") << fault(Kind::CloseConnection);
    }
    void serviceFaultReachesFile() {
        QFETCH(cloffa::Fault, fault);
        QTemporaryDir state;
        EnvGuard guard("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", state.path().toUtf8());
        QVERIFY(Log::Install());
        const QString path = state.filePath(u"quorvane/quorvane.log"_s);
        QCOMPARE(Log::CurrentFilePath(), path);

        cloffa::LocalService& service = *m_service;
        SessionStore store(SessionStore::Settings::None);
        store.SetSessionKey(kKey);
        FileServiceSettings settings = FileServiceSettings::FromDeployment();
        settings.baseUrl = QString::fromStdString(service.baseUrl());
        settings.caFile = QString::fromStdString(service.caFile().string());
        FileService files(settings);

        // A call that works is an info line, off by default.
        QCOMPARE(files.GetUserFiles(store).error, 0);
        service.injectFault(cloffa::Endpoint::Soap, fault);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^soap GetUserFiles status=\\d+ error=-?\\d+ "_s));
        const int number = files.GetUserFiles(store).error;
        QVERIFY(number != 0);
        Log::Uninstall();

        const QString log = QString::fromUtf8(readAll(path));
        QVERIFY2(log.contains(u" warning quorvane.service: soap GetUserFiles status="_s), qPrintable(log));
        QVERIFY2(log.contains(u" error=%1 ms="_s.arg(number)), qPrintable(log));
        QVERIFY2(!log.contains(u"error=0 "_s), qPrintable(log));
        QVERIFY(!log.contains(kKey));
        QVERIFY(!log.contains(QString::fromStdString(cloffa::AuthDigestFor(kKey.toStdString()))));
    }

    void launchedProgramKeepsSecrets() {
        // The real program, started by the toolbar stand-in, makes a list call with every line of ours on.
        cloffa::LocalService& service = *m_service;

        QProcess server;
        server.start(binary(u"tools/tavirun/tavirun"_s),
                     {u"serve"_s, u"--user"_s, kUser, u"--session-key"_s, kKey, u"--exit-after"_s, u"60"_s});
        QVERIFY(server.waitForReadyRead(10000));
        QVERIFY(server.readAllStandardOutput().contains("serving"));

        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, home.filePath(u"home"_s));
        env.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
        env.insert(u"XDG_STATE_HOME"_s, home.filePath(u"state"_s));
        env.insert(u"QT_LOGGING_RULES"_s, u"quorvane.*=true"_s);
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"CLOFFA_SERVICE_URL"_s, QString::fromStdString(service.baseUrl()));
        env.insert(u"CLOFFA_CA_FILE"_s, QString::fromStdString(service.caFile().string()));
        QVERIFY(QDir().mkpath(home.filePath(u"home"_s)));
        QVERIFY(QDir().mkpath(home.filePath(u"bin"_s)));
        const QString client = home.filePath(u"bin/Quorvane.exe"_s);
        QVERIFY(QFile::link(binary(u"quorvane"_s), client));

        // Started by the toolbar's launcher, it checks the version and lists; the logout ends it.
        RunningClient launch;
        QVERIFY(launch.Start(binary(u"tools/tavirun/tavirun"_s), {u"launch"_s, u"--"_s, client}, env));
        QVERIFY2(launch.WaitForErr(u"soap GetUserFiles status=200 error=0"_s), qPrintable(launch.Err()));
        QVERIFY(launch.Logout(binary(u"tools/tavirun/tavirun"_s), env));
        const QString err = launch.Err();
        server.kill();
        server.waitForFinished();
        QCOMPARE(launch.ExitCode(), 0);
        QVERIFY2(err.contains(u"main window at "_s), qPrintable(err));

        const QString log = QString::fromUtf8(readAll(home.filePath(u"state/quorvane/quorvane.log"_s)));
        QVERIFY2(log.contains(u" info quorvane.app: Quorvane "_s), qPrintable(log));
        QVERIFY2(log.contains(u" info quorvane.service: soap GetUserFiles status=200 error=0 "_s),
                 qPrintable(log));
        // The same lines went to stderr.
        QVERIFY2(err.contains(u"soap GetUserFiles status=200 error=0"_s), qPrintable(err));

        const QString digest = QString::fromStdString(cloffa::AuthDigestFor(kKey.toStdString()));
        const QString etag = QString::fromStdString(cloffa::EtagFor(kKey.toStdString()));
        QProcess maker;
        maker.start(binary(u"tools/tavirun/tavirun"_s), {u"token"_s, kUser});
        QVERIFY(maker.waitForFinished(10000));
        const QString token = QString::fromLatin1(maker.readAllStandardOutput()).trimmed();
        QCOMPARE(DecryptLaunchToken(token), kUser);
        const QString ownToken = QString::fromLatin1(MakeLaunchToken(kUser));
        const QStringList secrets{kKey, digest, digest.left(11), etag, token, token.left(16), ownToken};
        for (const QString& secret : secrets) {
            QVERIFY2(!log.contains(secret, Qt::CaseInsensitive), qPrintable(secret));
            QVERIFY2(!err.contains(secret, Qt::CaseInsensitive), qPrintable(secret));
        }
        QVERIFY(!log.contains(u"/start"_s));
    }
};

QTEST_GUILESS_MAIN(LogTest)
#include "tst_log.moc"
