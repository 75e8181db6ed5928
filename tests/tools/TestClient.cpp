#include "tests/tools/TestClient.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

RawTlsClient::~RawTlsClient() {
    close();
}

bool RawTlsClient::connect(int port, const std::string& caFile) {
    m_ctx = SSL_CTX_new(TLS_client_method());
    SSL_CTX_load_verify_locations(m_ctx, caFile.c_str(), nullptr);
    SSL_CTX_set_verify(m_ctx, SSL_VERIFY_PEER, nullptr);
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{5, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return false;
    m_ssl = SSL_new(m_ctx);
    SSL_set_fd(m_ssl, m_fd);
    SSL_set1_host(m_ssl, "127.0.0.1");
    return SSL_connect(m_ssl) == 1;
}

bool RawTlsClient::send(const std::string& bytes) {
    return m_ssl && SSL_write(m_ssl, bytes.data(), int(bytes.size())) == int(bytes.size());
}

bool RawTlsClient::fill() {
    char buf[16384];
    const int n = m_ssl ? SSL_read(m_ssl, buf, sizeof buf) : -1;
    if (n <= 0)
        return false;
    m_buffer.append(buf, size_t(n));
    return true;
}

std::string RawTlsClient::readAnswer(std::string* body) {
    size_t end;
    while ((end = m_buffer.find("\r\n\r\n")) == std::string::npos)
        if (!fill())
            return {};
    std::string head = m_buffer.substr(0, end + 4);
    m_buffer.erase(0, end + 4);
    std::string lower = head;
    for (char& c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    std::string content;
    const size_t cl = lower.find("\r\ncontent-length: ");
    if (cl != std::string::npos) {
        const size_t len = std::strtoul(head.c_str() + cl + 18, nullptr, 10);
        while (m_buffer.size() < len)
            if (!fill())
                return {};
        content = m_buffer.substr(0, len);
        m_buffer.erase(0, len);
    } else if (lower.find("\r\ntransfer-encoding: chunked") != std::string::npos) {
        for (;;) {
            size_t eol;
            while ((eol = m_buffer.find("\r\n")) == std::string::npos)
                if (!fill())
                    return {};
            const size_t len = std::strtoul(m_buffer.c_str(), nullptr, 16);
            while (m_buffer.size() < eol + 2 + len + 2)
                if (!fill())
                    return {};
            content += m_buffer.substr(eol + 2, len);
            m_buffer.erase(0, eol + 2 + len + 2);
            if (len == 0)
                break;
        }
    }
    if (body)
        *body = content;
    return head;
}

void RawTlsClient::close() {
    if (m_ssl) {
        SSL_free(m_ssl);
        m_ssl = nullptr;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_ctx) {
        SSL_CTX_free(m_ctx);
        m_ctx = nullptr;
    }
}

namespace {

size_t collect(char* data, size_t size, size_t n, void* user) {
    static_cast<std::string*>(user)->append(data, size * n);
    return size * n;
}

} // namespace

CurlReply CurlRequest(const std::string& url, const std::string& caFile, const std::string& method,
                      const std::vector<std::string>& headers, const std::string& body, long timeoutMs) {
    CurlReply reply;
    CURL* curl = curl_easy_init();
    curl_slist* list = nullptr;
    for (const std::string& h : headers)
        list = curl_slist_append(list, h.c_str());
    list = curl_slist_append(list, "Expect:");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.headers);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    if (method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
    }
    reply.curlCode = int(curl_easy_perform(curl));
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    return reply;
}
