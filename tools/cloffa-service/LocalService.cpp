#include "tools/cloffa-service/LocalService.h"

#include <arpa/inet.h>
#include <iconv.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include "tools/cloffa-service/LocalServiceImpl.h"
#include "tools/cloffa-service/SoapMessages.h"

namespace cloffa {
namespace {

const char* reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 402:
        return "Payment Required";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 411:
        return "Length Required";
    case 413:
        return "Request Entity Too Large";
    case 415:
        return "Unsupported Media Type";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Unknown";
    }
}

std::string httpDate() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return buf;
}

// CP949 bytes of UTF-8 text; a character CP949 lacks becomes "?".
std::string toCp949(const std::string& utf8) {
    iconv_t cd = iconv_open("CP949", "UTF-8");
    if (cd == iconv_t(-1))
        return utf8;
    std::string out;
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char buf[256];
    while (inLeft > 0) {
        char* o = buf;
        size_t oLeft = sizeof buf;
        const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, size_t(o - buf));
        if (r == size_t(-1) && errno != E2BIG) {
            out += '?';
            // Skip one UTF-8 character.
            do {
                ++in;
                --inLeft;
            } while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80);
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace

std::string AuthDigestFor(const std::string& sessionKeyUtf8) {
    const std::string input = toCp949(sessionKeyUtf8) + "7391";
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(input.data(), input.size(), md, &len, EVP_md5(), nullptr);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < len; ++i) {
        out += hex[md[i] >> 4];
        out += hex[md[i] & 15];
    }
    return out;
}

std::string EtagFor(const std::string& sessionKeyUtf8) {
    const std::string d = AuthDigestFor(sessionKeyUtf8);
    return d.substr(0, 3) + "-" + d.substr(3, 8);
}

std::string LocalService::Impl::responseHead(int status, const std::string& contentType, int64_t contentLength,
                                             bool close, const std::vector<std::string>& extra) {
    std::string h = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\n";
    h += "Cache-Control: private\r\n";
    if (!contentType.empty())
        h += "Content-Type: " + contentType + "\r\n";
    for (const std::string& line : extra)
        h += line + "\r\n";
    h += "Date: " + httpDate() + "\r\n";
    h += contentLength >= 0 ? "Content-Length: " + std::to_string(contentLength) + "\r\n"
                            : std::string("Transfer-Encoding: chunked\r\n");
    if (close)
        h += "Connection: close\r\n";
    h += "\r\n";
    return h;
}

bool LocalService::Impl::writeSimple(HttpConnection& c, int status, const std::string& contentType,
                                     const std::string& body, bool close) {
    const std::string head = responseHead(status, contentType, int64_t(body.size()), close);
    // A long body goes out as it is, not copied behind the head (the memory benchmarks share this process).
    const bool ok = body.size() > (1u << 20) ? c.writeAll(head) && c.writeAll(body) : c.writeAll(head + body);
    return ok && !close;
}

Fault LocalService::Impl::takeFault(Endpoint endpoint) {
    std::lock_guard lock(mutex);
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->endpoint == endpoint || it->endpoint == Endpoint::Any) {
            if (--it->count > 0)
                return it->fault;
            Fault f = std::move(it->fault);
            faults.erase(it);
            return f;
        }
    }
    return {};
}

void LocalService::Impl::record(const CapturedRequest& req) {
    std::lock_guard lock(mutex);
    requests.push_back(req);
}

bool LocalService::Impl::pause(int ms) {
    std::unique_lock lock(mutex);
    return !stopCv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
}

int32_t LocalService::Impl::quotaFree() const {
    int64_t total;
    {
        std::lock_guard lock(mutex);
        total = quotaTotal;
    }
    const int64_t free = total - store.listedTotal();
    return int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, free)));
}

bool LocalService::Impl::sessionHeadersValid(const CapturedRequest& req) const {
    return HeaderValue(req, "userSession") == options.sessionKey &&
           HeaderValue(req, "If-None-Match") == EtagFor(options.sessionKey);
}

