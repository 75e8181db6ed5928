#pragma once
// The proxy's state behind its gSOAP context, and the transport hooks it installs into the runtime:
// request headers in the service's order, counted and framed reads and writes, bounded connects,
// closes that never wait for a silent server, and a cap on announced answer lengths.
#include "service/FileServiceSoap.h"
#include "service/ResponseFramer.h"
#include "service/gen/soapH.h"

#include <QByteArray>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct FileServiceSoap::Impl {
    // Namespace table built from the deployment's URIs; the context points into it.
    std::vector<QByteArray> uris;
    std::array<Namespace, 11> namespaces{};
    QByteArray hostHeader;
    std::array<QByteArray, 3> actions;
    // Header lines of the request being written, emitted in the wire order once all are known.
    std::map<std::string, std::string> pendingHeaders;
    // Credentials of the header record set by SetCredentials.
    QByteArray digest;
    ns1__UserCredentials credentials;
    SOAP_ENV__Header header{};
    bool tlsContextFailed = false;
    // EncodeRequest captures what would be sent.
    std::string* capture = nullptr;
    int (*defaultSend)(struct soap*, const char*, size_t) = nullptr;
    size_t (*defaultRecv)(struct soap*, char*, size_t) = nullptr;
    // Bytes of the call being made, for its log line.
    qint64 sent = 0;
    qint64 received = 0;
    ResponseFramer framer;
    SOAP_SOCKET (*defaultOpen)(struct soap*, const char*, const char*, int) = nullptr;
    int (*defaultClose)(struct soap*) = nullptr;
    int (*defaultParseHeader)(struct soap*, const char*, const char*) = nullptr;
    int (*defaultCloseSocket)(struct soap*, SOAP_SOCKET) = nullptr;

    // Ending a call from another thread. The connection is shut down (never closed) under `socketLock`,
    // which every close of the runtime also takes, so a descriptor number is never reused under it.
    struct soap* soap = nullptr;
    std::mutex socketLock;
    std::atomic<bool> stopped{false};
    std::atomic<bool> expired{false}; // the running call passed its overall limit
    void ShutDownConnection();
    bool Ended() const { return stopped || expired; }

    // The overall limit of a call: a watchdog thread ends the call's connection at its deadline.
    std::chrono::milliseconds callTimeout{0};
    std::mutex watchLock;
    std::condition_variable watchWake;
    std::optional<std::chrono::steady_clock::time_point> deadline;
    bool watchQuit = false;
    std::thread watchdog;
    void Arm();
    void Disarm();
    void Watch();
    ~Impl();
};

namespace SoapTransport {

inline FileServiceSoap::Impl* implOf(struct soap* soap) {
    return static_cast<FileServiceSoap::Impl*>(soap->user);
}

int postHeader(struct soap* soap, const char* key, const char* value);
int captureSend(struct soap* soap, const char* data, size_t n);
int countingSend(struct soap* soap, const char* data, size_t n);
size_t countingRecv(struct soap* soap, char* data, size_t n);
int parseHeader(struct soap* soap, const char* key, const char* value);
SOAP_SOCKET openNowhere(struct soap* soap, const char* endpoint, const char* host, int port);
SOAP_SOCKET openBounded(struct soap* soap, const char* endpoint, const char* host, int port);
int closeWithoutWaiting(struct soap* soap);
int closeSocketLocked(struct soap* soap, SOAP_SOCKET sk);

} // namespace SoapTransport
