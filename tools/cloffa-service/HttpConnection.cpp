#include "tools/cloffa-service/HttpConnection.h"

#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace cloffa {
namespace {

constexpr size_t kMaxHead = 64 * 1024;

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
        --e;
    return s.substr(b, e - b);
}

bool parseDecimal(const std::string& s, int64_t& out) {
    if (s.empty() || s.size() > 18)
        return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

} // namespace

std::string HeaderValue(const CapturedRequest& req, const std::string& name) {
    for (const auto& [k, v] : req.headers)
        if (strcasecmp(k.c_str(), name.c_str()) == 0)
            return v;
    return {};
}

HttpConnection::HttpConnection(SSL* ssl, int fd, int id) : m_ssl(ssl), m_fd(fd), m_id(id) {}

HttpConnection::HttpConnection(std::string input, std::string* output, size_t pieceSize)
    : m_ssl(nullptr), m_fd(-1), m_id(0), m_input(std::move(input)), m_output(output),
      m_pieceSize(std::max<size_t>(1, pieceSize)) {}

HttpConnection::~HttpConnection() {
    close();
    if (m_ssl)
        SSL_free(m_ssl);
    if (m_fd >= 0)
        ::close(m_fd);
}

bool HttpConnection::handshake() {
    return !m_ssl || SSL_accept(m_ssl) == 1;
}

void HttpConnection::close() {
    if (m_closed)
        return;
    m_closed = true;
    if (!m_ssl)
        return;
    SSL_shutdown(m_ssl);
    ::shutdown(m_fd, SHUT_RDWR);
}

void HttpConnection::abort() {
    if (m_closed)
        return;
    m_closed = true;
    const linger hard{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::shutdown(m_fd, SHUT_RD);
}

long HttpConnection::fill() {
    if (m_closed)
        return -1;
    if (m_pos > 0 && m_pos == m_buffer.size()) {
        m_buffer.clear();
        m_pos = 0;
    }
    char buf[16384];
    if (!m_ssl) {
        const size_t n = std::min({sizeof buf, m_pieceSize, m_input.size() - m_inputPos});
        m_buffer.append(m_input, m_inputPos, n);
        m_inputPos += n;
        return long(n);
    }
    const int n = SSL_read(m_ssl, buf, sizeof buf);
    if (n <= 0)
        return n == 0 || SSL_get_error(m_ssl, n) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
    m_buffer.append(buf, size_t(n));
    return n;
}

bool HttpConnection::readLine(std::string& line) {
    for (;;) {
        const size_t eol = m_buffer.find("\r\n", m_pos);
        if (eol != std::string::npos) {
            line = m_buffer.substr(m_pos, eol - m_pos);
            m_pos = eol + 2;
            return true;
        }
        if (m_buffer.size() - m_pos > 4096 || fill() <= 0)
            return false;
    }
}

HttpConnection::HeadResult HttpConnection::readHead(CapturedRequest& req, std::string& version) {
    size_t end;
    for (;;) {
        // Empty lines before a request line are tolerated, as HTTP/1.1 allows.
        while (m_buffer.compare(m_pos, 2, "\r\n") == 0)
            m_pos += 2;
        end = m_buffer.find("\r\n\r\n", m_pos);
        if (end != std::string::npos)
            break;
        if (m_buffer.size() - m_pos > kMaxHead)
            return HeadResult::TooLarge;
        const long n = fill();
        if (n <= 0)
            return m_buffer.size() == m_pos ? HeadResult::Closed : HeadResult::Malformed;
    }
    const std::string head = m_buffer.substr(m_pos, end + 2 - m_pos);
    m_pos = end + 4;
    const size_t firstEol = head.find("\r\n");
    const std::string requestLine = head.substr(0, firstEol);
    req.headerBlock = head.substr(firstEol + 2);
    const size_t sp1 = requestLine.find(' ');
    const size_t sp2 = requestLine.rfind(' ');
    if (sp1 == std::string::npos || sp2 == sp1)
        return HeadResult::Malformed;
    req.method = requestLine.substr(0, sp1);
    req.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    version = requestLine.substr(sp2 + 1);
    if (version.rfind("HTTP/1.", 0) != 0 || req.target.empty())
        return HeadResult::Malformed;
    size_t pos = 0;
    while (pos < req.headerBlock.size()) {
        const size_t eol = req.headerBlock.find("\r\n", pos);
        const std::string line = req.headerBlock.substr(pos, eol - pos);
        pos = eol + 2;
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            return HeadResult::Malformed;
        req.headers.emplace_back(line.substr(0, colon), trim(line.substr(colon + 1)));
    }
    return HeadResult::Ok;
}

bool HttpConnection::beginBody(const CapturedRequest& req) {
    const std::string te = HeaderValue(req, "Transfer-Encoding");
    const std::string cl = HeaderValue(req, "Content-Length");
    m_chunked = false;
    m_remaining = 0;
    m_bodyDone = true;
    if (!te.empty()) {
        if (strcasecmp(te.c_str(), "chunked") != 0 || !cl.empty())
            return false;
        m_chunked = true;
        m_bodyDone = false;
        return true;
    }
    if (!cl.empty()) {
        if (!parseDecimal(cl, m_remaining))
            return false;
        m_bodyDone = m_remaining == 0;
    }
    return true;
}

long HttpConnection::readBody(char* out, size_t n) {
    if (m_bodyDone)
        return 0;
    if (m_chunked && m_remaining == 0) {
        std::string line;
        if (!readLine(line))
            return -1;
        const std::string sizeText = trim(line.substr(0, line.find(';')));
        if (sizeText.empty() || sizeText.size() > 15 ||
            sizeText.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return -1;
        m_remaining = std::stoll(sizeText, nullptr, 16);
        if (m_remaining == 0) {
            // Trailers, up to the empty line.
            do {
                if (!readLine(line))
                    return -1;
            } while (!line.empty());
            m_bodyDone = true;
            return 0;
        }
    }
    if (m_pos == m_buffer.size()) {
        const long got = fill();
        if (got <= 0)
            return -1;
    }
    const size_t take = size_t(std::min<int64_t>({int64_t(n), m_remaining, int64_t(m_buffer.size() - m_pos)}));
    std::memcpy(out, m_buffer.data() + m_pos, take);
    m_pos += take;
    m_remaining -= int64_t(take);
    if (m_remaining == 0) {
        if (m_chunked) {
            std::string crlf;
            if (!readLine(crlf) || !crlf.empty())
                return -1;
        } else {
            m_bodyDone = true;
        }
    }
    return long(take);
}

bool HttpConnection::drainBody() {
    char buf[16384];
    for (;;) {
        const long n = readBody(buf, sizeof buf);
        if (n == 0)
            return true;
        if (n < 0)
            return false;
    }
}

bool HttpConnection::writeAll(const char* data, size_t n) {
    if (!m_ssl) {
        if (m_closed || !m_output)
            return n == 0;
        m_output->append(data, n);
        return true;
    }
    while (n > 0 && !m_closed) {
        const int w = SSL_write(m_ssl, data, int(std::min<size_t>(n, 1 << 20)));
        if (w <= 0)
            return false;
        data += w;
        n -= size_t(w);
    }
    return n == 0;
}

} // namespace cloffa
