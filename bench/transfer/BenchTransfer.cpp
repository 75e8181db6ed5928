// The transfer exchanges against real servers, each figure beside curl's program against the same server
// in the same run, the two alternated, several runs each; minimum and median of the times.
//
// First table: nginx on a free loopback port with TLS and a certificate of its own (trusted through
// CLOFFA_CA_FILE), serving the download page from files and discarding upload bodies with a 200.
// Second table: the local service in its own process (tools/cloffa-service), which stores uploads.
// Cases: one large file down and up, a batch of small files down and up (curl: one connection for all).
//
// Beside each figure: the CPU time (user + system) per GiB moved, the client's (this process) and curl's.
// Each download table has a further line with the client's flushing to disk switched off (in this
// program only: its own fsync, fdatasync and sync_file_range do nothing while the switch is on), so the
// cost of durability stays visible.
//
// Usage: bench_transfer [MiB=1024] [runs=3] [small files=500] [small KiB=4] [tables=all|nginx]
#include "app/Deployment.h"
#include "app/SessionStore.h"
#include "tools/cloffa-service/FileStore.h"
#include "tools/cloffa-service/LocalService.h"
#include "transfer/TransferExchange.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
bool g_flushOff = false; // the bench's switch, never the product's
}

// Definitions of the flushing calls in this program take the place of the C library's for the client code
// linked into it; they pass through to the kernel unless the switch is on.
extern "C" int fsync(int fd) {
    return g_flushOff ? 0 : int(::syscall(SYS_fsync, fd));
}
extern "C" int fdatasync(int fd) {
    return g_flushOff ? 0 : int(::syscall(SYS_fdatasync, fd));
}
extern "C" int syncfs(int fd) {
    return g_flushOff ? 0 : int(::syscall(SYS_syncfs, fd));
}
extern "C" int sync_file_range(int fd, off64_t offset, off64_t nbytes, unsigned int flags) {
    return g_flushOff ? 0 : int(::syscall(SYS_sync_file_range, fd, offset, nbytes, flags));
}

namespace {

const QString kSession = u"test-session-key"_s;

long PeakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Each measurement starts with the page cache written back, so no run pays for an earlier one's writes.
void Settle() {
    ::sync();
    std::ofstream("/proc/self/clear_refs") << "5"; // peak resident memory counts from here
}

struct Silent : TransferReporter {
    QString lastError;
    void fileStarted(const QString&, int, int) override {}
    void progress(qint64, qint64) override {}
    std::optional<ReplaceAnswer> askReplace(int, const QString&) override { return ReplaceAnswer::Replace; }
    void error(const QString& text, int number) override { lastError = text + u" / "_s + QString::number(number); }
    void notice(const QString& text) override { lastError = text; }
};

bool WriteRandomFile(const QString& path, qint64 bytes, quint32 seed) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(qMin<qint64>(bytes, 1 << 20), Qt::Uninitialized);
    QRandomGenerator gen(seed);
    for (auto& c : chunk)
        c = char(gen.generate());
    for (qint64 left = bytes; left > 0; left -= chunk.size())
        if (f.write(chunk.constData(), qMin<qint64>(left, chunk.size())) < 0)
            return false;
    return true;
}

int FreeLoopbackPort() {
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0))
        return -1;
    return s.serverPort();
}