bool LocalService::Impl::readWholeBody(HttpConnection& c, CapturedRequest& req, size_t limit) {
    char buf[16384];
    for (;;) {
        const long n = c.readBody(buf, sizeof buf);
        if (n == 0)
            return true;
        if (n < 0 || req.body.size() + size_t(n) > limit)
            return false;
        req.body.append(buf, size_t(n));
        req.bodyLength += n;
    }
}

void LocalService::Impl::acceptLoop() {
    int nextId = 0;
    for (;;) {
        pollfd p{listenFd, POLLIN, 0};
        const int r = ::poll(&p, 1, 200);
        {
            std::lock_guard lock(mutex);
            if (stopping)
                return;
            // Reap connections that have ended.
            for (auto it = connections.begin(); it != connections.end();) {
                if (it->done) {
                    it->thread.join();
                    it = connections.erase(it);
                } else {
                    ++it;
                }
            }
        }
        if (r <= 0)
            continue;
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        timeval tv{options.idleTimeoutMs / 1000, (options.idleTimeoutMs % 1000) * 1000};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        // An answer's head and body go out as separate writes; without this the body waits for the
        // client's delayed acknowledgement of the head (some 40 ms per small answer).
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard lock(mutex);
        if (stopping) {
            ::close(fd);
            return;
        }
        ++connectionsAccepted;
        if (closeOnAccept) {
            ::close(fd);
            continue;
        }
        Connection& slot = connections.emplace_back();
        slot.fd = fd;
        const int id = ++nextId;
        const Certificate cert = certificate;
        slot.thread = std::thread([this, fd, id, cert, &slot] {
            serve(fd, id, cert);
            slot.done = true;
        });
    }
}

void LocalService::Impl::serve(int fd, int id, Certificate cert) {
    // A client that hangs up mid-answer must not end the host process: with SIGPIPE blocked in this
    // thread the write fails with EPIPE instead.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    SSL* ssl = SSL_new(tls.context(cert));
    if (!ssl) {
        ::close(fd);
        return;
    }
    SSL_set_fd(ssl, fd);
    HttpConnection c(ssl, fd, id);
    if (!c.handshake())
        return;
    serveRequests(c);
}

