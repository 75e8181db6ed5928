#pragma once
// A Cloffa-compatible service on the loopback address: the SOAP file service, the upload and download
// pages, TLS with its own CA, a persistent store and fault injection. Used in-process by tests and by the
// cloffa-service program. Independent of the client's code (cpp-httplib + pugixml + OpenSSL).
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cloffa {

struct StoredFile {
    int32_t idx = 0;
    std::string name;       // UTF-8
    int64_t size = 0;       // bytes of content (what a download sends)
    int32_t listedSize = 0; // FileSize in the listing (equals size unless a sample claims more)
    std::string regDate;    // "2008-05-21 오후 3:04:05"-like text as the service sends it
    int32_t sidx = 0;
};

enum class Endpoint { Soap, Upload, Download, Any };

struct Fault {
    enum class Kind {
        None,
        SoapFault,      // HTTP 500 with a SOAP fault body
        HttpStatus,     // `status` with an empty body (SOAP: before the body is read)
        HttpStatusBody, // `status` with `body` as the body (text/xml)
        Raw,            // SOAP: `status` + `body` verbatim as the answer (200 unless status set);
                        // download: `body` as the whole answer, head included, then the connection closes
        MalformedXml,
        WrongElement,
        WrongXsiType,
        MissingFileArray, // GetUserFilesResponse without fileinfoes
        Stall,            // accept, read the request, then send nothing for `stallMs`
        CloseConnection,  // close without answering
        ConnectionClose,  // a normal answer with "Connection: close"
        // transfer pages
        CloseAfterBytes, // download: close after `bytes` body bytes; upload: reset after reading `bytes`
                         // (and `stallMs` more without reading)
        ShortBody,       // download: Content-Length says the full size, send `bytes` fewer
        StallMidBody,    // download: stall `stallMs` after `bytes` body bytes; upload: stall reading
        StatusAfterBody, // upload: read the whole body, then answer `status`; download: `status` with the full
                         // body
        NoContentLength, // download: chunked answer without Content-Length
        // SOAP answers that a client must refuse with a specific error
        EnvelopeNoNamespace,      // 200 whose Envelope, Body and answer carry no envelope namespace
        EnvelopeUnknownNamespace, // 200 whose Envelope is in a namespace no SOAP version uses
        MismatchedEndTag,         // 200 whose answer element closes with another element's name
        MissingUserInfo,          // GetUserFilesResponse with the file array but without userInfo
        GarbageStatusLine,        // the answer's first line is not an HTTP status line; the connection stays open
        ResetAfterRequest,        // read the request, then reset the connection without answering
        ResetAfterAnswer,         // a normal answer, then the kept-alive connection is reset
        CutAnswerBody,            // upload: store the file, answer 200 announcing 100 body bytes, send 10, then
                                  // stall `stallMs` (0: close at once)
        EarlyAnswerThenReset,     // upload: answer `status` (200 unless set) before reading the body, then
                                  // reset the connection with the body unread
    };
    Kind kind = Kind::None;
    int status = 0;
    std::string body;
    int64_t bytes = 0;
    int stallMs = 0;
};

enum class Certificate { Good, WrongHost, Expired, Untrusted };

struct ServiceOptions {
    std::filesystem::path storeDir; // created when missing; holds the index, objects and the TLS files
    std::string host = "127.0.0.1";
    int port = 0; // 0 = a free port
    std::string userId = "tester";
    std::string sessionKey = "test-session-key";
    int32_t quotaTotal = 100 * 1024 * 1024;
    bool sampleSet = false;     // a new store gets the deterministic demo sample set
    bool refuseVersion = false; // NeedUpdate answers true
    std::string serviceNamespace = "http://file.cloffa.example/"; // must match the client's deployment
    int idleTimeoutMs = 30000; // an idle keep-alive connection is closed after this
    int receiveBuffer = 0;     // socket receive buffer of every connection in bytes; 0 = the system's
};

inline constexpr size_t kCapturedBodyLimit = 4 * 1024 * 1024;

struct CapturedRequest {
    std::string method;
    std::string target;                                       // path and query
    std::vector<std::pair<std::string, std::string>> headers; // in wire order, names as sent
    std::string headerBlock;                                  // the raw header lines as received, CRLF-separated
    std::string body;                                         // de-chunked
    bool chunked = false;
    int64_t bodyLength = 0;     // bytes of the de-chunked body, also when not all are kept
    bool bodyTruncated = false; // upload bodies are kept only up to kCapturedBodyLimit
    int connectionId = 0;       // which TLS connection carried it
};

class LocalService {
public:
    explicit LocalService(ServiceOptions options);
    ~LocalService(); // stops
    LocalService(const LocalService&) = delete;
    LocalService& operator=(const LocalService&) = delete;

    bool start(std::string* error = nullptr);
    void stop();
    int port() const;
    std::string baseUrl() const;          // "https://127.0.0.1:<port>"
    std::filesystem::path caFile() const; // PEM of the service's own CA

    // Store.
    std::vector<StoredFile> files() const;
    std::optional<StoredFile> file(int32_t idx) const;
    std::filesystem::path contentPath(int32_t idx) const;
    int32_t addFile(const std::string& name, const std::string& bytes);
    bool removeFile(int32_t idx);
    int32_t quotaTotal() const;
    int32_t quotaFree() const;
    void setQuotaTotal(int32_t total);
    void setRefuseVersion(bool refuse);

    // Faults: the next `count` requests to `endpoint` get `fault`.
    void injectFault(Endpoint endpoint, Fault fault, int count = 1);
    void clearFaults();
    void setCertificate(Certificate cert); // for connections accepted from now on
    // Every connection accepted from now on is closed at once, before TLS (a balancer without back end).
    void setCloseOnAccept(bool on);

    // The answers to the requests in `input`, read as one connection that delivers at most `pieceSize`
    // bytes at a time, without TLS or socket. The store must be open (start()).
    std::string answerBytes(const std::string& input, size_t pieceSize = 16384);

    // Observation.
    std::vector<CapturedRequest> requests() const;
    void clearRequests();
    int connectionsAccepted() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The auth digest the service expects: MD5 hex of the session key in CP949 followed by "7391".
std::string AuthDigestFor(const std::string& sessionKeyUtf8);
// The If-None-Match value of the transfer pages: digest[0..2] + "-" + digest[3..10].
std::string EtagFor(const std::string& sessionKeyUtf8);

} // namespace cloffa
