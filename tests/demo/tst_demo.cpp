// scripts/demo pointed at a service this test runs in-process: the demo, driving the program from outside
// through its windows, must use that service and no service of its own, pass its scripted session, leave
// screenshots and leave the store as it found it;
// a stalled step must fail it instead of hanging, and whatever way it ends, nothing it started survives.
#include "tools/cloffa-service/LocalService.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <signal.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kDemoLimitSeconds = 150;

QStringList Listing(const cloffa::LocalService& service) {
    QStringList rows;
    for (const cloffa::StoredFile& f : service.files())
        rows << u"%1|%2|%3|%4|%5"_s.arg(f.idx)
                    .arg(QString::fromStdString(f.name))
                    .arg(f.size)
                    .arg(f.listedSize)
                    .arg(QString::fromStdString(f.regDate));
    rows.sort();
    return rows;
}

// Parent pid and command name of a process, from /proc.
bool ProcessInfo(qint64 pid, qint64* parent, QByteArray* name) {
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
    if (open < 0 || close < open)
        return false;
    *name = line.mid(open + 1, close - open - 1);
    const QList<QByteArray> rest = line.mid(close + 2).split(' ');
    *parent = rest.size() > 1 ? rest.at(1).toLongLong() : 0;
    return true;
}

// Every process below `root`, with its command name.
QHash<qint64, QByteArray> Descendants(qint64 root) {
    QHash<qint64, qint64> parents;
    QHash<qint64, QByteArray> names;
    const QStringList entries = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        qint64 parent = 0;
        QByteArray name;
        if (ok && ProcessInfo(pid, &parent, &name)) {
            parents.insert(pid, parent);
            names.insert(pid, name);
        }
    }
    QHash<qint64, QByteArray> found;
    for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
        for (qint64 up = it.value(), hops = 0; up > 1 && hops < 64; up = parents.value(up), ++hops) {
            if (up == root) {
                found.insert(it.key(), names.value(it.key()));
                break;
            }
        }
    }
    return found;
}

// Width and height from a PNG's header; false when the file is no PNG.
bool PngSize(const QString& path, int* width, int* height) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(24);
    if (head.size() < 24 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.mid(12, 4) != "IHDR")
        return false;
    auto be32 = [&head](int at) {
        return (uchar(head[at]) << 24) | (uchar(head[at + 1]) << 16) | (uchar(head[at + 2]) << 8) |
               uchar(head[at + 3]);
    };
    *width = be32(16);
    *height = be32(20);
    return true;
}

// The same process (pid and name) is still there and not a zombie.
bool StillRunning(qint64 pid, const QByteArray& name) {
    qint64 parent = 0;
    QByteArray now;
    if (!ProcessInfo(pid, &parent, &now) || now != name)
        return false;
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && line.size() > close + 2 && line.at(close + 2) != 'Z';
}

enum class Ending { Passes, StalledUpload, Terminated };

} // namespace

Q_DECLARE_METATYPE(Ending)

class DemoTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void againstGivenService_data();
    void againstGivenService();
};

void DemoTest::againstGivenService_data() {
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("whole session") << Ending::Passes << 0;
    // The service takes the upload and never answers: the session's step limit ends it.
    QTest::newRow("stalled upload") << Ending::StalledUpload << 1;
    // Stopped from outside while the session runs, as by Ctrl-C or a supervisor.
    QTest::newRow("terminated") << Ending::Terminated << 143;
}