void LocalService::Impl::serveRequests(HttpConnection& c) {
    for (;;) {
        CapturedRequest req;
        req.connectionId = c.id();
        std::string version;
        const HttpConnection::HeadResult head = c.readHead(req, version);
        if (head == HttpConnection::HeadResult::Closed)
            break;
        if (head != HttpConnection::HeadResult::Ok) {
            writeSimple(c, head == HttpConnection::HeadResult::TooLarge ? 431 : 400, "text/html", "", true);
            break;
        }
        const std::string connection = HeaderValue(req, "Connection");
        const bool keepAlive = version == "HTTP/1.1" ? strcasecmp(connection.c_str(), "close") != 0
                                                     : strcasecmp(connection.c_str(), "keep-alive") == 0;
        req.chunked = strcasecmp(HeaderValue(req, "Transfer-Encoding").c_str(), "chunked") == 0;
        if (!c.beginBody(req)) {
            record(req);
            writeSimple(c, 400, "text/html", "", true);
            break;
        }
        const std::string path = req.target.substr(0, req.target.find('?'));
        Endpoint endpoint = Endpoint::Any;
        if (path == "/Cloffa/File/FileService.asmx" && req.method == "POST")
            endpoint = Endpoint::Soap;
        else if (path == "/Cloffa/File/Set.aspx" && req.method == "POST")
            endpoint = Endpoint::Upload;
        else if (path == "/Cloffa/File/Get.aspx" && req.method == "GET")
            endpoint = Endpoint::Download;
        if (endpoint == Endpoint::Any) {
            const bool drained = readWholeBody(c, req, 1 << 20);
            record(req);
            if (!writeSimple(c, 404, "text/html", "", !drained || !keepAlive))
                break;
            continue;
        }
        const Fault fault = takeFault(endpoint);
        if (strcasecmp(HeaderValue(req, "Expect").c_str(), "100-continue") == 0 &&
            fault.kind != Fault::Kind::HttpStatus && fault.kind != Fault::Kind::Stall &&
            !c.writeAll(std::string("HTTP/1.1 100 Continue\r\n\r\n")))
            break;
        bool keep = true;
        switch (fault.kind) {
        case Fault::Kind::HttpStatus: {
            // Answered before the body is read; the body is still consumed to keep the framing.
            const bool sent = c.writeAll(responseHead(fault.status, "", 0, !keepAlive));
            const bool drained = c.drainBody();
            record(req);
            keep = sent && drained && keepAlive;
            break;
        }
        case Fault::Kind::HttpStatusBody:
            if (endpoint != Endpoint::Soap) {
                const bool drained = c.drainBody();
                record(req);
                keep = writeSimple(c, fault.status ? fault.status : 500, "text/html", fault.body,
                                   !keepAlive || !drained) &&
                       drained;
            } else {
                keep = handleSoap(c, req, fault, keepAlive);
            }
            break;
        case Fault::Kind::EarlyAnswerThenReset:
            record(req);
            c.writeAll(responseHead(fault.status ? fault.status : 200, "", 0, true));
            pause(200); // the client reads the answer while its body is still going out
            c.abort();
            keep = false;
            break;
        case Fault::Kind::CloseConnection:
            readWholeBody(c, req, kCapturedBodyLimit);
            record(req);
            keep = false;
            break;
        case Fault::Kind::ResetAfterRequest:
            readWholeBody(c, req, kCapturedBodyLimit);
            record(req);
            c.abort();
            keep = false;
            break;
        case Fault::Kind::ResetAfterAnswer:
            if (endpoint == Endpoint::Soap)
                handleSoap(c, req, Fault{}, keepAlive);
            else if (endpoint == Endpoint::Upload)
                handleUpload(c, req, Fault{}, keepAlive);
            else
                handleDownload(c, req, Fault{}, keepAlive);
            pause(200); // the client reads the answer first
            c.abort();
            keep = false;
            break;
        case Fault::Kind::Stall:
            if (endpoint == Endpoint::Upload) {
                // Stops reading: the client's body waits in the socket buffers.
                keep = pause(fault.stallMs) && handleUpload(c, req, Fault{}, keepAlive);
            } else {
                const bool complete = readWholeBody(c, req, 4 << 20);
                record(req);
                keep = complete && pause(fault.stallMs);
                if (keep)
                    keep = endpoint == Endpoint::Soap ? answerSoap(c, req, Fault{}, keepAlive)
                                                      : answerDownload(c, req, Fault{}, keepAlive);
            }
            break;
        default:
            if (endpoint == Endpoint::Soap)
                keep = handleSoap(c, req, fault, keepAlive);
            else if (endpoint == Endpoint::Upload)
                keep = handleUpload(c, req, fault, keepAlive);
            else
                keep = handleDownload(c, req, fault, keepAlive);
        }
        if (!keep)
            break;
    }
    c.close();
}

bool LocalService::Impl::handleSoap(HttpConnection& c, CapturedRequest& req, const Fault& fault, bool keepAlive) {
    const bool complete = readWholeBody(c, req, 4 << 20);
    record(req);
    if (!complete) {
        writeSimple(c, 400, "text/html", "", true);
        return false;
    }
    return answerSoap(c, req, fault, keepAlive);
}

