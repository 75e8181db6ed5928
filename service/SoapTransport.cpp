#include "service/SoapTransport.h"

#include "app/platform/BrokenPipe.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {
constexpr std::array<const char*, 6> kHeaderOrder{"Host",       "User-Agent", "Content-Type", "Transfer-Encoding",
                                                  "Connection", "SOAPAction"};

// The runtime sets aside room for an answer's announced length before reading it; no answer of the
// service comes near this, so a larger announcement ends the answer as unreadable instead.
constexpr unsigned long long kMaxAnswerLength = 64ull * 1024 * 1024;
} // namespace

void FileServiceSoap::Impl::ShutDownConnection() {
    const std::lock_guard lock(socketLock);
    if (soap && soap_valid_socket(soap->socket))
        ::shutdown(soap->socket, SHUT_RDWR); // wakes a blocked read, write, connect or handshake
}

void FileServiceSoap::Impl::Arm() {
    expired = false;
    if (callTimeout.count() <= 0)
        return;
    const std::lock_guard lock(watchLock);
    deadline = std::chrono::steady_clock::now() + callTimeout;
    if (!watchdog.joinable()) {
        try {
            watchdog = std::thread(&Impl::Watch, this);
        } catch (const std::system_error&) {
            deadline.reset(); // without the thread only the per-read limits hold
            return;
        }
    }
    watchWake.notify_all();
}

void FileServiceSoap::Impl::Disarm() {
    const std::lock_guard lock(watchLock);
    deadline.reset();
}

void FileServiceSoap::Impl::Watch() {
    std::unique_lock lock(watchLock);
    while (!watchQuit) {
        if (!deadline) {
            watchWake.wait(lock);
            continue;
        }
        if (watchWake.wait_until(lock, *deadline) == std::cv_status::timeout && deadline &&
            std::chrono::steady_clock::now() >= *deadline) {
            // Still under the lock: a call that has just ended cannot have its kept connection cut.
            deadline.reset();
            expired = true;
            ShutDownConnection();
        }
    }
}

FileServiceSoap::Impl::~Impl() {
    {
        const std::lock_guard lock(watchLock);
        watchQuit = true;
        deadline.reset();
    }
    watchWake.notify_all();
    if (watchdog.joinable())
        watchdog.join();
}