bool WaitForPort(int port, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QTcpSocket sock;
        sock.connectToHost(QHostAddress::LocalHost, quint16(port));
        if (sock.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool Run(const QString& program, const QStringList& args, QString* err = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (err)
            *err = QString::fromLocal8Bit(p.readAllStandardError());
        return false;
    }
    return true;
}

// A CA and a server certificate for 127.0.0.1, made with the openssl program.
bool MakeCertificates(const QString& dir) {
    auto at = [&](const char* name) -> QString { return dir + u'/' + QLatin1String(name); };
    QString err;
    const bool ok =
        Run(u"openssl"_s,
            {u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:P-256"_s, u"-nodes"_s,
             u"-keyout"_s, at("ca-key.pem"), u"-out"_s, at("ca.pem"), u"-days"_s, u"2"_s, u"-subj"_s,
             u"/CN=bench nginx CA"_s},
            &err) &&
        Run(u"openssl"_s,
            {u"req"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:P-256"_s, u"-nodes"_s,
             u"-keyout"_s, at("server-key.pem"), u"-out"_s, at("server.csr"), u"-subj"_s, u"/CN=127.0.0.1"_s},
            &err) &&
        [&] {
            QFile ext(at("ext.cnf"));
            return ext.open(QIODevice::WriteOnly) && ext.write("subjectAltName=IP:127.0.0.1\n") > 0;
        }() &&
        Run(u"openssl"_s,
            {u"x509"_s, u"-req"_s, u"-in"_s, at("server.csr"), u"-CA"_s, at("ca.pem"), u"-CAkey"_s,
             at("ca-key.pem"), u"-CAcreateserial"_s, u"-out"_s, at("server.pem"), u"-days"_s, u"2"_s,
             u"-extfile"_s, at("ext.cnf")},
            &err);
    if (!ok)
        std::fprintf(stderr, "openssl: %s\n", qPrintable(err));
    return ok;
}

// nginx in the foreground as a child process, ended by its pid (through QProcess) when this goes.
class Nginx {
public:
    bool start(const QString& dir, const QString& filesDir) {
        if (!MakeCertificates(dir))
            return false;
        m_port = FreeLoopbackPort();
        QDir().mkpath(dir + u"/temp"_s);
        const QString conf =
            QStringLiteral(
                "daemon off;\nmaster_process on;\nworker_processes 1;\nuser root;\npid %1/nginx.pid;\n"
                "error_log %1/error.log warn;\nevents { worker_connections 64; }\n"
                "http {\n  access_log off;\n  client_body_temp_path %1/temp;\n  proxy_temp_path %1/temp;\n"
                "  fastcgi_temp_path %1/temp;\n  uwsgi_temp_path %1/temp;\n  scgi_temp_path %1/temp;\n"
                "  keepalive_requests 100000;\n  keepalive_timeout 60s;\n"
                "  server {\n    listen 127.0.0.1:%2 ssl;\n    ssl_certificate %1/server.pem;\n"
                "    ssl_certificate_key %1/server-key.pem;\n"
                "    location = /Cloffa/File/Get.aspx {\n      default_type application/octet-stream;\n"
                "      alias %3/$arg_Idx;\n    }\n"
                "    location = /Cloffa/File/Set.aspx {\n      client_max_body_size 0;\n      return 200;\n    }\n"
                "  }\n}\n")
                .arg(dir)
                .arg(m_port)
                .arg(filesDir);
        QFile f(dir + u"/nginx.conf"_s);
        if (!f.open(QIODevice::WriteOnly) || f.write(conf.toUtf8()) < 0)
            return false;
        f.close();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(u"nginx"_s, {u"-p"_s, dir, u"-c"_s, dir + u"/nginx.conf"_s});
        if (!m_process.waitForStarted(5000) || !WaitForPort(m_port, 10000)) {
            std::fprintf(stderr, "nginx did not start\n");
            return false;
        }
        return true;
    }
    ~Nginx() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(10000))
                m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    int port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = -1;
};

