// Real exchanges with the local service on the loopback address.
#include "ScriptedReporter.h"
#include "ServiceJob.h"
#include "app/SessionStore.h"
#include "app/platform/DownloadDisk.h"
#include "tools/cloffa-service/LocalService.h"
#include "transfer/TransferExchange.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray Sha(const QByteArray& b) {
    return QCryptographicHash::hash(b, QCryptographicHash::Sha256);
}

QByteArray FileSha(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result();
}

QByteArray RandomBytes(qsizetype n) {
    QByteArray b(n, Qt::Uninitialized);
    QRandomGenerator gen(1234);
    for (qsizetype i = 0; i < n; ++i)
        b[i] = char(gen.generate() & 0xff);
    return b;
}

cloffa::Fault StatusFault(int status) {
    cloffa::Fault f;
    f.kind = cloffa::Fault::Kind::StatusAfterBody;
    f.status = status;
    return f;
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden, QDir::Name);
}

// The system's file operations, with each flush and naming written down in order ("flushed 1", "named
// 1": files by the order of their creation), and one step of one file made to fail, or a wait first.
class RecordingDisk : public DownloadDisk {
public:
    enum class Fault { None, NoLock, FlushFails, NameFails };
    Fault fault = Fault::None;
    int faultFile = 1;                 // by the order of creation
    std::function<void()> beforeFlush; // runs before the first flush

    int create(const QByteArray& path, int& error) override {
        const int fd = DownloadDisk::create(path, error);
        std::lock_guard l(m_lock);
        m_parts.push_back(path);
        m_open[fd] = int(m_parts.size());
        return fd;
    }
    FileLock lock(const QString& path) override {
        return fault == Fault::NoLock ? FileLock() : DownloadDisk::lock(path);
    }
    bool flush(int fd, int& error) override {
        if (std::function<void()> first = std::exchange(beforeFlush, {}))
            first();
        bool ok = DownloadDisk::flush(fd, error);
        std::lock_guard l(m_lock);
        const int n = m_open[fd];
        if (ok && fault == Fault::FlushFails && n == faultFile) {
            error = EIO;
            ok = false;
        }
        m_events << (ok ? u"flushed %1"_s : u"flush failed %1"_s).arg(n);
        return ok;
    }
    // Unless `together`, every file is flushed by itself, so each flush is seen; else a group's flush
    // counts for each of its files, and one that is to fail makes the group's fail.
    bool together = false;
    bool flushTogether(const std::vector<int>& fds) override {
        if (!together)
            return false;
        const bool ok = DownloadDisk::flushTogether(fds);
        std::lock_guard l(m_lock);
        for (const int fd : fds)
            if (fault == Fault::FlushFails && m_open[fd] == faultFile)
                return false;
        for (const int fd : fds)
            m_events << (ok ? u"flushed %1"_s : u"flush failed %1"_s).arg(m_open[fd]);
        return ok;
    }
    bool takeName(const QByteArray& from, const QByteArray& to, bool replace, int& error) override {
        const int n = ordinal(from);
        if (fault == Fault::NameFails && n == faultFile) {
            error = ENOSPC;
            return false;
        }
        const bool ok = DownloadDisk::takeName(from, to, replace, error);
        std::lock_guard l(m_lock);
        if (ok)
            m_events << u"named %1"_s.arg(n);
        return ok;
    }
    int createCount() {
        std::lock_guard l(m_lock);
        return int(m_parts.size());
    }
    QStringList events() {
        std::lock_guard l(m_lock);
        return m_events;
    }

private:
    int ordinal(const QByteArray& part) {
        std::lock_guard l(m_lock);
        for (size_t i = 0; i < m_parts.size(); ++i)
            if (m_parts[i] == part)
                return int(i + 1);
        return 0;
    }
    std::mutex m_lock;
    std::vector<QByteArray> m_parts;
    std::map<int, int> m_open;
    QStringList m_events;
};

} // namespace

class TransferServiceTest : public QObject {
    Q_OBJECT
    SessionStore m_store{SessionStore::Settings::None};
    QTemporaryDir m_storeDir;
    std::unique_ptr<cloffa::LocalService> m_service;
    std::unique_ptr<QTemporaryDir> m_dest;

    void prepare(TransferJob& job, ScriptedReporter& rep) {
        PrepareServiceJob(job, *m_service, m_store.GetSessionKey(), m_dest->path(), &rep);
    }
    QString writeLocal(const QString& name, const QByteArray& bytes) {
        const QString path = m_dest->filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return {};
        return path;
    }

private slots:
    void initTestCase() {
        m_store.SetSessionKey(u"test-session-key"_s);
        cloffa::ServiceOptions o;
        o.storeDir = m_storeDir.filePath(u"store"_s).toStdString();
        o.quotaTotal = 200 * 1024 * 1024;
        m_service = std::make_unique<cloffa::LocalService>(o);
        std::string error;
        QVERIFY2(m_service->start(&error), error.c_str());
    }
    void init() {
        m_dest = std::make_unique<QTemporaryDir>();
        m_service->clearFaults();
        m_service->clearRequests();
        m_service->setCertificate(cloffa::Certificate::Good);
        m_store.SetQuota(m_service->quotaTotal(), m_service->quotaFree());
        m_store.ClearFiles();
        m_store.ClearPendingUploads();
    }
    void cleanupTestCase() { m_service->stop(); }

