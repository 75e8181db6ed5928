#include "service/FileServiceSoap.h"

#include "app/Log.h"
#include "app/platform/BrokenPipe.h"
#include "service/ErrorNumbers.h"
#include "service/ResponseFramer.h"
#include "service/SoapTransport.h"
#include "service/gen/soapH.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <QUrl>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

using namespace SoapTransport;

namespace {

const char* operationName(FileServiceSoap::Operation op) {
    switch (op) {
    case FileServiceSoap::Operation::GetUserFiles:
        return "GetUserFiles";
    case FileServiceSoap::Operation::DelFile:
        return "DelFile";
    case FileServiceSoap::Operation::NeedUpdate:
        return "NeedUpdate";
    }
    return "?";
}

// One log line per call, built from counted fields only: the request carries the session key and the
// digest, so nothing of it is ever shown.
class CallLog {
public:
    CallLog(struct soap* soap, FileServiceSoap::Operation op)
        : m_soap(soap), m_op(op), m_started(std::chrono::steady_clock::now()) {}

    // The exchange starts now: counters and status belong to this call from here on.
    void begin() {
        FileServiceSoap::Impl* d = implOf(m_soap);
        d->sent = 0;
        d->received = 0;
        m_soap->status = 0;
        m_exchanged = true;
    }

    int done(int error) const {
        const qint64 ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_started)
                .count();
        qint64 sent = 0;
        qint64 received = 0;
        int status = 0;
        if (m_exchanged) {
            sent = implOf(m_soap)->sent;
            received = implOf(m_soap)->received;
            // Before an answer was read the field holds the request method, not a status.
            if (m_soap->status >= 100 && m_soap->status < 600)
                status = m_soap->status;
        }
        const char* name = operationName(m_op);
        if (error != 0)
            qCWarning(lcService, "soap %s status=%d error=%d ms=%lld sent=%lld received=%lld", name, status, error,
                      ms, sent, received);
        else
            qCInfo(lcService, "soap %s status=%d error=%d ms=%lld sent=%lld received=%lld", name, status, error,
                   ms, sent, received);
        return error;
    }

private:
    struct soap* m_soap;
    FileServiceSoap::Operation m_op;
    std::chrono::steady_clock::time_point m_started;
    bool m_exchanged = false;
};

void initTlsLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { soap_ssl_init(); });
}

QByteArray hostHeaderFor(const QByteArray& endpoint) {
    const QUrl url(QString::fromUtf8(endpoint));
    QByteArray host = url.host(QUrl::FullyEncoded).toUtf8();
    if (host.contains(':'))
        host = '[' + host + ']';
    const int port = url.port(url.scheme() == u"https" ? 443 : 80);
    if (port != 80)
        host += ':' + QByteArray::number(port);
    return host;
}

QString textOf(const char* s) {
    return s ? QString::fromUtf8(s) : QString();
}

// Writes one request. Like the generated sender, but the envelope ends without a trailing line break.
template <class Wrapper, class Serialize, class Put>
int sendRequest(struct soap* soap, const char* endpoint, const char* action, const Wrapper& wrapper,
                Serialize serialize, Put put, const char* tag) {
    soap_begin(soap);
    soap->encodingStyle = nullptr;
    soap_serializeheader(soap);
    serialize(soap, &wrapper);
    auto envelope = [&] {
        if (soap_envelope_begin_out(soap) || soap_putheader(soap) || soap_body_begin_out(soap) ||
            put(soap, &wrapper, tag, "") || soap_body_end_out(soap) ||
            soap_element_end_out(soap, "SOAP-ENV:Envelope"))
            return soap->error;
        soap->part = SOAP_END_ENVELOPE;
        return SOAP_OK;
    };
    if (soap_begin_count(soap))
        return soap->error;
    if ((soap->mode & SOAP_IO_LENGTH) && envelope())
        return soap->error;
    if (soap_end_count(soap))
        return soap->error;
    if (soap_connect(soap, endpoint, action) || envelope() || soap_end_send(soap))
        return soap_closesock(soap);
    return SOAP_OK;
}