// The local service program with its own store, ended by its pid when this goes.
class ServiceProcess {
public:
    bool start(const QString& storeDir) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(CLOFFA_SERVICE_PROGRAM),
                        {u"--store"_s, storeDir, u"--quota"_s, u"2147483647"_s, u"--session-key"_s, kSession});
        if (!m_process.waitForStarted(5000) || !m_process.waitForReadyRead(30000))
            return false;
        // "ready https://127.0.0.1:<port> ca=<file>"
        const QByteArray line = m_process.readLine().trimmed();
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 3 || parts[0] != "ready" || !parts[2].startsWith("ca="))
            return false;
        m_baseUrl = QString::fromUtf8(parts[1]);
        m_caFile = QString::fromUtf8(parts[2].mid(3));
        return true;
    }
    ~ServiceProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(10000))
                m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QString baseUrl() const { return m_baseUrl; }
    QString caFile() const { return m_caFile; }

private:
    QProcess m_process;
    QString m_baseUrl;
    QString m_caFile;
};

double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Figure {
    std::vector<double> client;
    std::vector<double> curl;
    double clientCpu = 0; // seconds over all runs
    double curlCpu = 0;
    long clientPeakKiB = 0;
    int failures = 0;
};

// Runs `client` and `curl` alternately, `runs` times each; each run is preceded by `reset`.
Figure Measure(int runs, const std::function<void()>& reset, const std::function<bool()>& client,
               const std::function<bool()>& curl) {
    Figure fig;
    auto timed = [&](const std::function<bool()>& f, std::vector<double>& into, bool isClient) {
        reset();
        Settle();
        // The client runs in this process, curl in a child that is waited for.
        const int who = isClient ? RUSAGE_SELF : RUSAGE_CHILDREN;
        const double cpuBefore = CpuSeconds(who);
        QElapsedTimer t;
        t.start();
        const bool ok = f();
        const double s = double(t.nsecsElapsed()) / 1e9;
        (isClient ? fig.clientCpu : fig.curlCpu) += CpuSeconds(who) - cpuBefore;
        if (!ok)
            ++fig.failures;
        into.push_back(s);
        if (isClient)
            fig.clientPeakKiB = std::max(fig.clientPeakKiB, PeakRssKiB());
    };
    for (int r = 0; r < runs; ++r) {
        if (r % 2 == 0) {
            timed(client, fig.client, true);
            timed(curl, fig.curl, false);
        } else {
            timed(curl, fig.curl, false);
            timed(client, fig.client, true);
        }
    }
    return fig;
}

void Print(const char* server, const char* what, qint64 bytes, const Figure& f) {
    const double cMin = *std::min_element(f.client.begin(), f.client.end());
    const double kMin = *std::min_element(f.curl.begin(), f.curl.end());
    const double cMed = Median(f.client);
    const double kMed = Median(f.curl);
    auto mbps = [&](double s) { return s > 0 ? double(bytes) / 1e6 / s : 0.0; };
    const double gib = double(bytes) * double(f.client.size()) / double(1 << 30);
    std::printf("%s %-25s client min %7.1f MB/s median %7.1f MB/s | curl min %7.1f MB/s median %7.1f MB/s | "
                "ratio min %.2f median %.2f | CPU s/GiB client %.2f curl %.2f | client peak RSS %ld KiB%s\n",
                server, what, mbps(cMin), mbps(cMed), mbps(kMin), mbps(kMed), kMin / cMin, kMed / cMed,
                gib > 0 ? f.clientCpu / gib : 0.0, gib > 0 ? f.curlCpu / gib : 0.0, f.clientPeakKiB,
                f.failures ? " | FAILURES" : "");
    std::fflush(stdout);
}

class Bench {
public:
    Bench(qint64 bigBytes, int runs, int smallCount, qint64 smallBytes)
        : m_bigBytes(bigBytes), m_runs(runs), m_smallCount(smallCount), m_smallBytes(smallBytes) {}

    bool prepare() {
        if (!m_dir.isValid())
            return false;
        m_store.SetSessionKey(kSession);
        m_store.SetQuota(INT32_MAX, INT32_MAX);
        QDir().mkpath(path(u"files"_s));
        QDir().mkpath(path(u"up"_s));
        if (!WriteRandomFile(path(u"up/big.bin"_s), m_bigBytes, 7))
            return false;
        for (int i = 1; i <= m_smallCount; ++i)
            if (!WriteRandomFile(path(u"up/"_s + SmallName(i)), m_smallBytes, quint32(100 + i)))
                return false;
        return true;
    }