    void goldenDownloadRequest() {
        const int32_t idx = m_service->addFile("golden.txt", "abc");
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        QCOMPARE(DownloadFile(job, u"golden.txt"_s, 1, 1, idx), TransferDone);
        const auto reqs = m_service->requests();
        QCOMPARE(reqs.size(), size_t(1));
        QCOMPARE(reqs[0].method, std::string("GET"));
        QCOMPARE(reqs[0].target, "/Cloffa/File/Get.aspx?Idx=" + std::to_string(idx));
        const QString block = QString::fromStdString(reqs[0].headerBlock);
        const QString etag = QString::fromStdString(cloffa::EtagFor("test-session-key"));
        static const QRegularExpression date(
            u"If-Modified-Since: [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\r\n"_s);
        QString normal = block;
        normal.replace(date, u"If-Modified-Since: DATE\r\n"_s);
        const QString expected =
            u"Host: 127.0.0.1:%1\r\nnNo: 1\r\naNo: 1\r\nuserSession: test-session-key\r\n"
            "User-Agent: Tavirun\r\nIf-Modified-Since: DATE\r\nIf-None-Match: %2\r\n"_s.arg(m_service->port())
                .arg(etag);
        QVERIFY2(normal.startsWith(expected.chopped(2)), qPrintable(block));
        QCOMPARE(FileSha(m_dest->filePath(u"golden.txt"_s)), Sha("abc"));
    }

    void goldenUploadRequest() {
        const QString path = writeLocal(u"up.txt"_s, "hello");
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        TransferItem item{-1, path, {}, 0};
        QCOMPARE(UploadFile(job, item, 1, 1, 0), TransferDone);
        const auto reqs = m_service->requests();
        QCOMPARE(reqs.size(), size_t(1));
        QCOMPARE(reqs[0].method, std::string("POST"));
        QCOMPARE(reqs[0].target, std::string("/Cloffa/File/Set.aspx?mode=0"));
        const QByteArray body =
            "------VAPRE-9e2a467076f3470ca4e6051e031afaab-\r\n"
            "Content-Disposition: form-data;name=\"\";filename=\"" +
            path.toUtf8() +
            "\"\r\nContent-Type: text/plain\r\n\r\nhello\r\n------VAPRE-9e2a467076f3470ca4e6051e031afaab---";
        QCOMPARE(QByteArray::fromStdString(reqs[0].body), body);
        QVERIFY(!reqs[0].chunked);
        QString block = QString::fromStdString(reqs[0].headerBlock);
        static const QRegularExpression date(u"If-Modified-Since: [^\r\n]{24}\r\n"_s);
        block.replace(date, u"If-Modified-Since: DATE\r\n"_s);
        const QString expected =
            u"Host: 127.0.0.1:%1\r\nAccept: */*\r\n"
            "Content-Type: multipart/form-data;boundary=----VAPRE-9e2a467076f3470ca4e6051e031afaab-\r\n"
            "nNo: 1\r\naNo: 1\r\nuserSession: test-session-key\r\nUser-Agent: Tavirun\r\n"
            "If-Modified-Since: DATE\r\nIf-None-Match: %2\r\nContent-Length: %3"_s.arg(m_service->port())
                .arg(QString::fromStdString(cloffa::EtagFor("test-session-key")))
                .arg(body.size());
        QVERIFY2(block.startsWith(expected), qPrintable(block));
        QVERIFY(block.size() <= expected.size() + 2);
        QVERIFY(m_store.FindPendingUploadByName(u"up.txt"_s).has_value());
        QCOMPARE(m_store.QuotaFree(), m_service->quotaFree());
    }

    void roundTrip_data() {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<QString>("name");
        QTest::newRow("0") << qsizetype(0) << u"empty.bin"_s;
        QTest::newRow("1") << qsizetype(1) << u"one.bin"_s;
        QTest::newRow("1023") << qsizetype(1023) << u"a1023.bin"_s;
        QTest::newRow("1024") << qsizetype(1024) << u"a1024.bin"_s;
        QTest::newRow("1025") << qsizetype(1025) << u"a1025.bin"_s;
        QTest::newRow("korean") << qsizetype(3000) << u"보고서 최종.한글"_s;
        QTest::newRow("10 MiB") << qsizetype(10 << 20) << u"big.bin"_s;
    }
    void roundTrip() {
        QFETCH(qsizetype, size);
        QFETCH(QString, name);
        const QByteArray data = RandomBytes(size);
        const QString local = writeLocal(name, data);
        QVERIFY(!local.isEmpty());
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        job.items = {TransferItem{-1, local, {}, 0}};
        RunUploadBatch(job);
        QVERIFY2(rep.errors.empty(), rep.errors.empty() ? "" : qPrintable(rep.errors[0].first));
        QVERIFY(!rep.progressCalls.empty());
        QCOMPARE(rep.progressCalls.back(), std::make_pair(qint64(size), qint64(size)));
        int32_t idx = -1;
        for (const auto& f : m_service->files())
            if (f.name == name.toStdString())
                idx = f.idx;
        QVERIFY(idx >= 0);
        QCOMPARE(m_service->file(idx)->size, int64_t(size));

        QVERIFY(QFile::remove(local));
        ScriptedReporter rep2;
        TransferJob down(m_store, {});
        prepare(down, rep2);
        down.items = {TransferItem{idx, name, {}, 0}};
        RunDownloadBatch(down);
        QVERIFY(rep2.errors.empty());
        QCOMPARE(FileSha(local), Sha(data));
        QCOMPARE(rep2.progressCalls.back(), std::make_pair(qint64(size), qint64(size)));
        QCOMPARE(Entries(m_dest->path()), QStringList{name});
        m_service->removeFile(idx);
    }

