#pragma once
// One HTTPS exchange at a time to the transfer host over libcurl: a handle per exchange, the connection
// and TLS sessions kept for the batch.
// Header blocks go on the wire exactly as given (after curl's Host line); bodies are streamed through
// callbacks, never held whole.
#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <functional>

struct HttpResult {
    bool ok = false; // the exchange ran to its end
    int status = 0;  // 0 = no response seen
    qint64 contentLength = -1;
    int error = 0;            // WinINet-style number when !ok
    bool connected = false;   // the request went out (upload: the body was asked for)
    bool headersDone = false; // the final response header block arrived
    bool bodySent = false;    // upload: the whole body was written to the connection
};

class HttpConnection {
public:
    // Body source: fills up to `max` bytes; returns the count, 0 at the end, -1 to abort.
    using Source = std::function<qint64(char* buffer, size_t max)>;
    // Body sink: false aborts.
    using Sink = std::function<bool(const char* data, size_t size)>;
    // Called once the final response headers are in; false aborts.
    using HeadersSeen = std::function<bool(int status, qint64 contentLength)>;
    // Called once when the request is on its way and no answer is in yet: work done there overlaps the
    // server's.
    using Awaiting = std::function<void()>;

    // `baseUrl` like "https://host[:port]"; `caFile` an extra trusted CA (empty = system CAs only).
    HttpConnection(const QString& baseUrl, const QString& caFile);
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    bool isValid() const { return m_share != nullptr && !m_host.isEmpty(); }
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }

    // Polled often during an exchange; true makes it end within a short time.
    void setCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }
    // Time spent waiting on the caller's side (a pause) does not count as a stalled server.
    void noteIdle();
    void setStallTimeout(std::chrono::seconds timeout) { m_stallTimeout = timeout; }

    HttpResult get(const QByteArray& path, const QByteArray& headerBlock, const HeadersSeen& headersSeen,
                   const Sink& sink, const Awaiting& awaiting = {});
    // `headersSeen` may end the exchange once the answer's status is known (its body is then not read).
    HttpResult post(const QByteArray& path, const QByteArray& headerBlock, qint64 bodyLength, const Source& source,
                    const HeadersSeen& headersSeen = {});

    // WinINet-style number for a curl result code (and the TLS verification result).
    static int ErrorNumberFor(int curlCode, long verifyResult);

private:
    struct Exchange;
    HttpResult perform(Exchange& ex, const QByteArray& path, const QByteArray& headerBlock, bool post,
                       qint64 bodyLength);
    // The exchange to its end through the batch's driver; curl's result code.
    int run(void* curl, Exchange& ex);
    static size_t onHeader(char* data, size_t size, size_t count, void* user);
    static size_t onWrite(char* data, size_t size, size_t count, void* user);
    static size_t onRead(char* buffer, size_t size, size_t count, void* user);
    static int onProgress(void* user, qint64 dlTotal, qint64 dlNow, qint64 ulTotal, qint64 ulNow);

    void* m_share = nullptr; // connection cache and TLS sessions of the batch
    void* m_multi = nullptr; // drives each exchange's handle
    QString m_host;
    quint16 m_port = 443;
    QByteArray m_caFile;
    std::function<bool()> m_cancelled;
    std::chrono::seconds m_stallTimeout{120};
    std::chrono::steady_clock::time_point m_lastActivity;
};