    // nginx: the download page serves files/<Idx>; big is Idx 0, small file i is Idx i.
    bool runNginx() {
        if (!QFile::link(path(u"up/big.bin"_s), path(u"files/0"_s)))
            return false;
        for (int i = 1; i <= m_smallCount; ++i)
            if (!QFile::link(path(u"up/"_s + SmallName(i)), path(u"files/"_s + QString::number(i))))
                return false;
        QDir().mkpath(path(u"nginx"_s));
        Nginx nginx;
        if (!nginx.start(path(u"nginx"_s), path(u"files"_s)))
            return false;
        // The client reads its endpoint and extra CA as in a deployment.
        qputenv("CLOFFA_TRANSFER_URL", QStringLiteral("https://127.0.0.1:%1").arg(nginx.port()).toUtf8());
        qputenv("CLOFFA_CA_FILE", path(u"nginx/ca.pem"_s).toUtf8());
        std::vector<qint32> smallIdx;
        for (int i = 1; i <= m_smallCount; ++i)
            smallIdx.push_back(i);
        table("nginx", 0, smallIdx);
        return true;
    }

    // The local service in its own process, its store filled beforehand.
    bool runService() {
        const QString storeDir = path(u"service-store"_s);
        qint32 bigIdx = -1;
        std::vector<qint32> smallIdx;
        {
            cloffa::FileStore fs;
            std::string why;
            if (!fs.open(storeDir.toStdString(), false, &why)) {
                std::fprintf(stderr, "store: %s\n", why.c_str());
                return false;
            }
            const QString copy = storeDir + u"/big.copy"_s;
            if (!QFile::copy(path(u"up/big.bin"_s), copy))
                return false;
            bigIdx = fs.commit(copy.toStdString(), "big.bin", m_bigBytes, -1);
            for (int i = 1; i <= m_smallCount; ++i) {
                QFile f(path(u"up/"_s + SmallName(i)));
                if (!f.open(QIODevice::ReadOnly))
                    return false;
                smallIdx.push_back(fs.add(SmallName(i).toStdString(), f.readAll().toStdString()));
            }
        }
        ServiceProcess service;
        if (!service.start(storeDir)) {
            std::fprintf(stderr, "the local service did not start\n");
            return false;
        }
        qputenv("CLOFFA_TRANSFER_URL", service.baseUrl().toUtf8());
        qputenv("CLOFFA_CA_FILE", service.caFile().toUtf8());
        table("local-service", bigIdx, smallIdx);
        return true;
    }

private:
    static QString SmallName(int i) { return QStringLiteral("s%1.bin").arg(i, 4, 10, QLatin1Char('0')); }
    QString path(const QString& rel) const { return m_dir.filePath(rel); }

    void prepareJob(TransferJob& job, const QString& destFolder) {
        job.baseUrl = Deployment::TransferBaseUrl();
        job.caFile = Deployment::ExtraCaFile();
        job.sessionValue = kSession;
        job.reporter = &m_reporter;
        job.destFolder = destFolder;
    }

    // The stored list names every file, so uploads replace (mode 1) and the store does not grow.
    void listStored(qint32 bigIdx, const std::vector<qint32>& smallIdx) {
        m_store.ClearFiles();
        m_store.ClearPendingUploads();
        m_store.SetQuota(INT32_MAX, INT32_MAX - qint32(m_bigBytes) - 1);
        FileRow big;
        big.idx = bigIdx;
        big.name = u"big.bin"_s;
        big.size = qint32(m_bigBytes);
        m_store.AppendFile(big);
        for (int i = 1; i <= m_smallCount; ++i) {
            FileRow row;
            row.idx = smallIdx[size_t(i - 1)];
            row.name = SmallName(i);
            row.size = qint32(m_smallBytes);
            m_store.AppendFile(row);
        }
    }

