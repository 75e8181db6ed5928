#include "service/ResponseFramer.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {
// A head larger than this is not an answer of the service; stop watching it.
constexpr size_t kMaxHead = 64 * 1024;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string Trimmed(const std::string &text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}
}  // namespace

void ResponseFramer::Reset() {
    m_head.clear();
    m_inBody = false;
    m_bounded = false;
    m_remaining = 0;
}

void ResponseFramer::Feed(const char *data, size_t n) {
    if (m_inBody) {
        m_remaining -= int64_t(n);
        return;
    }
    if (m_head.size() > kMaxHead)
        return;
    m_head.append(data, n);
    const size_t end = m_head.find("\r\n\r\n");
    if (end == std::string::npos)
        return;
    const int64_t bodyBytes = int64_t(m_head.size() - (end + 4));
    const std::string rest = m_head.substr(end + 4);
    m_head.resize(end + 2);
    ParseHead();
    if (!m_inBody) {
        // An interim 1xx answer: the real head follows.
        m_head.clear();
        Feed(rest.data(), rest.size());
        return;
    }
    m_remaining -= bodyBytes;
}

void ResponseFramer::ParseHead() {
    const std::string head = Lower(m_head);
    // "http/1.1 100 continue": status digits after the first space.
    const size_t space = head.find(' ');
    if (space != std::string::npos && head.compare(space + 1, 1, "1") == 0)
        return;
    m_inBody = true;
    bool chunked = false;
    int64_t length = -1;
    size_t at = head.find("\r\n");
    while (at != std::string::npos && at + 2 < head.size()) {
        const size_t next = head.find("\r\n", at + 2);
        const std::string line = head.substr(at + 2, next - at - 2);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            const std::string name = Trimmed(line.substr(0, colon));
            const std::string value = Trimmed(line.substr(colon + 1));
            if (name == "transfer-encoding" && value.find("chunked") != std::string::npos)
                chunked = true;
            else if (name == "content-length" && !value.empty() &&
                     std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); }))
                length = std::strtoll(value.c_str(), nullptr, 10);
        }
        at = next;
    }
    // Chunked bodies end with their own last chunk, which the runtime reads itself.
    m_bounded = !chunked && length >= 0;
    m_remaining = m_bounded ? length : 0;
}

bool ResponseFramer::Complete() const {
    return m_inBody && m_bounded && m_remaining <= 0;
}