    void statuses_data() {
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("status");
        for (int d : {0, 1})
            for (int s : {400, 401, 402, 403, 404, 405, 408, 500, 503})
                QTest::newRow(qPrintable(u"%1 %2"_s.arg(d ? u"up"_s : u"down"_s).arg(s))) << d << s;
    }
    void statuses() {
        QFETCH(int, direction);
        QFETCH(int, status);
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        TransferResult result;
        if (direction == 0) {
            const int32_t idx = m_service->addFile("st.bin", std::string(5000, 'z'));
            m_service->injectFault(cloffa::Endpoint::Download, StatusFault(status));
            result = DownloadFile(job, u"st.bin"_s, 1, 1, idx);
            m_service->removeFile(idx);
            QVERIFY(Entries(m_dest->path()).isEmpty()); // body written, then removed
        } else {
            const QString local = writeLocal(u"st.bin"_s, QByteArray(5000, 'z'));
            m_service->injectFault(cloffa::Endpoint::Upload, StatusFault(status));
            const qint32 freeBefore = m_store.QuotaFree();
            result = UploadFile(job, TransferItem{-1, local, {}, 0}, 1, 1, 0);
            QCOMPARE(m_store.QuotaFree(), freeBefore);
        }
        QCOMPARE(result, TransferFailed);
        QCOMPARE(rep.errors.size(), size_t(1));
        QCOMPARE(rep.errors[0].first, StatusMessage(direction, status));
        QCOMPARE(rep.errors[0].second, status);
    }

