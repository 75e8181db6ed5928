#pragma once
// One HTTP/1.1 connection over TLS: reads request heads byte-exactly, de-chunks bodies as they stream
// in, and writes answers.
#include <cstdint>
#include <string>

#include "tools/cloffa-service/LocalService.h"

typedef struct ssl_st SSL;

namespace cloffa {

class HttpConnection {
public:
    HttpConnection(SSL* ssl, int fd, int id);
    // Without TLS or socket: reads come from `input`, at most `pieceSize` bytes at a time as if they
    // arrived so, and everything written is appended to `output`.
    HttpConnection(std::string input, std::string* output, size_t pieceSize);
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    bool handshake();
    int id() const { return m_id; }

    enum class HeadResult { Ok, Closed, Malformed, TooLarge };
    // Reads the request line and headers into `req` (body left empty).
    HeadResult readHead(CapturedRequest& req, std::string& version);

    // Body framing of the request just read; false for a framing the server cannot accept.
    bool beginBody(const CapturedRequest& req);
    int64_t declaredLength() const { return m_chunked ? -1 : m_remaining; }
    // Next piece of the body: > 0 bytes, 0 at its end, -1 on a broken connection or framing.
    long readBody(char* out, size_t n);
    // Reads and drops what is left of the body; false when the connection broke.
    bool drainBody();

    bool writeAll(const std::string& data) { return writeAll(data.data(), data.size()); }
    bool writeAll(const char* data, size_t n);
    void close();
    // Ends the connection with a reset instead of a close: no TLS close notice, no orderly FIN.
    void abort();

private:
    long fill(); // reads more into m_buffer
    bool readLine(std::string& line);

    SSL* m_ssl;
    int m_fd;
    int m_id;
    std::string m_buffer;
    size_t m_pos = 0;
    bool m_chunked = false;
    int64_t m_remaining = 0; // of the current chunk or the whole body
    bool m_bodyDone = true;
    bool m_closed = false;
    // The in-memory transport.
    std::string m_input;
    size_t m_inputPos = 0;
    std::string* m_output = nullptr;
    size_t m_pieceSize = 0;
};

std::string HeaderValue(const CapturedRequest& req, const std::string& name);

} // namespace cloffa