// Reads and drops what is left of the current answer straight from the connection; true once its end
// arrived within its framing, so that the next answer starts clean on the same connection.
bool drainAnswer(struct soap* soap) {
    FileServiceSoap::Impl* d = implOf(soap);
    soap->bufidx = soap->buflen; // buffered bytes all belong to this answer
    soap->ahead = 0;
    if (!d->framer.Bounded())
        return false;
    char buffer[4096];
    qint64 budget = qint64(16) << 20;
    while (!d->framer.Complete() && budget > 0) {
        const size_t r = soap->frecv(soap, buffer, sizeof buffer);
        if (r == 0)
            break;
        budget -= qint64(r);
    }
    return d->framer.Complete();
}

// Ends one answer: the error numbers the runtime cannot tell itself, and whether the connection stays.
// It closes only when the server ends keep-alive, or after end of input, a TCP or TLS failure or an
// answer that is not HTTP; after any HTTP status or SOAP-level error the rest of the answer is read and
// the connection kept.
int finishAnswer(struct soap* soap, int error) {
    FileServiceSoap::Impl* d = implOf(soap);
    const ResponseFramer& framer = d->framer;
    if (framer.HeadMalformed())
        error = SOAP_HTTP_ERROR;
    else if (error == SOAP_OK && framer.BodyMismatched())
        error = SOAP_SYNTAX_ERROR;
    const bool transportFailed =
        error == SOAP_EOF || error == SOAP_TCP_ERROR || error == SOAP_SSL_ERROR || error == SOAP_HTTP_ERROR;
    bool keep = false;
    if (!transportFailed && soap_valid_socket(soap->socket) && framer.KeepAlive()) {
        if (framer.Complete()) {
            soap->bufidx = soap->buflen;
            soap->ahead = 0;
            keep = true;
        } else {
            keep = drainAnswer(soap);
        }
    }
    soap->keep_alive = keep ? 1 : 0;
    soap->error = error;
    soap_closesock(soap);
    return soap->error = error;
}

bool isEnvelopeTag(const char* tag) {
    const char* colon = std::strrchr(tag, ':');
    return std::strcmp(colon ? colon + 1 : tag, "Envelope") == 0;
}

// Reads one answer. Another element at body level is read as a fault, and the call ends with a fault
// even when that element is not a well-formed fault.
template <class Response> int readResponse(struct soap* soap, Response& response, const char* tag) {
    response.soap_default(soap);
    if (soap_begin_recv(soap))
        return soap->error;
    if (soap_envelope_begin_in(soap) || soap_recv_header(soap) || soap_body_begin_in(soap)) {
        if (soap->error == SOAP_EOF)
            return soap->error;
        // The runtime reports an unreadable 200 answer as its status; the input either ended early
        // or held no envelope.
        if (soap->error == 200) {
            soap->error = SOAP_OK;
            if (soap_getchar(soap) == EOF)
                return soap->error = SOAP_EOF;
            soap->error = SOAP_NO_TAG;
        }
        // An envelope in no namespace, or in one no SOAP version uses, is a version mismatch.
        if (soap->error == SOAP_VERSIONMISMATCH || isEnvelopeTag(soap->tag))
            return soap->error = SOAP_VERSIONMISMATCH;
        return soap->error;
    }
    response.soap_get(soap, tag, nullptr);
    if (soap->error) {
        // Taken as a plain XML answer, the envelope itself came where the answer was expected.
        if (soap->error != SOAP_EOF && soap->level < 2 && isEnvelopeTag(soap->tag))
            return soap->error = SOAP_VERSIONMISMATCH;
        if (soap->error != SOAP_TAG_MISMATCH || soap->level != 2)
            return soap->error;
        soap->error = SOAP_OK;
        soap_getfault(soap);
        return soap->error = SOAP_FAULT;
    }
    if (soap_body_end_in(soap) || soap_envelope_end_in(soap) || soap_end_recv(soap))
        return soap->error;
    return SOAP_OK;
}

template <class Response> int receiveResponse(struct soap* soap, Response& response, const char* tag) {
    return finishAnswer(soap, readResponse(soap, response, tag));
}

