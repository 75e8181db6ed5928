// Answers of the transfer pages as the download and upload exchanges read them: status line, headers,
// body length rules, bodies cut short or running long. A TLS server on the loopback address sends the
// input's bytes as its answer to each request and closes. The first byte picks the exchange (bit 0:
// upload) and, for uploads, whether the answer comes before the request body is read (bit 1).
#include "app/SessionStore.h"
#include "tools/cloffa-service/TlsIdentity.h"
#include "transfer/HttpConnection.h"
#include "transfer/TransferExchange.h"
#include "transfer/TransferJob.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr qint32 kQuota = 1 << 30;
constexpr int kUploadSize = 3000;

class AnswerServer {
public:
    explicit AnswerServer(const std::filesystem::path& dir) {
        std::string why;
        if (!m_tls.load(dir / "tls", &why)) {
            std::fprintf(stderr, "tls: %s\n", why.c_str());
            std::abort();
        }
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(m_fd, 8) != 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            std::abort();
        m_port = ntohs(addr.sin_port);
        std::thread([this] { run(); }).detach();
    }

    int port() const { return m_port; }
    QString caFile() const { return QString::fromStdString(m_tls.caFile().string()); }

    void setAnswer(std::string answer, bool beforeBody) {
        std::lock_guard lock(m_mutex);
        m_answer = std::move(answer);
        m_beforeBody = beforeBody;
    }

private:
    void run() {
        for (;;) {
            const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            timeval tv{5, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
            SSL* ssl = SSL_new(m_tls.context(cloffa::Certificate::Good));
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) == 1)
                answer(ssl);
            SSL_shutdown(ssl);
            SSL_free(ssl);
            ::close(fd);
        }
    }

    void answer(SSL* ssl) {
        std::string answer;
        bool beforeBody = false;
        {
            std::lock_guard lock(m_mutex);
            answer = m_answer;
            beforeBody = m_beforeBody;
        }
        std::string in;
        char buf[16384];
        size_t headEnd = std::string::npos;
        while ((headEnd = in.find("\r\n\r\n")) == std::string::npos) {
            const int n = SSL_read(ssl, buf, sizeof buf);
            if (n <= 0)
                return;
            in.append(buf, size_t(n));
        }
        if (!beforeBody) {
            const size_t at = in.find("Content-Length: ");
            const long long length = at < headEnd ? std::atoll(in.c_str() + at + 16) : 0;
            while (static_cast<long long>(in.size() - headEnd - 4) < length) {
                const int n = SSL_read(ssl, buf, sizeof buf);
                if (n <= 0)
                    return;
                in.append(buf, size_t(n));
            }
        }
        if (!answer.empty())
            SSL_write(ssl, answer.data(), int(answer.size()));
    }

    cloffa::TlsIdentity m_tls;
    int m_fd = -1;
    int m_port = 0;
    std::mutex m_mutex;
    std::string m_answer;
    bool m_beforeBody = false;
};

struct Fixture {
    std::filesystem::path dir;
    AnswerServer* server = nullptr;
    SessionStore store{SessionStore::Settings::None};
    TransferJob job{store, {}};
    HttpConnection* connection = nullptr;
    QString uploadPath;

    Fixture() {
        std::signal(SIGPIPE, SIG_IGN);
        // A log line per exchange would cost more than the exchange.
        QLoggingCategory::setFilterRules(QStringLiteral("quorvane.*=false"));
        char tmpl[] = "/tmp/quorvane-fuzz-XXXXXX";
        if (!mkdtemp(tmpl))
            std::abort();
        dir = tmpl;
        std::filesystem::create_directories(dir / "down");
        server = new AnswerServer(dir);
        store.SetSessionKey(QStringLiteral("test-session-key"));
        uploadPath = QString::fromStdString((dir / "upload.bin").string());
        std::ofstream(dir / "upload.bin", std::ios::binary) << std::string(kUploadSize, 'u');

        job.baseUrl = QStringLiteral("https://127.0.0.1:%1").arg(server->port());
        job.caFile = server->caFile();
        job.sessionValue = QStringLiteral("test-session-key");
        job.destFolder = QString::fromStdString((dir / "down").string()) + u'/';
        job.runEvent.set();
        // One connection for all inputs, as in a batch: the TLS session is resumed, not renegotiated.
        connection = new HttpConnection(job.baseUrl, job.caFile);
        connection->setStallTimeout(std::chrono::seconds(10));
        job.connection = connection;
    }
};

Fixture& fixture() {
    static Fixture* f = new Fixture;
    return *f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    Fixture& f = fixture();
    const bool upload = data[0] & 1;
    f.server->setAnswer(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), (data[0] & 2) != 0);
    f.store.SetQuota(kQuota, kQuota);
    f.job.replaceApproved = false;

    if (!upload) {
        const TransferResult r = DownloadFile(f.job, QStringLiteral("file.bin"), 1, 1, 7);
        const QDir down(f.job.destFolder);
        const QStringList left = down.entryList(QDir::Files | QDir::Hidden | QDir::System);
        const bool stored = left.contains(QStringLiteral("file.bin"));
        // The file takes its name only when complete; nothing else stays behind in any case.
        if ((r == TransferDone) != stored || left.size() != (stored ? 1 : 0))
            __builtin_trap();
        if (stored)
            QFile::remove(down.filePath(QStringLiteral("file.bin")));
    } else {
        TransferItem item;
        item.path = f.uploadPath;
        const TransferResult r = UploadFile(f.job, item, 1, 1, 0);
        const qint32 expected = r == TransferDone ? kQuota - kUploadSize : kQuota;
        if (f.store.QuotaFree() != expected)
            __builtin_trap();
        f.store.ClearPendingUploads();
    }
    return 0;
}