bool LocalService::Impl::answerSoap(HttpConnection& c, const CapturedRequest& req, const Fault& fault,
                                    bool keepAlive) {
    const bool close = !keepAlive || fault.kind == Fault::Kind::ConnectionClose;
    const std::string xmlType = "text/xml; charset=utf-8";
    auto fail = [&](const std::string& code, const std::string& text) {
        return writeSimple(c, 500, xmlType, SoapFault(code, text), close);
    };

    switch (fault.kind) {
    case Fault::Kind::SoapFault:
        return fail("Server",
                    fault.body.empty() ? std::string("Server was unable to process request.") : fault.body);
    case Fault::Kind::HttpStatusBody:
        return writeSimple(c, fault.status ? fault.status : 500, xmlType, fault.body, close);
    case Fault::Kind::Raw:
        return writeSimple(c, fault.status ? fault.status : 200, xmlType, fault.body, close);
    case Fault::Kind::GarbageStatusLine: {
        // A well-framed answer behind a first line that is no status line; the connection is kept.
        const std::string head = responseHead(200, xmlType, 0, close);
        const std::string body = BoolAnswer(options.serviceNamespace, "NeedUpdate", false, AnswerVariant::Normal);
        std::string rest = head.substr(head.find("\r\n") + 2);
        rest = rest.substr(0, rest.find("Content-Length: ")) + "Content-Length: " + std::to_string(body.size()) +
               rest.substr(rest.find("\r\n", rest.find("Content-Length: ")));
        return c.writeAll("XQ-STATUS ?? garbage\r\n" + rest + body) && !close;
    }
    default:
        break;
    }
    AnswerVariant variant = AnswerVariant::Normal;
    if (fault.kind == Fault::Kind::MalformedXml)
        variant = AnswerVariant::Malformed;
    else if (fault.kind == Fault::Kind::WrongElement)
        variant = AnswerVariant::WrongElement;
    else if (fault.kind == Fault::Kind::WrongXsiType)
        variant = AnswerVariant::WrongXsiType;
    else if (fault.kind == Fault::Kind::MissingFileArray)
        variant = AnswerVariant::MissingFileArray;
    else if (fault.kind == Fault::Kind::EnvelopeNoNamespace)
        variant = AnswerVariant::EnvelopeNoNamespace;
    else if (fault.kind == Fault::Kind::EnvelopeUnknownNamespace)
        variant = AnswerVariant::EnvelopeUnknownNamespace;
    else if (fault.kind == Fault::Kind::MismatchedEndTag)
        variant = AnswerVariant::MismatchedEndTag;
    else if (fault.kind == Fault::Kind::MissingUserInfo)
        variant = AnswerVariant::MissingUserInfo;

    SoapRequest soap;
    std::string error;
    if (!ParseSoapRequest(req.body, soap, &error))
        return fail("Client", error);
    const std::string& ns = options.serviceNamespace;
    if (soap.operationNs != ns ||
        (soap.operation != "GetUserFiles" && soap.operation != "DelFile" && soap.operation != "NeedUpdate"))
        return fail("Client", "Server did not recognize the value of the request element: " + soap.operation);
    std::string action = HeaderValue(req, "SOAPAction");
    if (action.size() >= 2 && action.front() == '"' && action.back() == '"')
        action = action.substr(1, action.size() - 2);
    if (!action.empty() && action != ns + soap.operation)
        return fail("Client", "Server did not recognize the value of HTTP Header SOAPAction: " + action + ".");
    if (soap.unknownMustUnderstand)
        return fail("MustUnderstand", "A header entry marked mustUnderstand was not understood.");
    if (!soap.auth || *soap.auth != AuthDigestFor(options.sessionKey))
        return fail("Client", "Invalid user credentials.");
    if (soap.operation == "NeedUpdate") {
        bool refuse;
        {
            std::lock_guard lock(mutex);
            refuse = refuseVersion;
        }
        return writeSimple(c, 200, xmlType, BoolAnswer(ns, "NeedUpdate", refuse, variant), close);
    }
    if (!soap.session || *soap.session != options.sessionKey)
        return fail("Client", "Invalid session.");
    if (soap.operation == "GetUserFiles") {
        int32_t total;
        {
            std::lock_guard lock(mutex);
            total = quotaTotal;
        }
        return writeSimple(c, 200, xmlType, GetUserFilesAnswer(ns, store.files(), total, quotaFree(), variant),
                           close);
    }
    // DelFile
    char* end = nullptr;
    const std::string idxText = soap.idx.value_or(std::string());
    errno = 0;
    const long idx = idxText.empty() ? 0 : std::strtol(idxText.c_str(), &end, 10);
    if (idxText.empty() || *end != '\0' || errno != 0 || idx < INT32_MIN || idx > INT32_MAX)
        return fail("Client", "Invalid Idx.");
    const bool removed = store.remove(int32_t(idx));
    return writeSimple(c, 200, xmlType, BoolAnswer(ns, "DelFile", removed, variant), close);
}

LocalService::LocalService(ServiceOptions options) : d(std::make_unique<Impl>(std::move(options))) {}

LocalService::~LocalService() {
    stop();
}