int sendOp(struct soap* soap, const char* endpoint, const char* action, _ns1__GetUserFiles* request) {
    __ns3__GetUserFiles w;
    w.ns1__GetUserFiles = request;
    return sendRequest(soap, endpoint, action, w, soap_serialize___ns3__GetUserFiles, soap_put___ns3__GetUserFiles,
                       "-ns3:GetUserFiles");
}
int sendOp(struct soap* soap, const char* endpoint, const char* action, _ns1__DelFile* request) {
    __ns3__DelFile w;
    w.ns1__DelFile = request;
    return sendRequest(soap, endpoint, action, w, soap_serialize___ns3__DelFile, soap_put___ns3__DelFile,
                       "-ns3:DelFile");
}
int sendOp(struct soap* soap, const char* endpoint, const char* action, _ns1__NeedUpdate* request) {
    __ns3__NeedUpdate w;
    w.ns1__NeedUpdate = request;
    return sendRequest(soap, endpoint, action, w, soap_serialize___ns3__NeedUpdate, soap_put___ns3__NeedUpdate,
                       "-ns3:NeedUpdate");
}
int receiveOp(struct soap* soap, _ns1__GetUserFilesResponse& r) {
    return receiveResponse(soap, r, "ns1:GetUserFilesResponse");
}
int receiveOp(struct soap* soap, _ns1__DelFileResponse& r) {
    return receiveResponse(soap, r, "ns1:DelFileResponse");
}
int receiveOp(struct soap* soap, _ns1__NeedUpdateResponse& r) {
    return receiveResponse(soap, r, "ns1:NeedUpdateResponse");
}
template <class Request, class Response>
int callOp(struct soap* soap, const char* endpoint, const char* action, Request& request, Response& response) {
    if (sendOp(soap, endpoint, action, &request))
        return soap->error;
    return receiveOp(soap, response);
}

} // namespace