    void downloadFailures_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("short body") << int(cloffa::Fault::Kind::ShortBody)
                                    << u"서버에서 파일을 읽어오는 도중 문제가 발생했습니다."_s;
        QTest::newRow("closed mid body") << int(cloffa::Fault::Kind::CloseAfterBytes)
                                         << u"서버에서 파일을 읽어오는 도중 문제가 발생했습니다."_s;
        QTest::newRow("no length") << int(cloffa::Fault::Kind::NoContentLength)
                                   << u"다운로드할 파일의 크기를 구할 수 없습니다."_s;
        QTest::newRow("closed") << int(cloffa::Fault::Kind::CloseConnection)
                                << u"다운로드 연결요청에 실패했습니다."_s;
    }
    void downloadFailures() {
        QFETCH(int, kind);
        QFETCH(QString, text);
        const int32_t idx = m_service->addFile("fail.bin", std::string(100000, 'q'));
        cloffa::Fault fault;
        fault.kind = cloffa::Fault::Kind(kind);
        fault.bytes = 5000;
        m_service->injectFault(cloffa::Endpoint::Download, fault);
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        QCOMPARE(DownloadFile(job, u"fail.bin"_s, 1, 1, idx), TransferFailed);
        m_service->removeFile(idx);
        QCOMPARE(rep.errors.size(), size_t(1));
        QCOMPARE(rep.errors[0].first, text);
        QVERIFY2(Entries(m_dest->path()).isEmpty(), qPrintable(Entries(m_dest->path()).join(u',')));
    }

    void certificates_data() {
        QTest::addColumn<int>("cert");
        QTest::addColumn<int>("number");
        QTest::newRow("expired") << int(cloffa::Certificate::Expired) << 12037;
        QTest::newRow("wrong host") << int(cloffa::Certificate::WrongHost) << 12038;
        QTest::newRow("untrusted") << int(cloffa::Certificate::Untrusted) << 12045;
    }
    void certificates() {
        QFETCH(int, cert);
        QFETCH(int, number);
        m_service->setCertificate(cloffa::Certificate(cert));
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        QCOMPARE(DownloadFile(job, u"x.bin"_s, 1, 1, 1), TransferFailed);
        const QString local = writeLocal(u"c.bin"_s, "abc");
        QCOMPARE(UploadFile(job, TransferItem{-1, local, {}, 0}, 1, 1, 0), TransferFailed);
        QCOMPARE(rep.errors.size(), size_t(2));
        QCOMPARE(rep.errors[0].first,
                 number == 12037 ? u"다운로드 연결요청에 실패했습니다.\n시스템 날짜가 정확한지 확인해 주십시오."_s
                                 : u"다운로드 연결요청에 실패했습니다."_s);
        QCOMPARE(rep.errors[0].second, number);
        QCOMPARE(rep.errors[1].first, u"업로드 요청에 실패했습니다."_s);
        QCOMPARE(rep.errors[1].second, number);
        QVERIFY(m_service->requests().empty());
    }

    void quotaSmallerThanFile() {
        const QString local = writeLocal(u"q.bin"_s, QByteArray(10000, 'q'));
        m_store.SetQuota(20000, 4000);
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        QCOMPARE(UploadFile(job, TransferItem{-1, local, {}, 0}, 1, 1, 0), TransferFailed);
        QCOMPARE(rep.notices, QStringList{u"디스크 용량이 부족하여 전송을 완료할 수 없습니다."_s});
        QVERIFY(rep.errors.empty());
        QCOMPARE(m_store.QuotaFree(), 4000);
    }

    void cancelAndPause_data() {
        QTest::addColumn<int>("direction");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("download cancel") << 0 << true;
        QTest::newRow("download pause") << 0 << false;
        QTest::newRow("upload cancel") << 1 << true;
        QTest::newRow("upload pause") << 1 << false;
    }
    void cancelAndPause() {
        QFETCH(int, direction);
        QFETCH(bool, cancel);
        const qsizetype size = 50 << 20;
        const QByteArray data(size, 'm');
        int32_t idx = -1;
        QString local;
        if (direction == 0)
            idx = m_service->addFile("fifty.bin", data.toStdString());
        else
            local = writeLocal(u"fifty.bin"_s, data);
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        job.destFolder = m_dest->filePath(u"in"_s);
        QDir().mkpath(job.destFolder);
        std::thread resumer;
        bool acted = false;
        rep.onProgress = [&](qint64 done, qint64) {
            if (acted || done < (10 << 20))
                return;
            acted = true;
            if (cancel) {
                job.cancel();
            } else {
                job.pause();
                resumer = std::thread([&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(400));
                    job.resume();
                });
            }
        };
        QElapsedTimer t;
        t.start();
        const TransferResult r = direction == 0 ? DownloadFile(job, u"fifty.bin"_s, 1, 1, idx)
                                                : UploadFile(job, TransferItem{-1, local, {}, 0}, 1, 1, 0);
        if (resumer.joinable())
            resumer.join();
        QVERIFY(acted);
        if (cancel) {
            QCOMPARE(r, TransferCancelled);
            QVERIFY(rep.errors.empty());
            QVERIFY(Entries(job.destFolder).isEmpty());
            QVERIFY(t.elapsed() < 5000);
        } else {
            QCOMPARE(r, TransferDone);
            QVERIFY(t.elapsed() >= 400);
            if (direction == 0)
                QCOMPARE(FileSha(job.destFolder + u"/fifty.bin"_s), Sha(data));
        }
        for (const auto& f : m_service->files())
            if (f.name == "fifty.bin")
                m_service->removeFile(f.idx);
    }

    void replaceQuestions_data() {
        QTest::addColumn<QList<int>>("answers"); // ReplaceAnswer per question, -1 = answer later
        QTest::addColumn<int>("questions");
        QTest::addColumn<QStringList>("replaced"); // files that got the new content
        QTest::addColumn<QList<int>>("aNo");       // aNo of each request
        QTest::newRow("replace, skip, replace")
            << QList<int>{0, 2, 0} << 3 << QStringList{u"a"_s, u"c"_s} << QList<int>{3, 2};
        QTest::newRow("replace all") << QList<int>{1} << 1 << QStringList{u"a"_s, u"b"_s, u"c"_s}
                                     << QList<int>{3, 3, 3};
        QTest::newRow("skip all") << QList<int>{2, 2, 2} << 3 << QStringList{} << QList<int>{};
        QTest::newRow("cancel") << QList<int>{0, 3} << 2 << QStringList{u"a"_s} << QList<int>{3};
        QTest::newRow("answered later") << QList<int>{-1, 2, 2} << 3 << QStringList{u"a"_s} << QList<int>{3};
    }
    void replaceQuestions() {
        QFETCH(QList<int>, answers);
        QFETCH(int, questions);
        QFETCH(QStringList, replaced);
        QFETCH(QList<int>, aNo);
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        for (int a : answers)
            rep.answers.push_back(a < 0 ? std::nullopt : std::optional<ReplaceAnswer>(ReplaceAnswer(a)));
        std::thread later;
        rep.onAskLater = [&] {
            later = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                job.answerReplace(ReplaceAnswer::Replace);
            });
        };
        for (const QString& n : {u"a"_s, u"b"_s, u"c"_s}) {
            writeLocal(n, "old");
            const int32_t idx = m_service->addFile(n.toStdString(), "new content");
            job.items.push_back(TransferItem{idx, n, {}, 0});
        }
        RunDownloadBatch(job);
        if (later.joinable())
            later.join();
        QCOMPARE(int(rep.questions.size()), questions);
        QCOMPARE(rep.questions[0], std::make_pair(3, m_dest->filePath(u"a"_s)));
        for (const QString& n : {u"a"_s, u"b"_s, u"c"_s}) {
            QFile f(m_dest->filePath(n));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), replaced.contains(n) ? QByteArray("new content") : QByteArray("old"));
        }
        QList<int> seen;
        int ordinal = 1;
        for (const auto& r : m_service->requests()) {
            for (const auto& [k, v] : r.headers) {
                if (k == "aNo")
                    seen << std::stoi(v);
                if (k == "nNo")
                    QCOMPARE(std::stoi(v), ordinal++);
            }
        }
        QCOMPARE(seen, aNo);
        QVERIFY(rep.errors.empty());
        for (const auto& f : m_service->files())
            m_service->removeFile(f.idx);
    }

    void namesInProgress() {
        const int32_t idx = m_service->addFile("busy.txt", "x");
        m_store.AddNameInProgress(u"busy.txt"_s);
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        job.items = {TransferItem{idx, u"busy.txt"_s, {}, 0}};
        RunDownloadBatch(job);
        QCOMPARE(rep.notices, QStringList{u"전송중인 파일은 다운로드할 수 없습니다."_s});
        const QString local = writeLocal(u"busy.txt"_s, "y");
        TransferJob up(m_store, {});
        prepare(up, rep);
        up.items = {TransferItem{-1, local, {}, 0}};
        RunUploadBatch(up);
        QCOMPARE(rep.notices.size(), 2);
        QCOMPARE(rep.notices[1], u"전송중인 파일은 업로드할 수 없습니다."_s);
        QVERIFY(m_service->requests().empty());
        QVERIFY(rep.started.empty());
        m_store.RemoveNameInProgress(u"busy.txt"_s);
        m_service->removeFile(idx);
    }

    void uploadReplaceUsesModeOne() {
        const int32_t idx = m_service->addFile("same.txt", "old old old");
        FileRow row;
        row.idx = idx;
        row.name = u"same.txt"_s;
        row.size = 11;
        m_store.AppendFile(row);
        m_store.SetQuota(m_service->quotaTotal(), m_service->quotaFree());
        const qint32 freeBefore = m_store.QuotaFree();
        const QString local = writeLocal(u"same.txt"_s, "new");
        ScriptedReporter rep;
        rep.answers.push_back(ReplaceAnswer::Replace);
        TransferJob job(m_store, {});
        prepare(job, rep);
        job.items = {TransferItem{-1, local, {}, 0}};
        RunUploadBatch(job);
        QVERIFY(rep.errors.empty());
        QCOMPARE(rep.questions.size(), size_t(1));
        QCOMPARE(rep.questions[0].second, u"same.txt"_s);
        QCOMPARE(m_service->requests().at(0).target, std::string("/Cloffa/File/Set.aspx?mode=1"));
        QCOMPARE(m_store.QuotaFree(), freeBefore + 11 - 3);
        QCOMPARE(rep.started.size(), size_t(1));
        QCOMPARE(rep.started[0].ordinal, 1);
        for (const auto& f : m_service->files())
            m_service->removeFile(f.idx);
    }
    // An upload the page cuts off has not stored the file, whether it closes at once or answers 200 before
    // it read the body and then drops the connection.
    void uploadCutOff_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::newRow("connection closed") << int(cloffa::Fault::Kind::CloseConnection) << QByteArray(3000, 'c')
                                           << u"업로드 요청을 마무리하는 도중 문제가 발생했습니다."_s;
        QTest::newRow("early 200, then reset") << int(cloffa::Fault::Kind::EarlyAnswerThenReset)
                                               << RandomBytes(8 << 20) << u"파일 쓰기에 실패했습니다."_s;
    }
    void uploadCutOff() {
        QFETCH(int, kind);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        const QString local = writeLocal(u"cut.bin"_s, body);
        cloffa::Fault fault;
        fault.kind = cloffa::Fault::Kind(kind);
        m_service->injectFault(cloffa::Endpoint::Upload, fault);
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        const qint32 freeBefore = m_store.QuotaFree();
        QCOMPARE(UploadFile(job, TransferItem{-1, local, {}, 0}, 1, 1, 0), TransferFailed);
        QCOMPARE(rep.errors.size(), size_t(1));
        QCOMPARE(rep.errors[0].first, message);
        QCOMPARE(m_store.QuotaFree(), freeBefore);
    }

    void uploadDecidedByStatus_data() {
        QTest::addColumn<int>("stallMs");
        QTest::newRow("answer body cut short") << 0;
        QTest::newRow("answer body stalls") << 30000;
    }
    void uploadDecidedByStatus() {
        QFETCH(int, stallMs);
        const QByteArray bytes(5000, 's');
        const QString local = writeLocal(u"status.bin"_s, bytes);
        cloffa::Fault fault;
        fault.kind = cloffa::Fault::Kind::CutAnswerBody;
        fault.stallMs = stallMs;
        m_service->injectFault(cloffa::Endpoint::Upload, fault);
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        const qint32 freeBefore = m_store.QuotaFree();
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(UploadFile(job, TransferItem{-1, local, {}, 0}, 1, 1, 0), TransferDone);
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(rep.errors.empty());
        QCOMPARE(m_store.QuotaFree(), freeBefore - bytes.size());
        bool stored = false;
        for (const auto& f : m_service->files()) {
            stored = stored || f.name == "status.bin";
            m_service->removeFile(f.idx);
        }
        QVERIFY(stored);
    }

    void uploadBrokenWhileWriting_data() {
        QTest::addColumn<qsizetype>("size");
        // A service with a small receive window stops reading, lets the client's writes back up, then
        // resets: the upload fails while its body is being written.
        QTest::newRow("4 MiB") << qsizetype(4 << 20);
        QTest::newRow("16 MiB") << qsizetype(16 << 20);
    }
    void uploadBrokenWhileWriting() {
        QFETCH(qsizetype, size);
        QTemporaryDir storeDir;
        cloffa::ServiceOptions o;
        o.storeDir = storeDir.filePath(u"store"_s).toStdString();
        o.receiveBuffer = 4096;
        cloffa::LocalService narrow(o);
        std::string why;
        QVERIFY2(narrow.start(&why), why.c_str());
        const QString local = writeLocal(u"broken.bin"_s, RandomBytes(size));
        cloffa::Fault fault;
        fault.kind = cloffa::Fault::Kind::CloseAfterBytes;
        fault.bytes = 1;
        fault.stallMs = 1500;
        narrow.injectFault(cloffa::Endpoint::Upload, fault);
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        PrepareServiceJob(job, narrow, m_store.GetSessionKey(), m_dest->path(), &rep);
        const qint32 freeBefore = m_store.QuotaFree();
        QCOMPARE(UploadFile(job, TransferItem{-1, local, {}, 0}, 1, 1, 0), TransferFailed);
        QCOMPARE(rep.errors.size(), size_t(1));
        QCOMPARE(rep.errors[0].first, u"파일 쓰기에 실패했습니다."_s);
        QCOMPARE(m_store.QuotaFree(), freeBefore);
        QVERIFY(narrow.files().empty());
    }

    void backslashIsPartOfTheName() {
        // A stored "slash.txt" is not the local "back\\slash.txt": no replace question, a new file.
        const int32_t other = m_service->addFile("slash.txt", "other");
        FileRow row;
        row.idx = other;
        row.name = u"slash.txt"_s;
        row.size = 5;
        m_store.AppendFile(row);
        const QString local = writeLocal(u"back\\slash.txt"_s, "mine");
        QVERIFY(!local.isEmpty());
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        job.items = {TransferItem{-1, local, {}, 0}};
        RunUploadBatch(job);
        QVERIFY(rep.errors.empty());
        QVERIFY(rep.questions.empty());
        const auto requests = m_service->requests();
        QCOMPARE(requests.size(), size_t(1));
        QCOMPARE(requests[0].target, std::string("/Cloffa/File/Set.aspx?mode=0"));
        QVERIFY(requests[0].body.find("filename=\"" + local.toStdString() + "\"") != std::string::npos);
        QVERIFY(m_store.FindPendingUploadByName(u"back\\slash.txt"_s));
        QVERIFY(!m_store.FindPendingUploadByName(u"slash.txt"_s));
        for (const auto& f : m_service->files())
            m_service->removeFile(f.idx);
    }

    void concurrentBatchesKeepEveryQuotaUpdate() {
        constexpr int kFiles = 8;
        constexpr int kSize = 1500;
        std::vector<TransferItem> first;
        std::vector<TransferItem> second;
        for (int i = 0; i < kFiles; ++i) {
            first.push_back({-1, writeLocal(u"a%1.bin"_s.arg(i), QByteArray(kSize, 'a')), {}, 0});
            second.push_back({-1, writeLocal(u"b%1.bin"_s.arg(i), QByteArray(kSize, 'b')), {}, 0});
        }
        const qint32 freeBefore = m_store.QuotaFree();
        ScriptedReporter repA;
        ScriptedReporter repB;
        TransferJob jobA(m_store, {});
        TransferJob jobB(m_store, {});
        prepare(jobA, repA);
        prepare(jobB, repB);
        jobA.items = first;
        jobB.items = second;
        std::thread a([&] { RunUploadBatch(jobA); });
        std::thread b([&] { RunUploadBatch(jobB); });
        a.join();
        b.join();
        QVERIFY(repA.errors.empty());
        QVERIFY(repB.errors.empty());
        QCOMPARE(m_store.QuotaFree(), freeBefore - 2 * kFiles * kSize);
        for (const auto& f : m_service->files())
            m_service->removeFile(f.idx);
    }

    void quotaAdjustedFromManyThreads() {
        m_store.SetQuota(1000000, 900000);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([this, t] {
                for (int i = 0; i < 50000; ++i)
                    m_store.AdjustQuotaFree(t % 2 ? 3 : -2);
            });
        for (std::thread& t : threads)
            t.join();
        QCOMPARE(m_store.QuotaFree(), 900000 + 2 * 50000 * 3 - 2 * 50000 * 2);
        QCOMPARE(m_store.QuotaUsed(), 1000000 - m_store.QuotaFree());
    }

    // A file system that fills up mid-download (a file size limit stands in for it): the user is told,
    // nothing half-written is left, and a file being replaced keeps its old content.
    void fullDisk_data() {
        QTest::addColumn<bool>("replacing");
        QTest::newRow("new file") << false;
        QTest::newRow("replacing a file") << true;
    }
    void fullDisk() {
        QFETCH(bool, replacing);
        const int32_t idx = m_service->addFile("full.bin", RandomBytes(300000).toStdString());
        if (replacing)
            writeLocal(u"full.bin"_s, "old");
        ScriptedReporter rep;
        rep.answers.push_back(ReplaceAnswer::Replace);
        TransferJob job(m_store, {});
        prepare(job, rep);
        job.items = {TransferItem{idx, u"full.bin"_s, {}, 0}};
        // In a child process with the limit and the signal's default disposition, as a session that sets
        // the limit has them: reaching the limit must not end the program.
        int channel[2];
        QVERIFY(::pipe(channel) == 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::close(channel[0]);
            std::signal(SIGXFSZ, SIG_DFL);
            rlimit limited{};
            getrlimit(RLIMIT_FSIZE, &limited);
            limited.rlim_cur = 64 * 1024;
            setrlimit(RLIMIT_FSIZE, &limited);
            RunDownloadBatch(job);
            QByteArray report = QByteArray::number(qsizetype(rep.errors.size())) + '\n';
            report += m_store.IsNameInProgress(u"full.bin"_s) ? "in progress\n" : "settled\n";
            for (const auto& [text, number] : rep.errors)
                report += text.toUtf8() + '\n';
            [[maybe_unused]] const ssize_t w = ::write(channel[1], report.constData(), size_t(report.size()));
            ::_exit(0);
        }
        ::close(channel[1]);
        QByteArray report;
        char chunk[4096];
        for (ssize_t n; (n = ::read(channel[0], chunk, sizeof chunk)) != 0;)
            if (n > 0)
                report.append(chunk, n);
            else if (errno != EINTR)
                break;
        ::close(channel[0]);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        m_service->removeFile(idx);
        QVERIFY2(!WIFSIGNALED(status), qPrintable(u"the download ended by signal %1"_s.arg(WTERMSIG(status))));
        QCOMPARE(WEXITSTATUS(status), 0);
        const QList<QByteArray> lines = report.split('\n');
        QVERIFY2(lines.size() >= 3, report.constData());
        QCOMPARE(lines[0], QByteArray("1"));
        QCOMPARE(lines[1], QByteArray("settled"));
        QCOMPARE(QString::fromUtf8(lines[2]), u"파일을 기록하는 도중 문제가 발생했습니다."_s);
        QCOMPARE(Entries(m_dest->path()), replacing ? QStringList{u"full.bin"_s} : QStringList{});
        if (replacing) {
            QFile f(m_dest->filePath(u"full.bin"_s));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("old"));
        }
    }

    void failedReplaceKeepsOldFile() {
        const int32_t idx = m_service->addFile("keep.txt", std::string(50000, 'n'));
        writeLocal(u"keep.txt"_s, "old");
        cloffa::Fault fault;
        fault.kind = cloffa::Fault::Kind::ShortBody;
        fault.bytes = 100;
        m_service->injectFault(cloffa::Endpoint::Download, fault);
        ScriptedReporter rep;
        rep.answers.push_back(ReplaceAnswer::Replace);
        TransferJob job(m_store, {});
        prepare(job, rep);
        job.items = {TransferItem{idx, u"keep.txt"_s, {}, 0}};
        RunDownloadBatch(job);
        QCOMPARE(rep.errors.size(), size_t(1));
        QCOMPARE(rep.errors[0].first, u"서버에서 파일을 읽어오는 도중 문제가 발생했습니다."_s);
        QFile f(m_dest->filePath(u"keep.txt"_s));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("old"));
        QCOMPARE(Entries(m_dest->path()), QStringList{u"keep.txt"_s});
        QVERIFY(!m_store.IsNameInProgress(u"keep.txt"_s));
        m_service->removeFile(idx);
    }

    // A batch's files are flushed beside the next file's transfer. Each takes its name only after its flush
    // returned, in the batch's order; what is not complete and flushed when a step fails or the user
    // cancels is never named and leaves no temporary.
    void finishedBesideTheNext_data() {
        QTest::addColumn<int>("fault");          // RecordingDisk::Fault
        QTest::addColumn<int>("faultFile");      // by order of creation
        QTest::addColumn<bool>("overlap");       // file 2 is still arriving while file 1 is flushed
        QTest::addColumn<bool>("cancelInFlush"); // ... and the user cancels then
        QTest::addColumn<QStringList>("named");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("events"); // with `together`: the namings, each after its flush
        QTest::addColumn<bool>("together");      // a group's flush may count for its files
        using F = RecordingDisk::Fault;
        const QString writeFailed = u"파일을 기록하는 도중 문제가 발생했습니다."_s;
        const QString createFailed =
            u"파일을 생성할 수 없습니다.\n사용자 권한 및 디스크 여유공간을 확인후\n다시 시도해 주십시오."_s;
        QTest::newRow("in order") << int(F::None) << 0 << false << false << QStringList{u"a"_s, u"b"_s, u"c"_s}
                                  << QString() << QStringList{u"flushed 1"_s, u"named 1"_s,   u"flushed 2"_s,
                                                              u"named 2"_s,   u"flushed 3"_s, u"named 3"_s}
                                  << false;
        QTest::newRow("overlapping, in order")
            << int(F::None) << 0 << true << false << QStringList{u"a"_s, u"b"_s, u"c"_s} << QString()
            << QStringList{u"flushed 1"_s, u"named 1"_s,   u"flushed 2"_s,
                           u"named 2"_s,   u"flushed 3"_s, u"named 3"_s}
            << false;
        QTest::newRow("the lock is not taken")
            << int(F::NoLock) << 1 << false << false << QStringList{} << createFailed << QStringList{} << false;
        QTest::newRow("the first flush fails while the second arrives")
            << int(F::FlushFails) << 1 << true << false << QStringList{} << writeFailed
            << QStringList{u"flush failed 1"_s} << false;
        QTest::newRow("the second naming fails")
            << int(F::NameFails) << 2 << false << false << QStringList{u"a"_s} << createFailed
            << QStringList{u"flushed 1"_s, u"named 1"_s, u"flushed 2"_s} << false;
        // The first file was complete before the cancel: it is kept, as it was when named in line.
        QTest::newRow("cancelled while the first is flushed and the second arrives")
            << int(F::None) << 0 << true << true << QStringList{u"a"_s} << QString()
            << QStringList{u"flushed 1"_s, u"named 1"_s} << false;
        // Flushed in groups: which files share one depends on their timing, so only the order is compared.
        QTest::newRow("flushed together, in order")
            << int(F::None) << 0 << false << false << QStringList{u"a"_s, u"b"_s, u"c"_s} << QString()
            << QStringList{u"named 1"_s, u"named 2"_s, u"named 3"_s} << true;
        QTest::newRow("flushed together, the second's flush fails")
            << int(F::FlushFails) << 2 << false << false << QStringList{u"a"_s} << writeFailed
            << QStringList{u"named 1"_s} << true;
    }
    void finishedBesideTheNext() {
        QFETCH(int, fault);
        QFETCH(int, faultFile);
        QFETCH(bool, overlap);
        QFETCH(bool, cancelInFlush);
        QFETCH(QStringList, named);
        QFETCH(QString, error);
        QFETCH(QStringList, events);
        QFETCH(bool, together);
        std::vector<TransferItem> items;
        for (const char* n : {"a", "b", "c"})
            items.push_back(
                TransferItem{m_service->addFile(n, std::string(20000, n[0])), QString::fromLatin1(n), {}, 0});
        RecordingDisk disk;
        disk.fault = RecordingDisk::Fault(fault);
        disk.faultFile = faultFile;
        disk.together = together;
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        job.disk = &disk;
        job.items = items;
        if (overlap) {
            cloffa::Fault stall;
            stall.kind = cloffa::Fault::Kind::StallMidBody;
            stall.bytes = 1000;
            stall.stallMs = cancelInFlush || fault != 0 ? 20000 : 300;
            m_service->injectFault(cloffa::Endpoint::Download, cloffa::Fault{});
            m_service->injectFault(cloffa::Endpoint::Download, stall);
            disk.beforeFlush = [&] {
                QElapsedTimer t;
                t.start();
                while (disk.createCount() < 2 && t.elapsed() < 10000)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                if (cancelInFlush)
                    job.cancel();
            };
        }
        QElapsedTimer timer;
        timer.start();
        RunDownloadBatch(job);
        QVERIFY2(timer.elapsed() < 15000, "the failure or cancel did not end the transfer under way");
        for (const TransferItem& item : items)
            m_service->removeFile(item.index);
        QCOMPARE(rep.errors.size(), size_t(error.isEmpty() ? 0 : 1));
        if (!error.isEmpty())
            QCOMPARE(rep.errors[0].first, error);
        QCOMPARE(Entries(m_dest->path()), named);
        for (const QString& n : named)
            QCOMPARE(QFileInfo(m_dest->filePath(n)).size(), qint64(20000));
        if (together) {
            const QStringList seen = disk.events();
            QStringList namings;
            for (qsizetype i = 0; i < seen.size(); ++i) {
                if (!seen[i].startsWith(u"named "_s))
                    continue;
                namings << seen[i];
                const QString flushed = u"flushed "_s + seen[i].mid(6);
                QVERIFY2(seen.indexOf(flushed) >= 0 && seen.indexOf(flushed) < i, qPrintable(seen.join(u", "_s)));
            }
            QCOMPARE(namings, events);
            if (fault == int(RecordingDisk::Fault::FlushFails))
                QVERIFY2(seen.contains(u"flush failed %1"_s.arg(faultFile)), qPrintable(seen.join(u", "_s)));
        } else {
            QCOMPARE(disk.events(), events);
        }
        for (const TransferItem& item : items)
            QVERIFY(!m_store.IsNameInProgress(item.path));
    }

    // Every exchange has a handle of its own, yet a batch keeps its one connection.
    void batchKeepsOneConnection() {
        std::vector<TransferItem> items;
        for (int i = 0; i < 3; ++i) {
            const std::string name = "keep" + std::to_string(i) + ".txt";
            items.push_back(
                TransferItem{m_service->addFile(name, "content " + name), QString::fromStdString(name), {}, 0});
        }
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        job.items = items;
        RunDownloadBatch(job);
        QVERIFY(rep.errors.empty());
        const std::vector<cloffa::CapturedRequest> requests = m_service->requests();
        QCOMPARE(requests.size(), size_t(3));
        QCOMPARE(requests[1].connectionId, requests[0].connectionId);
        QCOMPARE(requests[2].connectionId, requests[0].connectionId);
        for (const TransferItem& item : items)
            m_service->removeFile(item.index);
    }

    // An answer whose first header line is folded, after an answer on the same connection: the second
    // exchange must not read anything the first one left behind.
    void foldedHeaderAfterAnotherAnswer() {
        const int32_t first = m_service->addFile("first.txt", "first content");
        const int32_t second = m_service->addFile("second.txt", "abc");
        m_service->injectFault(cloffa::Endpoint::Download, cloffa::Fault{});
        cloffa::Fault raw;
        raw.kind = cloffa::Fault::Kind::Raw;
        raw.body = "HTTP/1.0 200 OK C\n\tonettn-Length: 96\r\n\r\nabc";
        m_service->injectFault(cloffa::Endpoint::Download, raw);
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        prepare(job, rep);
        job.items = {TransferItem{first, u"first.txt"_s, {}, 0}, TransferItem{second, u"second.txt"_s, {}, 0}};
        RunDownloadBatch(job);
        QCOMPARE(rep.errors.size(), size_t(1));
        QCOMPARE(rep.errors[0].first, u"다운로드 연결요청에 실패했습니다."_s);
        QFile f(m_dest->filePath(u"first.txt"_s));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("first content"));
        QCOMPARE(Entries(m_dest->path()), QStringList{u"first.txt"_s});
        QCOMPARE(m_service->requests().size(), size_t(2));
        m_service->removeFile(first);
        m_service->removeFile(second);
    }
};

QTEST_GUILESS_MAIN(TransferServiceTest)
#include "tst_transfer_service.moc"
