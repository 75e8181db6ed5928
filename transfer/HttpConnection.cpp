#include "transfer/HttpConnection.h"

#include <QUrl>

#include <curl/curl.h>
#include <openssl/x509_vfy.h>

#include <memory>
#include <mutex>

namespace {

// WinINet numbers the messages depend on.
constexpr int kErrTimeout = 12002;
constexpr int kErrInternal = 12004;
constexpr int kErrNameNotResolved = 12007;
constexpr int kErrCancelled = 12017;
constexpr int kErrCannotConnect = 12029;
constexpr int kErrConnectionAborted = 12030;
constexpr int kErrConnectionReset = 12031;
constexpr int kErrCertDateInvalid = 12037;
constexpr int kErrCertCnInvalid = 12038;
constexpr int kErrInvalidCa = 12045;
constexpr int kErrCertErrors = 12055;
constexpr int kErrInvalidServerResponse = 12152;
constexpr int kErrSecureChannel = 12157;

constexpr long kBufferSize = 256 * 1024;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

struct HttpConnection::Exchange {
    HttpConnection* self = nullptr;
    void* curl = nullptr;
    HttpResult result;
    const HeadersSeen* headersSeen = nullptr;
    const Sink* sink = nullptr;
    const Source* source = nullptr;
    const Awaiting* awaiting = nullptr;
    bool abortedByUs = false;
    qint64 bodyLength = 0;
    qint64 bodyHanded = 0;
};

HttpConnection::HttpConnection(const QString& baseUrl, const QString& caFile) {
    GlobalInit();
    const QUrl url(baseUrl);
    if (url.isValid() && url.scheme() == QLatin1String("https")) {
        m_host = url.host();
        m_port = static_cast<quint16>(url.port(443));
    }
    m_caFile = caFile.toLocal8Bit();
    // Connections and TLS sessions outlive each exchange's handle, so a batch still reuses them.
    CURLSH* share = curl_share_init();
    if (share && (curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT) != CURLSHE_OK ||
                  curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) != CURLSHE_OK)) {
        curl_share_cleanup(share);
        share = nullptr;
    }
    m_share = share;
    // One driver for every exchange of the batch: each easy call would set one up and tear it down.
    m_multi = curl_multi_init();
}

HttpConnection::~HttpConnection() {
    if (m_multi)
        curl_multi_cleanup(static_cast<CURLM*>(m_multi));
    if (m_share)
        curl_share_cleanup(static_cast<CURLSH*>(m_share));
}

void HttpConnection::noteIdle() {
    m_lastActivity = std::chrono::steady_clock::now();
}

int HttpConnection::ErrorNumberFor(int curlCode, long verifyResult) {
    switch (curlCode) {
    case CURLE_OK:
        return 0;
    case CURLE_COULDNT_RESOLVE_HOST:
        return kErrNameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return kErrCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return kErrTimeout;
    case CURLE_ABORTED_BY_CALLBACK:
    case CURLE_READ_ERROR:
    case CURLE_WRITE_ERROR:
        return kErrCancelled;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return kErrConnectionAborted;
    case CURLE_HTTP2:
    case CURLE_WEIRD_SERVER_REPLY:
        return kErrInvalidServerResponse;
    case CURLE_SSL_CONNECT_ERROR:
        return kErrSecureChannel;
    case CURLE_SSL_CACERT_BADFILE:
        return kErrInvalidCa;
    case CURLE_PEER_FAILED_VERIFICATION:
        switch (verifyResult) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
        case X509_V_ERR_CRL_HAS_EXPIRED:
        case X509_V_ERR_CRL_NOT_YET_VALID:
            return kErrCertDateInvalid;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return kErrCertCnInvalid;
        case X509_V_OK:
        case X509_V_ERR_UNSPECIFIED:
            // curl's own host-name check failed after a good chain.
            return kErrCertCnInvalid;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_CERT_UNTRUSTED:
            return kErrInvalidCa;
        default:
            return kErrCertErrors;
        }
    default:
        return kErrInternal;
    }
}

