#pragma once
// Internals of LocalService shared by its source files.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

#include "tools/cloffa-service/FileStore.h"
#include "tools/cloffa-service/HttpConnection.h"
#include "tools/cloffa-service/LocalService.h"
#include "tools/cloffa-service/TlsIdentity.h"

namespace cloffa {

struct LocalService::Impl {
    explicit Impl(ServiceOptions o)
        : options(std::move(o)), quotaTotal(options.quotaTotal), refuseVersion(options.refuseVersion) {}

    // One answer head; `extra` lines go between the standard lines and the framing line.
    static std::string responseHead(int status, const std::string& contentType, int64_t contentLength, bool close,
                                    const std::vector<std::string>& extra = {});
    bool writeSimple(HttpConnection& c, int status, const std::string& contentType, const std::string& body,
                     bool close);

    void acceptLoop();
    void serve(int fd, int id, Certificate cert);
    // Requests of one connection until it ends.
    void serveRequests(HttpConnection& c);
    // false: the connection must end after this request.
    bool handleSoap(HttpConnection& c, CapturedRequest& req, const Fault& fault, bool keepAlive);
    bool handleUpload(HttpConnection& c, CapturedRequest& req, const Fault& fault, bool keepAlive);
    bool handleDownload(HttpConnection& c, CapturedRequest& req, const Fault& fault, bool keepAlive);
    // The answers once the request has been read and recorded.
    bool answerSoap(HttpConnection& c, const CapturedRequest& req, const Fault& fault, bool keepAlive);
    bool answerDownload(HttpConnection& c, const CapturedRequest& req, const Fault& fault, bool keepAlive);
    bool readWholeBody(HttpConnection& c, CapturedRequest& req, size_t limit);
    bool sessionHeadersValid(const CapturedRequest& req) const;

    Fault takeFault(Endpoint endpoint);
    void record(const CapturedRequest& req);
    // Sleeps unless the service stops first; false when it stops.
    bool pause(int ms);
    int32_t quotaFree() const;

    ServiceOptions options;
    TlsIdentity tls;
    FileStore store;

    mutable std::mutex mutex; // everything below
    std::condition_variable stopCv;
    bool stopping = false;
    bool running = false;
    int32_t quotaTotal;
    bool refuseVersion;
    Certificate certificate = Certificate::Good;
    bool closeOnAccept = false;
    struct PendingFault {
        Endpoint endpoint;
        Fault fault;
        int count;
    };
    std::vector<PendingFault> faults;
    std::vector<CapturedRequest> requests;
    struct Connection {
        std::thread thread;
        int fd = -1;
        std::atomic<bool> done{false};
    };
    std::list<Connection> connections;
    int connectionsAccepted = 0;
    std::mutex uploadMutex; // one store change at a time (quota check + commit)

    int listenFd = -1;
    int port = 0;
    std::thread acceptThread;
};

} // namespace cloffa