void DemoTest::againstGivenService() {
    QFETCH(Ending, ending);
    QFETCH(int, exitCode);
    const QString source = qEnvironmentVariable("QUORVANE_SOURCE_DIR");
    const QString binary = qEnvironmentVariable("QUORVANE_BINARY_DIR");
    QVERIFY2(!source.isEmpty() && !binary.isEmpty(),
             "QUORVANE_SOURCE_DIR and QUORVANE_BINARY_DIR are set by ctest");
    if (qEnvironmentVariableIsEmpty("DISPLAY") && QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty())
        QSKIP("neither a display nor Xvfb");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    cloffa::ServiceOptions options;
    options.storeDir = QString(dir.path() + u"/store"_s).toStdString();
    options.userId = "demo-test";
    options.sessionKey = "demo-test-session-key";
    options.quotaTotal = 2100000000;
    options.sampleSet = true;
    cloffa::LocalService service(options);
    std::string error;
    QVERIFY2(service.start(&error), error.c_str());
    const QStringList before = Listing(service);
    const int32_t freeBefore = service.quotaFree();
    QVERIFY(!before.isEmpty());
    if (ending == Ending::StalledUpload) {
        cloffa::Fault stall;
        stall.kind = cloffa::Fault::Kind::Stall;
        stall.stallMs = 30000;
        service.injectFault(cloffa::Endpoint::Upload, stall, 10);
    }

    const QString out = dir.path() + u"/out"_s;
    const QString url = QString::fromStdString(service.baseUrl());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"CLOFFA_SERVICE_URL"_s, url);
    env.remove(u"CLOFFA_TRANSFER_URL"_s);
    env.insert(u"CLOFFA_CA_FILE"_s, QString::fromStdString(service.caFile().string()));
    env.insert(u"CLOFFA_USER"_s, QString::fromStdString(options.userId));
    env.insert(u"CLOFFA_SESSION_KEY"_s, QString::fromStdString(options.sessionKey));
    env.insert(u"QUORVANE_DEMO_BIN"_s, binary);
    env.insert(u"QUORVANE_DEMO_OUT"_s, out);
    env.insert(u"QUORVANE_DEMO_SCRIPTED"_s, u"1"_s);
    env.insert(u"QUORVANE_DEMO_TIMEOUT"_s, QString::number(kDemoLimitSeconds));
    // Short for the stall, roomy otherwise (sanitizer builds on a busy machine are slow).
    env.insert(u"QUORVANE_DEMO_STEP_TIMEOUT"_s, ending == Ending::StalledUpload ? u"5"_s : u"40"_s);

    QProcess demo;
    demo.setProcessEnvironment(env);
    demo.setProcessChannelMode(QProcess::MergedChannels);
    demo.start(source + u"/scripts/demo"_s);
    QVERIFY2(demo.waitForStarted(), qPrintable(demo.errorString()));
    const qint64 demoPid = demo.processId();

    // Watch what the demo starts while it runs: a service of its own must never appear.
    QHash<qint64, QByteArray> started;
    QByteArray output;
    bool terminated = false;
    QElapsedTimer clock;
    clock.start();
    while (!demo.waitForFinished(200) && clock.elapsed() < (kDemoLimitSeconds + 30) * 1000) {
        started.insert(Descendants(demoPid));
        output += demo.readAll();
        if (ending == Ending::Terminated && !terminated && output.contains("demo: step 3:")) {
            ::kill(pid_t(demoPid), SIGTERM);
            terminated = true;
        }
    }
    if (demo.state() != QProcess::NotRunning) {
        demo.terminate(); // its own trap stops what it started
        if (!demo.waitForFinished(15000)) {
            demo.kill();
            demo.waitForFinished(5000);
        }
        QFAIL("the demo did not end by itself");
    }
    output += demo.readAll();
    const QString text = QString::fromUtf8(output);
    qInfo().noquote() << text;

    QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
    QCOMPARE(demo.exitCode(), exitCode);
    QVERIFY2(text.contains(u"demo: using the given service at "_s + url), "the demo names the given service");
    QVERIFY(!text.contains(u"started the local service"_s));
    QList<QByteArray> names = started.values();
    QVERIFY2(!names.contains("cloffa-service"), "the demo started a service of its own");
    QVERIFY2(names.contains("Quorvane.exe"), "the client was seen running");
    QVERIFY(!QFileInfo::exists(out + u"/store"_s));
    // Whatever the ending, nothing the demo started is left running.
    for (auto it = started.cbegin(); it != started.cend(); ++it)
        QVERIFY2(!StillRunning(it.key(), it.value()),
                 qPrintable(u"still running: "_s + QString::fromLatin1(it.value())));

    if (ending == Ending::StalledUpload) {
        QVERIFY(text.contains(u"FAILED"_s));
        QVERIFY(text.contains(u"no end within 5 s"_s));
        int width = 0, height = 0;
        QVERIFY(PngSize(out + u"/02-upload-timeout.png"_s, &width, &height));
        QVERIFY(!text.contains(u"demo: download matches"_s));
        return;
    }
    if (ending == Ending::Terminated) {
        QVERIFY(text.contains(u"demo: terminated"_s));
        return;
    }

    QVERIFY(text.contains(u"demo: download matches"_s));
    QVERIFY(text.contains(u"demo: all steps done"_s));

    // One screenshot a step, each a real picture of the screen.
    static const QRegularExpression shotLine(u"^demo: screenshot (.+\\.png)$"_s,
                                             QRegularExpression::MultilineOption);
    QStringList shots;
    for (auto it = shotLine.globalMatch(text); it.hasNext();) {
        const QString path = it.next().captured(1);
        if (!shots.contains(path))
            shots << path;
    }
    const QStringList expected{u"01-list.png"_s, u"02-upload.png"_s, u"03-download.png"_s, u"04-delete.png"_s,
                               u"05-logout.png"_s};
    for (const QString& name : expected) {
        const QString path = out + u'/' + name;
        QVERIFY2(shots.contains(path), qPrintable(u"not reported: "_s + path));
        int width = 0, height = 0;
        QVERIFY2(PngSize(path, &width, &height), qPrintable(u"no PNG: "_s + path));
        QVERIFY(width >= 200 && height >= 200);
    }

    // The session went through this service: two uploads, a download, a delete of each.
    int uploads = 0, downloads = 0, deletes = 0;
    for (const cloffa::CapturedRequest& r : service.requests()) {
        uploads += r.method == "POST" && r.target.starts_with("/Cloffa/File/Set.aspx");
        downloads += r.method == "GET" && r.target.starts_with("/Cloffa/File/Get.aspx");
        deletes += r.body.find("DelFile") != std::string::npos;
    }
    QCOMPARE(uploads, 2);
    QCOMPARE(downloads, 1);
    QCOMPARE(deletes, 2);

    // And left the store as it was.
    QCOMPARE(Listing(service), before);
    QCOMPARE(service.quotaFree(), freeBefore);
}

QTEST_GUILESS_MAIN(DemoTest)
#include "tst_demo.moc"