    bool clientDownload(const std::vector<TransferItem>& items) {
        TransferJob job(m_store, {});
        prepareJob(job, path(u"down/client"_s));
        job.items = items;
        m_reporter.lastError.clear();
        RunDownloadBatch(job);
        if (!m_reporter.lastError.isEmpty())
            std::fprintf(stderr, "client download: %s\n", qPrintable(m_reporter.lastError));
        return m_reporter.lastError.isEmpty();
    }

    bool clientUpload(const std::vector<TransferItem>& items) {
        TransferJob job(m_store, {});
        prepareJob(job, path(u"down/client"_s));
        job.items = items;
        job.applyToAll = true; // replace every listed file without asking
        job.replaceChoice = 0;
        m_reporter.lastError.clear();
        RunUploadBatch(job);
        if (!m_reporter.lastError.isEmpty())
            std::fprintf(stderr, "client upload: %s\n", qPrintable(m_reporter.lastError));
        return m_reporter.lastError.isEmpty();
    }

    // curl's program with a config file: every request carries the session headers; one connection.
    bool curl(const QStringList& blocks) {
        const QString etag = QString::fromStdString(cloffa::EtagFor(kSession.toStdString()));
        const QString headers = u"header = \"nNo: 1\"\nheader = \"aNo: 1\"\nheader = \"userSession: "_s +
                                kSession + u"\"\nheader = \"User-Agent: Tavirun\"\nheader = \"If-None-Match: "_s +
                                etag + u"\"\nheader = \"Expect:\"\ncacert = \""_s + Deployment::ExtraCaFile() +
                                u"\"\nsilent\nshow-error\nfail\n"_s;
        QFile conf(path(u"curl.conf"_s));
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        for (qsizetype i = 0; i < blocks.size(); ++i) {
            if (i > 0)
                conf.write("next\n");
            conf.write((headers + blocks[i]).toUtf8());
        }
        conf.close();
        QString err;
        if (!Run(u"curl"_s, {u"--config"_s, conf.fileName()}, &err)) {
            std::fprintf(stderr, "curl: %s\n", qPrintable(err));
            return false;
        }
        return true;
    }

