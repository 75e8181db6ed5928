// What a killed download leaves behind, and what the next download clears away and what it must not.
// The test binary doubles as the child it kills: "--child-download" runs one download, "--child-hold"
// holds a temporary's lock until its standard input closes.
#include "ScriptedReporter.h"
#include "ServiceJob.h"
#include "app/SessionStore.h"
#include "app/platform/DownloadDisk.h"
#include "app/platform/FileLock.h"
#include "tools/cloffa-service/LocalService.h"
#include "transfer/TransferExchange.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kKey = u"test-session-key"_s;

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System, QDir::Name);
}

// The download temporary in `dir`, empty while there is none.
QString PartialIn(const QString& dir) {
    for (const QString& name : Entries(dir))
        if (IsPartialDownloadName(name))
            return QDir(dir).filePath(name);
    return {};
}

QByteArray Content(int size, char seed) {
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char(seed + i * 7);
    return b;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Child: one download into `folder`, as a running copy of the program would do it.
int ChildDownload(int argc, char** argv) {
    if (argc != 7)
        return 2;
    QCoreApplication app(argc, argv);
    SessionStore store(SessionStore::Settings::None);
    store.SetSessionKey(kKey);
    TransferJob job(store, {});
    job.baseUrl = QString::fromUtf8(argv[2]);
    job.caFile = QString::fromUtf8(argv[3]);
    job.destFolder = QString::fromUtf8(argv[4]);
    job.sessionValue = kKey;
    job.runEvent.set();
    const TransferResult r = DownloadFile(job, QString::fromUtf8(argv[6]), 1, 1, std::atoi(argv[5]));
    return r == TransferDone ? 0 : 1;
}

// Child: holds the lock on `path` until standard input closes.
int ChildHold(int argc, char** argv) {
    if (argc != 3)
        return 2;
    FileLock lock(QString::fromUtf8(argv[2]));
    std::printf(lock.isLocked() ? "locked\n" : "not locked\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}

bool RunQuiet(const QString& program, const QStringList& args, QString* output = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(p.readAll()).trimmed();
    return ok;
}

// A file system mounted through FUSE in a folder of its own: exFAT on a loop device, or a zip archive.
// Neither has hard links nor a rename that refuses to replace. Unmounted when this goes.
class FuseMount {
public:
    // Empty when mounted, else why not.
    QString mount(const QString& kind, const QString& workDir) {
        if (!QFileInfo::exists(u"/dev/fuse"_s))
            return u"no /dev/fuse"_s;
        m_dir = workDir + u"/mnt"_s;
        QDir().mkpath(m_dir);
        QString out;
        if (kind == u"exfat"_s) {
            const QString image = workDir + u"/exfat.img"_s;
            QFile f(image);
            if (!f.open(QIODevice::WriteOnly) || !f.resize(64 << 20))
                return u"cannot make the image"_s;
            f.close();
            if (!RunQuiet(u"mkfs.exfat"_s, {image}, &out))
                return u"mkfs.exfat: "_s + out;
            // The FUSE exFAT program wants a block device when run as root.
            if (!RunQuiet(u"losetup"_s, {u"-f"_s, u"--show"_s, image}, &out))
                return u"no loop device: "_s + out;
            m_loop = out;
            if (!RunQuiet(u"mount.exfat-fuse"_s, {m_loop, m_dir}, &out))
                return u"mount.exfat-fuse: "_s + out;
        } else {
            if (!RunQuiet(u"fuse-zip"_s, {workDir + u"/archive.zip"_s, m_dir}, &out))
                return u"fuse-zip: "_s + out;
        }
        m_mounted = true;
        return {};
    }
    ~FuseMount() {
        if (m_mounted)
            RunQuiet(u"fusermount"_s, {u"-u"_s, m_dir}) || RunQuiet(u"fusermount3"_s, {u"-u"_s, m_dir}) ||
                RunQuiet(u"umount"_s, {m_dir});
        if (!m_loop.isEmpty())
            RunQuiet(u"losetup"_s, {u"-d"_s, m_loop});
    }
    QString dir() const { return m_dir; }

private:
    QString m_dir;
    QString m_loop;
    bool m_mounted = false;
};

} // namespace

class TransferLeftoversTest : public QObject {
    Q_OBJECT
    SessionStore m_store{SessionStore::Settings::None};
    QTemporaryDir m_storeDir;
    std::unique_ptr<cloffa::LocalService> m_service;
    std::unique_ptr<QTemporaryDir> m_dest;

    void prepare(TransferJob& job, ScriptedReporter& rep) {
        PrepareServiceJob(job, *m_service, kKey, m_dest->path(), &rep);
    }

    TransferResult download(const QString& name, int32_t idx, bool batch, ScriptedReporter& rep) {
        TransferJob job(m_store, {});
        prepare(job, rep);
        if (!batch)
            return DownloadFile(job, name, 1, 1, idx);
        job.items = {TransferItem{idx, name, {}, 0}};
        RunDownloadBatch(job);
        return rep.errors.empty() && QFileInfo::exists(m_dest->filePath(name)) ? TransferDone : TransferFailed;
    }

    QString self() const { return QCoreApplication::applicationFilePath(); }

private slots:
    void initTestCase() {
        m_store.SetSessionKey(kKey);
        cloffa::ServiceOptions o;
        o.storeDir = m_storeDir.filePath(u"store"_s).toStdString();
        m_service = std::make_unique<cloffa::LocalService>(o);
        std::string error;
        QVERIFY2(m_service->start(&error), error.c_str());
    }
    void init() {
        m_dest = std::make_unique<QTemporaryDir>();
        m_service->clearFaults();
        m_store.ClearFiles();
    }
    void cleanupTestCase() { m_service->stop(); }

    void killedMidBody_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("stallAfter"); // body bytes sent before the service stalls
        QTest::addColumn<bool>("sameNameNext");
        QTest::addColumn<bool>("batch");
        QTest::newRow("early, then another file") << 512 * 1024 << 4096 << false << false;
        QTest::newRow("early, then the same file") << 512 * 1024 << 4096 << true << false;
        // Past the write buffer: the temporary already holds data when the kill comes.
        QTest::newRow("late, then the same file") << 1024 * 1024 << 700 * 1024 << true << false;
        QTest::newRow("late, then a batch") << 1024 * 1024 << 700 * 1024 << false << true;
    }
    void killedMidBody() {
        QFETCH(int, size);
        QFETCH(int, stallAfter);
        QFETCH(bool, sameNameNext);
        QFETCH(bool, batch);
        const QString name = u"killed.bin"_s;
        const QByteArray data = Content(size, 3);
        const int32_t idx = m_service->addFile(name.toStdString(), data.toStdString());
        cloffa::Fault stall;
        stall.kind = cloffa::Fault::Kind::StallMidBody;
        stall.bytes = stallAfter;
        stall.stallMs = 20000;
        m_service->injectFault(cloffa::Endpoint::Download, stall);

        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(self(), {u"--child-download"_s, QString::fromStdString(m_service->baseUrl()),
                             QString::fromStdString(m_service->caFile().string()), m_dest->path(),
                             QString::number(idx), name});
        QVERIFY(child.waitForStarted());
        // Written up to the stall: the buffer is flushed only when full, so a late stall shows data.
        const qint64 expectAtLeast = stallAfter > 256 * 1024 ? 256 * 1024 : 0;
        QString part;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(part = PartialIn(m_dest->path())).isEmpty() && QFileInfo(part).size() >= expectAtLeast, 15000);
        QCOMPARE(child.state(), QProcess::Running);
        // By pid, the way a crash or the system's OOM killer ends it: no clean-up runs.
        child.kill();
        QVERIFY(child.waitForFinished(5000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QCOMPARE(Entries(m_dest->path()), QStringList{QFileInfo(part).fileName()});

        m_service->clearFaults();
        const QString next = sameNameNext ? name : u"next.bin"_s;
        const int32_t nextIdx = sameNameNext ? idx : m_service->addFile(next.toStdString(), "next content");
        ScriptedReporter rep;
        QCOMPARE(download(next, nextIdx, batch, rep), TransferDone);
        QVERIFY(rep.errors.empty());
        QCOMPARE(Entries(m_dest->path()), QStringList{next});
        QCOMPARE(ReadAll(m_dest->filePath(next)), sameNameNext ? data : QByteArray("next content"));
        m_service->removeFile(idx);
        if (!sameNameNext)
            m_service->removeFile(nextIdx);
    }

    void cleanUp_data() {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QString>("kind"); // file, locked, child-locked, folder, symlink
        QTest::addColumn<bool>("removed");
        QTest::addColumn<bool>("batch");
        QTest::newRow("ours, nobody holds it")
            << u".quorvane-part-00ff00ff00ff00ff"_s << u"file"_s << true << false;
        QTest::newRow("ours, nobody holds it, batch")
            << u".quorvane-part-0123456789abcdef"_s << u"file"_s << true << true;
        QTest::newRow("ours, held here") << u".quorvane-part-aaaaaaaaaaaaaaaa"_s << u"locked"_s << false << false;
        QTest::newRow("ours, held by another process")
            << u".quorvane-part-bbbbbbbbbbbbbbbb"_s << u"child-locked"_s << false << false;
        QTest::newRow("ours, too few digits") << u".quorvane-part-0123"_s << u"file"_s << false << false;
        QTest::newRow("ours, upper-case digits")
            << u".quorvane-part-0123456789ABCDEF"_s << u"file"_s << false << false;
        QTest::newRow("earlier version's, nobody holds it")
            << u".old.bin.quorvane-part"_s << u"file"_s << true << false;
        QTest::newRow("earlier version's, batch") << u".old.bin.quorvane-part"_s << u"file"_s << true << true;
        QTest::newRow("Korean name") << u".보고서.txt.quorvane-part"_s << u"file"_s << true << false;
        QTest::newRow("held here") << u".live.bin.quorvane-part"_s << u"locked"_s << false << false;
        QTest::newRow("held here, batch") << u".live.bin.quorvane-part"_s << u"locked"_s << false << true;
        QTest::newRow("held by another process")
            << u".other.bin.quorvane-part"_s << u"child-locked"_s << false << false;
        QTest::newRow("look-alike .x.part") << u".x.part"_s << u"file"_s << false << false;
        QTest::newRow("no leading dot") << u"x.quorvane-part"_s << u"file"_s << false << false;
        QTest::newRow("another ending") << u".x.quorvane-part.bak"_s << u"file"_s << false << false;
        QTest::newRow("nothing between") << u"..quorvane-part"_s << u"file"_s << false << false;
        QTest::newRow("a folder named like ours") << u".d.quorvane-part"_s << u"folder"_s << false << false;
        QTest::newRow("a link named like ours") << u".ln.quorvane-part"_s << u"symlink"_s << false << false;
    }
    void cleanUp() {
        QFETCH(QString, planted);
        QFETCH(QString, kind);
        QFETCH(bool, removed);
        QFETCH(bool, batch);
        const QString path = m_dest->filePath(planted);
        const QByteArray old("left over");
        QTemporaryDir outside;
        const QString target = outside.filePath(u"target"_s);
        if (kind == u"folder"_s) {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == u"symlink"_s) {
            QVERIFY(WriteFile(target, old));
            QVERIFY(QFile::link(target, path));
        } else {
            QVERIFY(WriteFile(path, old));
        }
        FileLock held;
        QProcess holder;
        if (kind == u"locked"_s) {
            held = FileLock(path);
            QVERIFY(held.isLocked());
        } else if (kind == u"child-locked"_s) {
            holder.start(self(), {u"--child-hold"_s, path});
            QVERIFY(holder.waitForReadyRead(10000));
            QCOMPARE(holder.readAllStandardOutput(), QByteArray("locked\n"));
            QCOMPARE(FileLock(path).state(), FileLock::State::Held);
        }

        const int32_t idx = m_service->addFile("fresh.bin", "fresh");
        ScriptedReporter rep;
        QCOMPARE(download(u"fresh.bin"_s, idx, batch, rep), TransferDone);
        m_service->removeFile(idx);
        if (holder.state() != QProcess::NotRunning) {
            holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(5000));
        }
        QStringList expected{u"fresh.bin"_s};
        if (!removed)
            expected << planted;
        expected.sort();
        QCOMPARE(Entries(m_dest->path()), expected);
        if (kind == u"file"_s || kind == u"locked"_s || kind == u"child-locked"_s) {
            if (!removed)
                QCOMPARE(ReadAll(path), old);
        }
        if (kind == u"symlink"_s)
            QCOMPARE(ReadAll(target), old);
    }

    void sameNameTwiceAtOnce() {
        // Another download of the same name into the same folder is being written right now: each has a
        // temporary of its own, and theirs is left alone.
        const QString theirs = NewPartialDownloadPath(m_dest->path() + u'/');
        QVERIFY(WriteFile(theirs, "theirs"));
        FileLock held(theirs);
        QVERIFY(held.isLocked());
        const int32_t idx = m_service->addFile("twice.bin", "ours");
        ScriptedReporter rep;
        QCOMPARE(download(u"twice.bin"_s, idx, false, rep), TransferDone);
        m_service->removeFile(idx);
        QCOMPARE(ReadAll(theirs), QByteArray("theirs"));
        QCOMPARE(ReadAll(m_dest->filePath(u"twice.bin"_s)), QByteArray("ours"));
        QStringList expected{QFileInfo(theirs).fileName(), u"twice.bin"_s};
        expected.sort();
        QCOMPARE(Entries(m_dest->path()), expected);
    }

    void finalNameTakenMeanwhile_data() {
        QTest::addColumn<bool>("approved");
        QTest::addColumn<QString>("fileSystem"); // local, or one mounted through FUSE
        for (const QString& fs : {u"local"_s, u"exfat"_s, u"zip"_s}) {
            QTest::addRow("%s: no replacement approved: the new file stays", qPrintable(fs)) << false << fs;
            QTest::addRow("%s: replacement approved", qPrintable(fs)) << true << fs;
        }
    }
    void finalNameTakenMeanwhile() {
        QFETCH(bool, approved);
        QFETCH(QString, fileSystem);
        // The folder that holds the mount goes after it (members go in reverse order).
        const std::unique_ptr<QTemporaryDir> outer = std::move(m_dest);
        m_dest = std::make_unique<QTemporaryDir>();
        FuseMount mount;
        if (fileSystem != u"local"_s) {
            const QString why = mount.mount(fileSystem, outer->path());
            if (!why.isEmpty())
                QSKIP(qPrintable(u"cannot mount "_s + fileSystem + u" through FUSE: "_s + why));
            m_dest = std::make_unique<QTemporaryDir>(mount.dir() + u"/dest-XXXXXX"_s);
            QVERIFY(m_dest->isValid());
            // A new name, with nothing in the way.
            const int32_t fresh = m_service->addFile("fresh.bin", "fresh content");
            ScriptedReporter freshRep;
            QCOMPARE(download(u"fresh.bin"_s, fresh, true, freshRep), TransferDone);
            m_service->removeFile(fresh);
            QCOMPARE(ReadAll(m_dest->filePath(u"fresh.bin"_s)), QByteArray("fresh content"));
            QCOMPARE(Entries(m_dest->path()), QStringList{u"fresh.bin"_s});
            QVERIFY(QFile::remove(m_dest->filePath(u"fresh.bin"_s)));
            // FUSE may answer a flush of the whole file system without asking its server: a group of files
            // is never taken as flushed there, each gets its own flush.
            std::vector<int> fds;
            for (const char* n : {"one", "two"}) {
                const int fd = ::open(QFile::encodeName(m_dest->filePath(QString::fromLatin1(n))).constData(),
                                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                QVERIFY(fd >= 0);
                QCOMPARE(::write(fd, "x", 1), ssize_t(1));
                fds.push_back(fd);
            }
            const bool together = DownloadDisk::System().flushTogether(fds);
            for (const int fd : fds)
                ::close(fd);
            QVERIFY(!together);
            QVERIFY(QFile::remove(m_dest->filePath(u"one"_s)));
            QVERIFY(QFile::remove(m_dest->filePath(u"two"_s)));
        }
        const QByteArray body = Content(300 * 1024, 5);
        const int32_t idx = m_service->addFile("late.bin", body.toStdString());
        const QString finalPath = m_dest->filePath(u"late.bin"_s);
        ScriptedReporter rep;
        // Once the last byte is in, another program creates the same name.
        rep.onProgress = [&](qint64 done, qint64 total) {
            if (done == total && !QFileInfo::exists(finalPath))
                WriteFile(finalPath, "created meanwhile");
        };
        TransferJob job(m_store, {});
        prepare(job, rep);
        job.replaceApproved = approved;
        if (!approved)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^download \"late\\.bin\" failed "_s));
        const TransferResult r = DownloadFile(job, u"late.bin"_s, 1, 1, idx);
        m_service->removeFile(idx);
        QCOMPARE(Entries(m_dest->path()), QStringList{u"late.bin"_s});
        if (approved) {
            QCOMPARE(r, TransferDone);
            QCOMPARE(ReadAll(finalPath), body);
        } else {
            QCOMPARE(r, TransferFailed);
            QCOMPARE(rep.errors.size(), size_t(1));
            QCOMPARE(rep.errors[0].second, int(EEXIST));
            QCOMPARE(ReadAll(finalPath), QByteArray("created meanwhile"));
        }
        // The naming itself, when the name was taken just before it: the file there stays.
        const QByteArray from = QFile::encodeName(m_dest->filePath(u"from.bin"_s));
        const QByteArray to = QFile::encodeName(finalPath);
        QVERIFY(WriteFile(QString::fromLocal8Bit(from), "from"));
        int error = 0;
        QVERIFY(!DownloadDisk::System().takeName(from, to, false, error));
        QCOMPARE(error, int(EEXIST));
        QCOMPARE(ReadAll(finalPath), approved ? body : QByteArray("created meanwhile"));
        const QByteArray other = QFile::encodeName(m_dest->filePath(u"other.bin"_s));
        QVERIFY2(DownloadDisk::System().takeName(from, other, false, error), qPrintable(QString::number(error)));
        QCOMPARE(ReadAll(QString::fromLocal8Bit(other)), QByteArray("from"));
        m_dest.reset(); // before the file system goes
    }

    void longStoredNames_data() {
        QTest::addColumn<QString>("name");
        // 255 bytes is the longest name a Linux file system takes.
        QTest::newRow("255 bytes") << QString(251, u'n') + u".bin"_s;
        QTest::newRow("241 bytes") << QString(237, u'n') + u".bin"_s;
        QTest::newRow("Korean, 253 bytes") << QString(83, QChar(u'\uD55C')) + u".bin"_s;
    }
    void longStoredNames() {
        QFETCH(QString, name);
        QVERIFY(name.toUtf8().size() <= 255);
        const int32_t idx = m_service->addFile(name.toStdString(), "long name");
        ScriptedReporter rep;
        QCOMPARE(download(name, idx, false, rep), TransferDone);
        m_service->removeFile(idx);
        QVERIFY(rep.errors.empty());
        QCOMPARE(Entries(m_dest->path()), QStringList{name});
        QCOMPARE(ReadAll(m_dest->filePath(name)), QByteArray("long name"));
    }

    void lockStates_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("state");
        QTest::newRow("free file") << u"file"_s << int(FileLock::State::Locked);
        QTest::newRow("held") << u"held"_s << int(FileLock::State::Held);
        QTest::newRow("missing") << u"missing"_s << int(FileLock::State::Failed);
        QTest::newRow("folder") << u"folder"_s << int(FileLock::State::Failed);
        QTest::newRow("symlink") << u"symlink"_s << int(FileLock::State::Failed);
        QTest::newRow("fifo") << u"fifo"_s << int(FileLock::State::Failed);
    }
    void lockStates() {
        QFETCH(QString, kind);
        QFETCH(int, state);
        const QString path = m_dest->filePath(u"f"_s);
        FileLock first;
        if (kind == u"file"_s || kind == u"held"_s)
            QVERIFY(WriteFile(path, "x"));
        if (kind == u"held"_s)
            first = FileLock(path);
        if (kind == u"folder"_s)
            QVERIFY(QDir().mkpath(path));
        if (kind == u"symlink"_s) {
            QVERIFY(WriteFile(m_dest->filePath(u"t"_s), "x"));
            QVERIFY(QFile::link(m_dest->filePath(u"t"_s), path));
        }
        if (kind == u"fifo"_s)
            QCOMPARE(QProcess::execute(u"mkfifo"_s, {path}), 0);
        const FileLock lock(path);
        QCOMPARE(int(lock.state()), state);
        if (lock.isLocked()) {
            QVERIFY(lock.isStillAt(path));
            QVERIFY(!FileLock::RemoveIfUnlocked(path)); // we hold it ourselves
        }
    }
};

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--child-download") == 0)
        return ChildDownload(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--child-hold") == 0)
        return ChildHold(argc, argv);
    QCoreApplication app(argc, argv);
    TransferLeftoversTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_transfer_leftovers.moc"