namespace SoapTransport {
// Writes the request headers with the names, values and order the service has always received.
int postHeader(struct soap* soap, const char* key, const char* value) {
    FileServiceSoap::Impl* d = implOf(soap);
    if (key && !value) { // the request line
        const std::string line = std::string(key) + "\r\n";
        return soap_send_raw(soap, line.data(), line.size());
    }
    if (key) {
        const std::string name(key);
        std::string v = value ? value : "";
        if (name == "Host")
            v = d->hostHeader.toStdString();
        else if (name == "User-Agent")
            v = "gSOAP/2.7";
        else if (name == "Content-Type")
            v = "text/xml;charset=utf-8";
        d->pendingHeaders[name] = v;
        return SOAP_OK;
    }
    for (const char* name : kHeaderOrder) {
        const auto it = d->pendingHeaders.find(name);
        if (it == d->pendingHeaders.end())
            continue;
        const std::string line = it->first + ": " + it->second + "\r\n";
        if (soap_send_raw(soap, line.data(), line.size()))
            return soap->error;
    }
    d->pendingHeaders.clear();
    return soap_send_raw(soap, "\r\n", 2);
}

int captureSend(struct soap* soap, const char* data, size_t n) {
    implOf(soap)->capture->append(data, n);
    return SOAP_OK;
}

// Counting wrappers around the runtime's own transport functions.
int countingSend(struct soap* soap, const char* data, size_t n) {
    FileServiceSoap::Impl* d = implOf(soap);
    if (d->Ended())
        return soap->error = SOAP_EOF;
    const BrokenPipeGuard guard;
    const int r = d->defaultSend(soap, data, n);
    if (r == SOAP_OK)
        d->sent += qint64(n);
    d->framer.Reset(); // what comes back next answers this request
    return r;
}

size_t countingRecv(struct soap* soap, char* data, size_t n) {
    FileServiceSoap::Impl* d = implOf(soap);
    if (d->framer.Complete() || d->Ended())
        return 0;                // the whole body is here (the connection would only stall), or the call was ended
    const BrokenPipeGuard guard; // a TLS read may write (an alert) too
    const size_t r = d->defaultRecv(soap, data, n);
    d->received += qint64(r);
    d->framer.Feed(data, r);
    return r;
}

int parseHeader(struct soap* soap, const char* key, const char* value) {
    if (key && value && soap_tag_cmp(key, "Content-Length") == 0 &&
        std::strtoull(value, nullptr, 10) > kMaxAnswerLength)
        return soap->error = SOAP_EOM;
    return implOf(soap)->defaultParseHeader(soap, key, value);
}

SOAP_SOCKET openNowhere(struct soap*, const char*, const char*, int) {
    return ::open("/dev/null", O_RDWR | O_CLOEXEC);
}

// Opens the connection through the runtime, then bounds every blocking read and write on it: the TLS
// reads of the runtime wait on a blocking socket and would otherwise ignore the receive time-out. The
// TLS handshake waits under the connect time-out, like the TCP connect before it.
SOAP_SOCKET openBounded(struct soap* soap, const char* endpoint, const char* host, int port) {
    const BrokenPipeGuard guard;
    FileServiceSoap::Impl* d = implOf(soap);
    if (d->Ended()) {
        soap->errnum = 0;
        soap_set_sender_error(soap, "Connection not opened", "the call was ended", SOAP_TCP_ERROR);
        return SOAP_INVALID_SOCKET;
    }
    const int recvTimeout = soap->recv_timeout;
    const int sendTimeout = soap->send_timeout;
    if (soap->connect_timeout > 0) {
        soap->recv_timeout = soap->connect_timeout;
        soap->send_timeout = soap->connect_timeout;
    }
    const SOAP_SOCKET sk = implOf(soap)->defaultOpen(soap, endpoint, host, port);
    soap->recv_timeout = recvTimeout;
    soap->send_timeout = sendTimeout;
    if (soap_valid_socket(sk)) {
        // Probes find a peer that vanished while the connection waits for the next call.
        const int on = 1;
        ::setsockopt(sk, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        const timeval rcv{soap->recv_timeout, 0};
        const timeval snd{soap->send_timeout, 0};
        ::setsockopt(sk, SOL_SOCKET, SO_RCVTIMEO, &rcv, sizeof rcv);
        ::setsockopt(sk, SOL_SOCKET, SO_SNDTIMEO, &snd, sizeof snd);
        // Ended while the connection was being made, before the runtime published its descriptor.
        if (d->Ended())
            ::shutdown(sk, SHUT_RDWR);
    }
    return sk;
}

// Closes the connection without waiting for the server's close notice: a server that went silent would
// otherwise hold the call for several more seconds. Ours is still sent.
int closeWithoutWaiting(struct soap* soap) {
    const BrokenPipeGuard guard;
    if (soap->ssl)
        SSL_set_shutdown(soap->ssl, SSL_get_shutdown(soap->ssl) | SSL_RECEIVED_SHUTDOWN);
    return implOf(soap)->defaultClose(soap);
}

// Every close of a descriptor goes through here, under the lock an ending call shuts down under.
int closeSocketLocked(struct soap* soap, SOAP_SOCKET sk) {
    FileServiceSoap::Impl* d = implOf(soap);
    const std::lock_guard lock(d->socketLock);
    const int r = d->defaultCloseSocket(soap, sk);
    if (soap->socket == sk)
        soap->socket = SOAP_INVALID_SOCKET;
    return r;
}

} // namespace SoapTransport