    void table(const char* server, qint32 bigIdx, const std::vector<qint32>& smallIdx) {
        const QString base = Deployment::TransferBaseUrl();
        auto cleanDown = [&] {
            QDir(path(u"down"_s)).removeRecursively();
            QDir().mkpath(path(u"down/client"_s));
            QDir().mkpath(path(u"down/curl"_s));
            listStored(bigIdx, smallIdx);
        };
        auto downUrl = [&](qint32 idx) -> QString {
            return base + u"/Cloffa/File/Get.aspx?Idx="_s + QString::number(idx);
        };
        auto upBlock = [&](const QString& file) -> QString {
            return QStringLiteral("url = \"%1/Cloffa/File/Set.aspx?mode=1\"\nform = \"=@%2;type=text/plain\"\n"
                                  "output = \"/dev/null\"\n")
                .arg(base, file);
        };
        auto downBlock = [&](qint32 idx, const QString& out) -> QString {
            return QStringLiteral("url = \"%1\"\noutput = \"%2\"\n").arg(downUrl(idx), out);
        };
        const QString bigLabel = QStringLiteral("%1 MiB").arg(m_bigBytes >> 20);
        const QString smallLabel = QStringLiteral("%1 x %2 KiB").arg(m_smallCount).arg(m_smallBytes >> 10);

        Figure f = Measure(
            m_runs, cleanDown,
            [&] {
                return clientDownload({TransferItem{bigIdx, u"big.bin"_s, {}, 0}});
            },
            [&] { return curl({downBlock(bigIdx, path(u"down/curl/big.bin"_s))}); });
        Print(server, qPrintable(bigLabel + u" down"_s), m_bigBytes, f);
        g_flushOff = true;
        f = Measure(
            m_runs, cleanDown,
            [&] {
                return clientDownload({TransferItem{bigIdx, u"big.bin"_s, {}, 0}});
            },
            [&] { return curl({downBlock(bigIdx, path(u"down/curl/big.bin"_s))}); });
        g_flushOff = false;
        Print(server, qPrintable(bigLabel + u" down, no flush"_s), m_bigBytes, f);

        f = Measure(
            m_runs, cleanDown,
            [&] {
                return clientUpload({TransferItem{-1, path(u"up/big.bin"_s), {}, 0}});
            },
            [&] { return curl({upBlock(path(u"up/big.bin"_s))}); });
        Print(server, qPrintable(bigLabel + u" up"_s), m_bigBytes, f);

        std::vector<TransferItem> downItems;
        std::vector<TransferItem> upItems;
        QStringList curlDown;
        QStringList curlUp;
        for (int i = 1; i <= m_smallCount; ++i) {
            const qint32 idx = smallIdx[size_t(i - 1)];
            downItems.push_back(TransferItem{idx, SmallName(i), {}, 0});
            upItems.push_back(TransferItem{-1, path(u"up/"_s + SmallName(i)), {}, 0});
            curlDown << downBlock(idx, path(u"down/curl/"_s + SmallName(i)));
            curlUp << upBlock(path(u"up/"_s + SmallName(i)));
        }
        const qint64 smallTotal = m_smallBytes * m_smallCount;
        f = Measure(
            m_runs, cleanDown, [&] { return clientDownload(downItems); }, [&] { return curl(curlDown); });
        Print(server, qPrintable(smallLabel + u" down"_s), smallTotal, f);
        g_flushOff = true;
        f = Measure(
            m_runs, cleanDown, [&] { return clientDownload(downItems); }, [&] { return curl(curlDown); });
        g_flushOff = false;
        Print(server, qPrintable(smallLabel + u" down, no flush"_s), smallTotal, f);
        f = Measure(
            m_runs, cleanDown, [&] { return clientUpload(upItems); }, [&] { return curl(curlUp); });
        Print(server, qPrintable(smallLabel + u" up"_s), smallTotal, f);
    }

    qint64 m_bigBytes;
    int m_runs;
    int m_smallCount;
    qint64 m_smallBytes;
    QTemporaryDir m_dir;
    SessionStore m_store{SessionStore::Settings::None};
    Silent m_reporter;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const int runs = argc > 2 ? std::max(1, QByteArray(argv[2]).toInt()) : 3;
    const int smallCount = argc > 3 ? std::max(1, QByteArray(argv[3]).toInt()) : 500;
    const qint64 smallKiB = argc > 4 ? std::max<qint64>(1, QByteArray(argv[4]).toLongLong()) : 4;
    const bool nginxOnly = argc > 5 && QByteArray(argv[5]) == "nginx";
    if (mib < 1 || mib >= 2048) {
        std::fprintf(stderr,
                     "usage: bench_transfer [MiB below 2048] [runs] [small files] [small KiB] [all|nginx]\n");
        return 2;
    }
    Bench bench(mib << 20, runs, smallCount, smallKiB << 10);
    if (!bench.prepare()) {
        std::fprintf(stderr, "cannot write the source files\n");
        return 1;
    }
    std::printf("%d runs each, client and curl alternated; MB/s from the minimum and the median time; "
                "ratio = client speed / curl speed\n",
                runs);
    int status = 0;
    if (!bench.runNginx()) {
        std::fprintf(stderr, "nginx figures missing\n");
        status = 1;
    }
    if (!nginxOnly && !bench.runService()) {
        std::fprintf(stderr, "local service figures missing\n");
        status = 1;
    }
    return status;
}
