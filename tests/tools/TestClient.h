#pragma once
// Clients for the local service's tests: raw bytes over TLS, and libcurl for whole exchanges.
#include <string>
#include <utility>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

class RawTlsClient {
public:
    ~RawTlsClient();
    bool connect(int port, const std::string& caFile);
    bool send(const std::string& bytes);
    // Reads one answer: head, then a Content-Length or chunked body. Empty when the connection ended.
    std::string readAnswer(std::string* body = nullptr);
    void close();

private:
    bool fill();
    SSL_CTX* m_ctx = nullptr;
    SSL* m_ssl = nullptr;
    int m_fd = -1;
    std::string m_buffer;
};

struct CurlReply {
    int curlCode = 0;
    long status = 0;
    std::string body;
    std::string headers;
};

CurlReply CurlRequest(const std::string& url, const std::string& caFile, const std::string& method,
                      const std::vector<std::string>& headers, const std::string& body = {},
                      long timeoutMs = 5000);