bool LocalService::start(std::string* error) {
    if (d->running)
        return true;
    auto fail = [error](const std::string& what) {
        if (error)
            *error = what;
        return false;
    };
    std::error_code ec;
    std::filesystem::create_directories(d->options.storeDir, ec);
    std::string why;
    if (!d->tls.load(d->options.storeDir / "tls", &why))
        return fail(why);
    if (!d->store.open(d->options.storeDir, d->options.sampleSet, &why))
        return fail(why);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(std::string("socket: ") + std::strerror(errno));
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Set before listening, so that accepted connections announce the small window from the start.
    if (d->options.receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &d->options.receiveBuffer, sizeof d->options.receiveBuffer);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(d->options.port));
    if (::inet_pton(AF_INET, d->options.host.c_str(), &addr.sin_addr) != 1) {
        ::close(fd);
        return fail("not an IPv4 address: " + d->options.host);
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
        const std::string msg = std::string("bind: ") + std::strerror(errno);
        ::close(fd);
        return fail(msg);
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    d->listenFd = fd;
    d->port = ntohs(addr.sin_port);
    d->stopping = false;
    d->running = true;
    d->acceptThread = std::thread([this] { d->acceptLoop(); });
    return true;
}

void LocalService::stop() {
    if (!d->running)
        return;
    {
        std::lock_guard lock(d->mutex);
        d->stopping = true;
        for (auto& conn : d->connections)
            if (!conn.done)
                ::shutdown(conn.fd, SHUT_RDWR);
    }
    ::shutdown(d->listenFd, SHUT_RDWR); // wakes the accept loop's poll
    d->stopCv.notify_all();
    d->acceptThread.join();
    for (auto& conn : d->connections)
        conn.thread.join();
    d->connections.clear();
    ::close(d->listenFd);
    d->listenFd = -1;
    d->running = false;
}

int LocalService::port() const {
    return d->port;
}
std::string LocalService::baseUrl() const {
    return "https://" + d->options.host + ":" + std::to_string(d->port);
}
std::string LocalService::answerBytes(const std::string& input, size_t pieceSize) {
    std::string output;
    HttpConnection c(input, &output, pieceSize);
    d->serveRequests(c);
    return output;
}

std::filesystem::path LocalService::caFile() const {
    return d->tls.caFile().empty() ? d->options.storeDir / "tls" / "ca.pem" : d->tls.caFile();
}
std::vector<StoredFile> LocalService::files() const {
    return d->store.files();
}
std::optional<StoredFile> LocalService::file(int32_t idx) const {
    return d->store.file(idx);
}
std::filesystem::path LocalService::contentPath(int32_t idx) const {
    return d->store.contentPath(idx);
}
int32_t LocalService::addFile(const std::string& name, const std::string& bytes) {
    return d->store.add(name, bytes);
}
bool LocalService::removeFile(int32_t idx) {
    return d->store.remove(idx);
}
int32_t LocalService::quotaFree() const {
    return d->quotaFree();
}

int32_t LocalService::quotaTotal() const {
    std::lock_guard lock(d->mutex);
    return d->quotaTotal;
}

void LocalService::setQuotaTotal(int32_t total) {
    std::lock_guard lock(d->mutex);
    d->quotaTotal = total;
}

void LocalService::setRefuseVersion(bool refuse) {
    std::lock_guard lock(d->mutex);
    d->refuseVersion = refuse;
}

void LocalService::injectFault(Endpoint endpoint, Fault fault, int count) {
    if (count <= 0)
        return;
    std::lock_guard lock(d->mutex);
    d->faults.push_back({endpoint, std::move(fault), count});
}

void LocalService::clearFaults() {
    std::lock_guard lock(d->mutex);
    d->faults.clear();
}

void LocalService::setCloseOnAccept(bool on) {
    std::lock_guard lock(d->mutex);
    d->closeOnAccept = on;
}

void LocalService::setCertificate(Certificate cert) {
    std::lock_guard lock(d->mutex);
    d->certificate = cert;
}

std::vector<CapturedRequest> LocalService::requests() const {
    std::lock_guard lock(d->mutex);
    return d->requests;
}

void LocalService::clearRequests() {
    std::lock_guard lock(d->mutex);
    d->requests.clear();
}

int LocalService::connectionsAccepted() const {
    std::lock_guard lock(d->mutex);
    return d->connectionsAccepted;
}

} // namespace cloffa