size_t HttpConnection::onHeader(char* data, size_t size, size_t count, void* user) {
    auto* ex = static_cast<Exchange*>(user);
    const size_t n = size * count;
    ex->result.connected = true;
    ex->self->m_lastActivity = std::chrono::steady_clock::now();
    if (n == 2 && data[0] == '\r' && data[1] == '\n') {
        long status = 0;
        curl_easy_getinfo(static_cast<CURL*>(ex->curl), CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200) {
            curl_off_t length = -1;
            curl_easy_getinfo(static_cast<CURL*>(ex->curl), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            ex->result.status = static_cast<int>(status);
            ex->result.contentLength = length;
            ex->result.headersDone = true;
            if (ex->headersSeen && *ex->headersSeen && !(*ex->headersSeen)(ex->result.status, length)) {
                ex->abortedByUs = true;
                return 0;
            }
        }
    }
    return n;
}

size_t HttpConnection::onWrite(char* data, size_t size, size_t count, void* user) {
    auto* ex = static_cast<Exchange*>(user);
    const size_t n = size * count;
    ex->self->m_lastActivity = std::chrono::steady_clock::now();
    if (!ex->sink || !*ex->sink)
        return n;
    if (!(*ex->sink)(data, n)) {
        ex->abortedByUs = true;
        return 0;
    }
    return n;
}

size_t HttpConnection::onRead(char* buffer, size_t size, size_t count, void* user) {
    auto* ex = static_cast<Exchange*>(user);
    ex->result.connected = true;
    ex->self->m_lastActivity = std::chrono::steady_clock::now();
    const qint64 got = (*ex->source)(buffer, size * count);
    if (got < 0) {
        ex->abortedByUs = true;
        return CURL_READFUNC_ABORT;
    }
    ex->bodyHanded += got;
    return static_cast<size_t>(got);
}

int HttpConnection::onProgress(void* user, qint64, qint64, qint64, qint64) {
    auto* ex = static_cast<Exchange*>(user);
    HttpConnection* self = ex->self;
    if (self->m_cancelled && self->m_cancelled()) {
        ex->abortedByUs = true;
        return 1;
    }
    if (std::chrono::steady_clock::now() - self->m_lastActivity > self->m_stallTimeout)
        return 1; // reported as a time-out below
    return 0;
}

HttpResult HttpConnection::perform(Exchange& ex, const QByteArray& path, const QByteArray& headerBlock, bool post,
                                   qint64 bodyLength) {
    ex.self = this;
    if (!isValid()) {
        ex.result.error = kErrInternal;
        return ex.result;
    }
    // A fresh handle for every exchange: a reused one keeps a pointer to the previous answer's freed
    // headers, which a folded first header line of the next answer then reads (libcurl before 8.1).
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
    if (!handle) {
        ex.result.error = kErrInternal;
        return ex.result;
    }
    CURL* curl = handle.get();
    ex.curl = curl;
    curl_easy_setopt(curl, CURLOPT_SHARE, m_share);

    QByteArray url = "https://" + QUrl::toAce(m_host);
    if (m_host.contains(QLatin1Char(':')))
        url = "https://[" + m_host.toLatin1() + ']';
    url += ':' + QByteArray::number(m_port) + path;

    curl_slist* headers = nullptr;
    // The block is the whole of our request headers; curl adds only Host (and Content-Length is ours).
    for (const QByteArray& line : headerBlock.split('\n')) {
        const QByteArray trimmed = line.endsWith('\r') ? line.left(line.size() - 1) : line;
        if (!trimmed.isEmpty())
            headers = curl_slist_append(headers, trimmed.constData());
    }
    if (!headerBlock.contains("\nAccept:") && !headerBlock.startsWith("Accept:"))
        headers = curl_slist_append(headers, "Accept:");
    headers = curl_slist_append(headers, "Expect:");

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_caFile.isEmpty()) {
        // System CAs stay trusted: the extra file is added to the default store, not put in its place.
        curl_easy_setopt(curl, CURLOPT_CAINFO, m_caFile.constData());
        curl_easy_setopt(curl, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kBufferSize);
    curl_easy_setopt(curl, CURLOPT_UPLOAD_BUFFERSIZE, kBufferSize);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &HttpConnection::onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &ex);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpConnection::onWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &ex);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &HttpConnection::onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &ex);
    if (post) {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodyLength));
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, &HttpConnection::onRead);
        curl_easy_setopt(curl, CURLOPT_READDATA, &ex);
    } else {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    }

    m_lastActivity = std::chrono::steady_clock::now();
    const CURLcode code = m_multi ? static_cast<CURLcode>(run(curl, ex)) : curl_easy_perform(curl);
    curl_slist_free_all(headers);
    if (post) {
        // What went out on the connection, not what the library took from us: it reads ahead by its
        // whole upload buffer.
        curl_off_t uploaded = 0;
        curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &uploaded);
        ex.result.bodySent = uploaded >= bodyLength;
    }

    if (code == CURLE_OK) {
        ex.result.ok = true;
        return ex.result;
    }
    long verify = X509_V_OK;
    curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verify);
    if (code == CURLE_ABORTED_BY_CALLBACK && !ex.abortedByUs)
        ex.result.error = kErrTimeout;
    else if (code == CURLE_RECV_ERROR && ex.result.headersDone)
        ex.result.error = kErrConnectionReset;
    else
        ex.result.error = ErrorNumberFor(code, verify);
    return ex.result;
}

int HttpConnection::run(void* handle, Exchange& ex) {
    CURL* curl = static_cast<CURL*>(handle);
    CURLM* multi = static_cast<CURLM*>(m_multi);
    if (curl_multi_add_handle(multi, curl) != CURLM_OK)
        return CURLE_OUT_OF_MEMORY;
    int running = 1;
    CURLMcode mc = CURLM_OK;
    // As the easy call runs it: the progress callback (cancel, stall) is seen at least every second.
    while (running && mc == CURLM_OK) {
        mc = curl_multi_perform(multi, &running);
        if (ex.awaiting && mc == CURLM_OK && running && !ex.result.headersDone && *ex.awaiting)
            (*ex.awaiting)();
        ex.awaiting = nullptr;
        if (mc == CURLM_OK && running)
            mc = curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    CURLcode code = mc == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_BAD_FUNCTION_ARGUMENT;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left))
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == curl)
            code = msg->data.result;
    curl_multi_remove_handle(multi, curl);
    return code;
}

HttpResult HttpConnection::get(const QByteArray& path, const QByteArray& headerBlock,
                               const HeadersSeen& headersSeen, const Sink& sink, const Awaiting& awaiting) {
    Exchange ex;
    ex.headersSeen = &headersSeen;
    ex.sink = &sink;
    ex.awaiting = &awaiting;
    return perform(ex, path, headerBlock, false, 0);
}

HttpResult HttpConnection::post(const QByteArray& path, const QByteArray& headerBlock, qint64 bodyLength,
                                const Source& source, const HeadersSeen& headersSeen) {
    Exchange ex;
    ex.headersSeen = &headersSeen;
    ex.source = &source;
    ex.bodyLength = bodyLength;
    return perform(ex, path, headerBlock, true, bodyLength);
}