FileServiceSoap::FileServiceSoap(FileServiceSettings settings)
    : m_settings(std::move(settings)), m_endpoint(m_settings.Endpoint().toUtf8()), d(std::make_unique<Impl>()) {
    initTlsLibrary();
    m_soap = soap_new1(SOAP_IO_DEFAULT);
    if (!m_soap)
        return;
    m_soap->user = d.get();
    d->soap = m_soap;
    d->callTimeout = m_settings.callTimeout;
    d->credentials.soap_default(m_soap);

    const QByteArray service = m_settings.serviceNamespace.toUtf8();
    const QByteArray memo = m_settings.memoNamespace.toUtf8();
    d->uris = {service + "FileServiceSoap", service, service + "FileServiceSoap12",
               memo + "MemoServiceSoap",    memo,    memo + "MemoServiceSoap12"};
    d->namespaces = {{
        {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/*/soap-envelope", nullptr},
        {"SOAP-ENC", "http://schemas.xmlsoap.org/soap/encoding/", "http://www.w3.org/*/soap-encoding", nullptr},
        {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance", nullptr},
        {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
        {"ns3", d->uris[0].constData(), nullptr, nullptr},
        {"ns1", d->uris[1].constData(), nullptr, nullptr},
        {"ns4", d->uris[2].constData(), nullptr, nullptr},
        {"ns5", d->uris[3].constData(), nullptr, nullptr},
        {"ns2", d->uris[4].constData(), nullptr, nullptr},
        {"ns6", d->uris[5].constData(), nullptr, nullptr},
        {nullptr, nullptr, nullptr, nullptr},
    }};
    d->hostHeader = hostHeaderFor(m_endpoint);
    d->actions = {service + "GetUserFiles", service + "DelFile", service + "NeedUpdate"};
    Configure();
}

FileServiceSoap::~FileServiceSoap() {
    if (!m_soap)
        return;
    {
        // The watchdog never touches the context after this.
        const std::lock_guard lock(d->socketLock);
        d->soap = nullptr;
    }
    m_soap->header = nullptr;
    soap_destroy(m_soap);
    soap_end(m_soap);
    soap_free(m_soap); // closes the connection and releases the TLS state
}

void FileServiceSoap::Configure() {
    const soap_mode mode = SOAP_IO_CHUNK | SOAP_IO_KEEPALIVE | SOAP_C_UTFSTRING;
    soap_set_mode(m_soap, mode);
    // The service's answers are literal XML trees: id and href attributes are plain attributes, never
    // references between elements (the runtime's reference bookkeeping is left out of reach of the answer).
    soap_set_imode(m_soap, SOAP_XML_TREE);
    m_soap->connect_timeout = static_cast<int>(m_settings.connectTimeout.count());
    m_soap->send_timeout = static_cast<int>(m_settings.sendTimeout.count());
    m_soap->recv_timeout = static_cast<int>(m_settings.receiveTimeout.count());
    m_soap->http_version = "1.1";
    soap_set_namespaces(m_soap, d->namespaces.data());
    m_soap->fposthdr = postHeader;
    d->defaultSend = m_soap->fsend;
    d->defaultRecv = m_soap->frecv;
    d->defaultOpen = m_soap->fopen;
    d->defaultClose = m_soap->fclose;
    d->defaultParseHeader = m_soap->fparsehdr;
    m_soap->fparsehdr = parseHeader;
    m_soap->fsend = countingSend;
    m_soap->frecv = countingRecv;
    m_soap->fopen = openBounded;
    m_soap->fclose = closeWithoutWaiting;
    d->defaultCloseSocket = m_soap->fclosesocket;
    m_soap->fclosesocket = closeSocketLocked;

    // The server certificate and host name are checked against the system CAs plus the extra CA file.
    const QByteArray ca = m_settings.caFile.toLocal8Bit();
    if (soap_ssl_client_context(m_soap, SOAP_SSL_DEFAULT, nullptr, nullptr,
                                ca.isEmpty() ? nullptr : ca.constData(), nullptr, nullptr) != SOAP_OK)
        d->tlsContextFailed = true;
    soap_set_namespaces(m_soap, d->namespaces.data());
}

QByteArray FileServiceSoap::Action(Operation op) const {
    return d->actions[static_cast<size_t>(op)];
}

bool FileServiceSoap::ConnectionOpen() const {
    return m_soap && soap_valid_socket(m_soap->socket);
}

bool FileServiceSoap::ConnectionKeepAliveProbes() const {
    if (!ConnectionOpen())
        return false;
    int on = 0;
    socklen_t len = sizeof on;
    return ::getsockopt(m_soap->socket, SOL_SOCKET, SO_KEEPALIVE, &on, &len) == 0 && on != 0;
}

QString FileServiceSoap::LastErrorText() const {
    if (!m_soap)
        return QString();
    const char* detail = soap_fault_detail(m_soap);
    QString text = textOf(soap_fault_string(m_soap));
    if (detail && *detail)
        text += u' ' + QString::fromUtf8(detail);
    return text;
}

void FileServiceSoap::SetCredentials(const QByteArray& authDigest) {
    d->digest = authDigest;
    d->credentials.strAuth = d->digest.isEmpty() ? nullptr : d->digest.data();
    d->header.ns1__UserCredentials_ = authDigest.isEmpty() ? nullptr : &d->credentials;
    d->header.ns2__UserCredentials_ = nullptr;
}

void FileServiceSoap::Stop() {
    d->stopped = true;
    d->ShutDownConnection();
}

bool FileServiceSoap::Stopped() const {
    return d->stopped;
}

void FileServiceSoap::EndCall() {
    d->Disarm();
}

int FileServiceSoap::BeginCall(Operation op) {
    (void)op;
    if (!m_soap)
        return 16;
    // The request line has room for the URL and the HTTP version only up to this length.
    if (m_endpoint.size() + qsizetype(std::strlen(m_soap->http_version)) > 944)
        return 16;
    // Decoded data of the previous call was copied by its caller under the service lock.
    soap_destroy(m_soap);
    soap_end(m_soap);
    m_soap->encodingStyle = nullptr;
    m_soap->header = d->header.ns1__UserCredentials_ ? &d->header : nullptr;
    if (d->tlsContextFailed && m_endpoint.startsWith("https:")) {
        soap_set_sender_error(m_soap, "SSL error", "TLS context set-up failed", SOAP_SSL_ERROR);
        return 25;
    }
    return 0;
}

int FileServiceSoap::Finish(int runtimeCode) {
    // The runtime closes the connection after end of input, TCP and TLS failures or when the server
    // ended keep-alive; a fault keeps it.
    return ErrorNumbers::FromRuntime(runtimeCode);
}

int FileServiceSoap::NeedUpdate(_ns1__NeedUpdate& request, _ns1__NeedUpdateResponse& response) {
    CallLog log(m_soap, Operation::NeedUpdate);
    if (const int e = BeginCall(Operation::NeedUpdate))
        return log.done(e);
    log.begin();
    d->Arm();
    const int code =
        callOp(m_soap, m_endpoint.constData(), Action(Operation::NeedUpdate).constData(), request, response);
    EndCall();
    return log.done(Finish(code));
}

int FileServiceSoap::GetUserFiles(_ns1__GetUserFiles& request, _ns1__GetUserFilesResponse& response) {
    CallLog log(m_soap, Operation::GetUserFiles);
    if (const int e = BeginCall(Operation::GetUserFiles))
        return log.done(e);
    log.begin();
    d->Arm();
    const int code =
        callOp(m_soap, m_endpoint.constData(), Action(Operation::GetUserFiles).constData(), request, response);
    EndCall();
    return log.done(Finish(code));
}

int FileServiceSoap::DelFile(_ns1__DelFile& request, _ns1__DelFileResponse& response) {
    CallLog log(m_soap, Operation::DelFile);
    if (const int e = BeginCall(Operation::DelFile))
        return log.done(e);
    log.begin();
    d->Arm();
    const int code =
        callOp(m_soap, m_endpoint.constData(), Action(Operation::DelFile).constData(), request, response);
    EndCall();
    return log.done(Finish(code));
}

FileListResult FileServiceSoap::ToResult(struct soap* soap, int error, _ns1__GetUserFilesResponse& response) {
    FileListResult r;
    r.error = error;
    if (error != 0)
        return r;
    if (response.fileinfoes) {
        r.hasFileArray = true;
        std::vector<ns1__FileInfoes*>& entries = response.fileinfoes->FileInfoes;
        size_t present = 0;
        for (const ns1__FileInfoes* f : entries)
            present += f ? 1 : 0;
        r.files.resize(present);
        // From the last entry back: the runtime keeps what it allocated newest first, so each entry and its
        // texts are found at once, and the memory they free takes the converted texts.
        size_t at = present;
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            ns1__FileInfoes* f = *it;
            if (!f)
                continue;
            r.files[--at] = {f->Idx, textOf(f->FileName), f->FileSize, textOf(f->RegDate), f->Sidx};
            // A null pointer would free everything the runtime holds.
            if (soap) {
                if (f->RegDate)
                    soap_dealloc(soap, f->RegDate);
                if (f->FileName)
                    soap_dealloc(soap, f->FileName);
                soap_delete(soap, f);
            }
            *it = nullptr;
        }
        entries.clear();
        entries.shrink_to_fit();
    }
    if (response.userInfo) {
        r.quota.userSize = response.userInfo->UserSize;
        r.quota.userFree = response.userInfo->UserFree;
        r.quota.present = true;
    }
    return r;
}

FileListResult FileServiceSoap::CallGetUserFiles(const QByteArray& authDigest, const QByteArray& sessionUtf8) {
    SetCredentials(authDigest);
    QByteArray session = sessionUtf8;
    _ns1__GetUserFiles request;
    _ns1__GetUserFilesResponse response;
    request.strSession = session.data(); // an empty key is sent as an empty element
    const int e = GetUserFiles(request, response);
    return ToResult(m_soap, e, response);
}

BoolResult FileServiceSoap::CallDelFile(const QByteArray& authDigest, const QByteArray& sessionUtf8, qint32 idx) {
    SetCredentials(authDigest);
    QByteArray session = sessionUtf8;
    _ns1__DelFile request;
    _ns1__DelFileResponse response;
    request.strSession = session.data();
    request.Idx = idx;
    const int e = DelFile(request, response);
    return {e, e == 0 && response.DelFileResult};
}

BoolResult FileServiceSoap::CallNeedUpdate(const QByteArray& authDigest) {
    SetCredentials(authDigest);
    QByteArray version("1.0");
    _ns1__NeedUpdate request;
    _ns1__NeedUpdateResponse response;
    request.strNowVersion = version.data();
    const int e = NeedUpdate(request, response);
    return {e, e == 0 && response.NeedUpdateResult};
}

std::string FileServiceSoap::EncodeRequest(Operation op, const QByteArray& authDigest,
                                           const QByteArray& sessionUtf8, qint32 idx) {
    std::string out;
    if (!m_soap)
        return out;
    SetCredentials(authDigest);
    QByteArray session = sessionUtf8;
    QByteArray version("1.0");
    soap_destroy(m_soap);
    soap_end(m_soap);
    m_soap->encodingStyle = nullptr;
    m_soap->header = d->header.ns1__UserCredentials_ ? &d->header : nullptr;
    // Any open connection is left alone: the request goes to a throw-away descriptor.
    const SOAP_SOCKET saved = m_soap->socket;
    void* savedSsl = m_soap->ssl;
    m_soap->socket = SOAP_INVALID_SOCKET;
    m_soap->ssl = nullptr;
    d->capture = &out;
    m_soap->fsend = captureSend;
    m_soap->fopen = openNowhere;
    const QByteArray action = Action(op);
    switch (op) {
    case Operation::GetUserFiles: {
        _ns1__GetUserFiles request;
        request.strSession = session.data();
        sendOp(m_soap, m_endpoint.constData(), action.constData(), &request);
        break;
    }
    case Operation::DelFile: {
        _ns1__DelFile request;
        request.strSession = session.data();
        request.Idx = idx;
        sendOp(m_soap, m_endpoint.constData(), action.constData(), &request);
        break;
    }
    case Operation::NeedUpdate: {
        _ns1__NeedUpdate request;
        request.strNowVersion = version.data();
        sendOp(m_soap, m_endpoint.constData(), action.constData(), &request);
        break;
    }
    }
    if (soap_valid_socket(m_soap->socket))
        ::close(m_soap->socket);
    m_soap->socket = saved;
    m_soap->ssl = static_cast<decltype(m_soap->ssl)>(savedSsl);
    m_soap->fsend = countingSend;
    m_soap->fopen = openBounded;
    d->capture = nullptr;
    return out;
}

namespace {

// Points the context at an in-memory response for one receive, then restores its connection.
class MemoryInput {
public:
    MemoryInput(struct soap* soap, std::string_view http)
        : m_soap(soap), m_stream(std::string(http)), m_socket(soap->socket), m_ssl(soap->ssl) {
        soap_destroy(soap);
        soap_end(soap);
        soap_begin(soap);
        soap->socket = SOAP_INVALID_SOCKET;
        soap->ssl = nullptr;
        soap->is = &m_stream;
        // Nothing buffered from an earlier message belongs to this one.
        soap->keep_alive = 0;
        soap->bufidx = 0;
        soap->buflen = 0;
        soap->ahead = 0;
        implOf(soap)->framer.Reset();
    }
    ~MemoryInput() {
        m_soap->is = nullptr;
        m_soap->socket = m_socket;
        m_soap->ssl = m_ssl;
    }
    MemoryInput(const MemoryInput&) = delete;
    MemoryInput& operator=(const MemoryInput&) = delete;

private:
    struct soap* m_soap;
    std::istringstream m_stream;
    SOAP_SOCKET m_socket;
    decltype(soap::ssl) m_ssl;
};

} // namespace

FileListResult FileServiceSoap::DecodeGetUserFiles(std::string_view httpResponse) {
    if (!m_soap)
        return {16, {}, {}, false};
    _ns1__GetUserFilesResponse response;
    int code = 0;
    {
        MemoryInput input(m_soap, httpResponse);
        code = receiveOp(m_soap, response);
    }
    return ToResult(m_soap, ErrorNumbers::FromRuntime(code), response);
}

BoolResult FileServiceSoap::DecodeBool(Operation op, std::string_view httpResponse) {
    if (!m_soap)
        return {16, false};
    MemoryInput input(m_soap, httpResponse);
    if (op == Operation::DelFile) {
        _ns1__DelFileResponse response;
        const int e = ErrorNumbers::FromRuntime(receiveOp(m_soap, response));
        return {e, e == 0 && response.DelFileResult};
    }
    _ns1__NeedUpdateResponse response;
    const int e = ErrorNumbers::FromRuntime(receiveOp(m_soap, response));
    return {e, e == 0 && response.NeedUpdateResult};
}
