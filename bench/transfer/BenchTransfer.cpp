// 1 GiB through TransferJob and through the curl program, from the same local service, in one run.
// Prints MB/s of each, the ratio and the process's peak resident memory. Usage: bench_transfer [MiB]
#include "app/SessionStore.h"
#include "tools/cloffa-service/LocalService.h"
#include "transfer/TransferExchange.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <string>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

long PeakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Each measurement starts with the page cache written back, so no run pays for an earlier one's writes.
void ResetPeakRss() {
    ::sync();
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct Silent : TransferReporter {
    QString lastError;
    void fileStarted(const QString&, int, int) override {}
    void progress(qint64, qint64) override {}
    std::optional<ReplaceAnswer> askReplace(int, const QString&) override { return ReplaceAnswer::Replace; }
    void error(const QString& text, int number) override { lastError = text + u" / "_s + QString::number(number); }
    void notice(const QString& text) override { lastError = text; }
};

double MBps(qint64 bytes, qint64 ms) { return ms > 0 ? double(bytes) / 1e6 / (double(ms) / 1000.0) : 0.0; }

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const qint64 size = mib << 20;
    QTemporaryDir dir;
    SessionStore store(SessionStore::Settings::None);
    SessionStore::setInstance(&store);
    store.SetSessionKey(u"test-session-key"_s);

    cloffa::ServiceOptions o;
    o.storeDir = dir.filePath(u"store"_s).toStdString();
    o.quotaTotal = INT32_MAX;
    cloffa::LocalService service(o);
    std::string err;
    if (!service.start(&err)) {
        std::fprintf(stderr, "service: %s\n", err.c_str());
        return 1;
    }
    store.SetQuota(service.quotaTotal(), service.quotaFree());

    const QString source = dir.filePath(u"source.bin"_s);
    {
        QFile f(source);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        QRandomGenerator gen(7);
        for (auto& c : chunk)
            c = char(gen.generate());
        for (qint64 i = 0; i < mib; ++i)
            f.write(chunk);
    }
    const QString base = QString::fromStdString(service.baseUrl());
    const QString ca = QString::fromStdString(service.caFile().string());
    Silent rep;
    auto makeJob = [&](TransferJob& job) {
        job.baseUrl = base;
        job.caFile = ca;
        job.sessionValue = store.GetSessionKey();
        job.reporter = &rep;
        job.destFolder = dir.filePath(u"down"_s);
    };
    QDir().mkpath(dir.filePath(u"down"_s));

    // Upload through the job.
    ResetPeakRss();
    QElapsedTimer t;
    TransferJob up;
    makeJob(up);
    up.items = {TransferItem{-1, source, {}, 0}};
    t.start();
    RunUploadBatch(up);
    const qint64 upMs = t.elapsed();
    const long upRss = PeakRssKiB();
    if (!rep.lastError.isEmpty())
        std::fprintf(stderr, "upload: %s\n", qPrintable(rep.lastError));
    int32_t idx = -1;
    for (const auto& f : service.files())
        if (f.name == "source.bin")
            idx = f.idx;

    // Download through the job.
    ResetPeakRss();
    TransferJob down;
    makeJob(down);
    down.items = {TransferItem{idx, u"source.bin"_s, {}, 0}};
    t.restart();
    RunDownloadBatch(down);
    const qint64 downMs = t.elapsed();
    const long downRss = PeakRssKiB();
    if (!rep.lastError.isEmpty())
        std::fprintf(stderr, "download: %s\n", qPrintable(rep.lastError));
    QFile::remove(dir.filePath(u"down/source.bin"_s));

    const QString etag = QString::fromStdString(cloffa::EtagFor("test-session-key"));
    const QStringList headers = {u"-H"_s, u"nNo: 1"_s, u"-H"_s, u"aNo: 1"_s, u"-H"_s, u"userSession: test-session-key"_s,
                                 u"-H"_s, u"User-Agent: Tavirun"_s, u"-H"_s, u"If-None-Match: "_s + etag, u"-H"_s, u"Expect:"_s};
    auto runCurl = [&](const QStringList& args) {
        ::sync();
        QProcess p;
        QElapsedTimer ct;
        ct.start();
        p.start(u"curl"_s, QStringList{u"-s"_s, u"-S"_s, u"--cacert"_s, ca} + headers + args);
        p.waitForFinished(-1);
        const qint64 ms = ct.elapsed();
        if (p.exitCode() != 0)
            std::fprintf(stderr, "curl: %s\n", p.readAllStandardError().constData());
        return ms;
    };
    // Both write the file to the same disk.
    const qint64 curlDownMs =
        runCurl({u"-o"_s, dir.filePath(u"down/curl.bin"_s), base + u"/Cloffa/File/Get.aspx?Idx="_s + QString::number(idx)});
    QFile::remove(dir.filePath(u"down/curl.bin"_s));
    service.removeFile(idx);
    const qint64 curlUpMs = runCurl({u"-o"_s, u"/dev/null"_s, u"-F"_s, u"=@"_s + source + u";type=text/plain"_s,
                                     base + u"/Cloffa/File/Set.aspx?mode=0"_s});

    std::printf("size: %lld MiB\n", static_cast<long long>(mib));
    std::printf("download: TransferJob %.1f MB/s, curl %.1f MB/s, ratio %.2f, peak RSS %ld KiB\n", MBps(size, downMs),
                MBps(size, curlDownMs), MBps(size, curlDownMs) > 0 ? MBps(size, downMs) / MBps(size, curlDownMs) : 0.0, downRss);
    std::printf("upload:   TransferJob %.1f MB/s, curl %.1f MB/s, ratio %.2f, peak RSS %ld KiB\n", MBps(size, upMs),
                MBps(size, curlUpMs), MBps(size, curlUpMs) > 0 ? MBps(size, upMs) / MBps(size, curlUpMs) : 0.0, upRss);
    std::printf("(peak RSS is the whole process, the in-process service included)\n");
    service.stop();
    return 0;
}
