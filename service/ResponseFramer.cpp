#include "service/ResponseFramer.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {
// A head larger than this is not an answer of the service; stop watching it.
constexpr size_t kMaxHead = 64 * 1024;
// Bounds of what the tag check keeps; deeper or longer than this is beyond any answer of the service.
constexpr size_t kMaxName = 512;
constexpr size_t kMaxDepth = 1024;
constexpr size_t kMaxLine = 1024;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// "http/1.1 200 ok": version, blank, three digits, then a blank or the end.
bool IsStatusLine(const std::string& lowerLine, int* major, int* minor) {
    if (lowerLine.size() < 12 || lowerLine.compare(0, 5, "http/") != 0)
        return false;
    const char* s = lowerLine.c_str();
    if (!std::isdigit((unsigned char)s[5]) || s[6] != '.' || !std::isdigit((unsigned char)s[7]) || s[8] != ' ')
        return false;
    for (int i = 9; i < 12; ++i)
        if (!std::isdigit((unsigned char)s[i]))
            return false;
    if (lowerLine.size() > 12 && s[12] != ' ' && s[12] != '\r')
        return false;
    *major = s[5] - '0';
    *minor = s[7] - '0';
    return true;
}
} // namespace

void XmlTagBalance::Reset() {
    *this = XmlTagBalance();
}

void XmlTagBalance::Push() {
    if (m_open.size() < kMaxDepth)
        m_open.push_back(m_name);
}

void XmlTagBalance::Pop() {
    if (m_open.empty() || m_open.back() != m_name)
        m_mismatched = true;
    else
        m_open.pop_back();
}

void XmlTagBalance::Feed(const char* data, size_t n) {
    for (size_t i = 0; i < n && !m_mismatched; ++i) {
        const char c = data[i];
        switch (m_state) {
        case State::Text:
            if (c == '<')
                m_state = State::Lt;
            break;
        case State::Lt:
            m_name.clear();
            if (c == '/') {
                m_state = State::EndName;
            } else if (c == '?') {
                m_terminator = "?>";
                m_tail.clear();
                m_state = State::Skip;
            } else if (c == '!') {
                m_bang.clear();
                m_state = State::Bang;
            } else {
                m_name += c;
                m_state = State::Name;
            }
            break;
        case State::Name:
            if (IsSpace(c)) {
                m_state = State::InTag;
            } else if (c == '/') {
                m_state = State::Slash;
            } else if (c == '>') {
                Push();
                m_state = State::Text;
            } else if (m_name.size() < kMaxName) {
                m_name += c;
            }
            break;
        case State::InTag:
            if (c == '"' || c == '\'') {
                m_quote = c;
                m_state = State::Quote;
            } else if (c == '/') {
                m_state = State::Slash;
            } else if (c == '>') {
                Push();
                m_state = State::Text;
            }
            break;
        case State::Quote:
            if (c == m_quote)
                m_state = State::InTag;
            break;
        case State::Slash:
            // "<a/>" opens and closes at once.
            m_state = c == '>' ? State::Text : State::InTag;
            break;
        case State::EndName:
            if (c == '>') {
                Pop();
                m_state = State::Text;
            } else if (IsSpace(c)) {
                m_state = State::EndTail;
            } else if (m_name.size() < kMaxName) {
                m_name += c;
            }
            break;
        case State::EndTail:
            if (c == '>') {
                Pop();
                m_state = State::Text;
            }
            break;
        case State::Bang: {
            m_bang += c;
            static const std::string comment = "--";
            static const std::string cdata = "[CDATA[";
            if (m_bang == comment) {
                m_terminator = "-->";
            } else if (m_bang == cdata) {
                m_terminator = "]]>";
            } else if (comment.compare(0, m_bang.size(), m_bang) == 0 ||
                       (m_bang.size() <= cdata.size() && cdata.compare(0, m_bang.size(), m_bang) == 0)) {
                break; // still undecided
            } else if (c == '>') {
                m_state = State::Text;
                break;
            } else {
                m_terminator = ">";
            }
            m_tail.clear();
            m_state = State::Skip;
            break;
        }
        case State::Skip:
            m_tail += c;
            if (m_tail.size() > m_terminator.size())
                m_tail.erase(0, m_tail.size() - m_terminator.size());
            if (m_tail == m_terminator)
                m_state = State::Text;
            break;
        }
    }
}

void ResponseFramer::Reset() {
    *this = ResponseFramer();
}

void ResponseFramer::Feed(const char* data, size_t n) {
    if (m_inBody) {
        if (m_chunked)
            FeedChunked(data, n);
        else
            FeedBody(data, n);
        return;
    }
    if (m_head.size() > kMaxHead)
        return;
    m_head.append(data, n);
    const size_t end = m_head.find("\r\n\r\n");
    if (end == std::string::npos) {
        // The first line alone tells whether this is an answer at all.
        const size_t eol = m_head.find("\r\n");
        int major = 0;
        int minor = 0;
        if (eol != std::string::npos && !IsStatusLine(Lower(m_head.substr(0, eol)), &major, &minor)) {
            m_malformed = true;
            m_inBody = true;
        }
        return;
    }
    const std::string rest = m_head.substr(end + 4);
    m_head.resize(end + 2);
    ParseHead();
    if (!m_inBody) {
        // An interim 1xx answer: the real head follows.
        m_head.clear();
        Feed(rest.data(), rest.size());
        return;
    }
    if (!m_malformed)
        Feed(rest.data(), rest.size());
}

void ResponseFramer::FeedBody(const char* data, size_t n) {
    if (m_bounded) {
        const size_t take = m_remaining > 0 ? size_t(std::min<int64_t>(m_remaining, int64_t(n))) : 0;
        m_xml.Feed(data, take);
        m_remaining -= int64_t(n);
        return;
    }
    if (!m_noBody)
        m_xml.Feed(data, n);
}

void ResponseFramer::FeedChunked(const char* data, size_t n) {
    size_t i = 0;
    while (i < n && m_chunk != Chunk::Done && !m_broken) {
        switch (m_chunk) {
        case Chunk::SizeLine:
        case Chunk::Trailer: {
            const char c = data[i++];
            if (c != '\n') {
                if (m_line.size() >= kMaxLine)
                    m_broken = true;
                m_line += c;
                break;
            }
            const std::string line = Trimmed(m_line.substr(0, m_line.find(';')));
            const bool empty = m_line.empty() || m_line == "\r";
            m_line.clear();
            if (m_chunk == Chunk::Trailer) {
                if (empty)
                    m_chunk = Chunk::Done;
                break;
            }
            if (line.empty() || line.size() > 15 ||
                !std::all_of(line.begin(), line.end(), [](unsigned char ch) { return std::isxdigit(ch); })) {
                m_broken = true;
                break;
            }
            m_remaining = std::strtoll(line.c_str(), nullptr, 16);
            m_chunk = m_remaining == 0 ? Chunk::Trailer : Chunk::Data;
            break;
        }
        case Chunk::Data: {
            const size_t take = size_t(std::min<int64_t>(m_remaining, int64_t(n - i)));
            m_xml.Feed(data + i, take);
            i += take;
            m_remaining -= int64_t(take);
            if (m_remaining == 0)
                m_chunk = Chunk::DataEnd;
            break;
        }
        case Chunk::DataEnd:
            if (data[i++] == '\n')
                m_chunk = Chunk::SizeLine;
            break;
        case Chunk::Done:
            break;
        }
    }
}

void ResponseFramer::ParseHead() {
    const std::string head = Lower(m_head);
    const size_t eol = head.find("\r\n");
    int major = 0;
    int minor = 0;
    if (!IsStatusLine(head.substr(0, eol), &major, &minor)) {
        m_malformed = true;
        m_inBody = true;
        return;
    }
    const int status = std::atoi(head.c_str() + 9);
    if (status < 200)
        return; // "http/1.1 100 continue"
    m_inBody = true;
    m_noBody = status == 204 || status == 304;
    int64_t length = -1;
    bool closeAsked = false;
    bool keepAsked = false;
    size_t at = eol;
    while (at != std::string::npos && at + 2 < head.size()) {
        const size_t next = head.find("\r\n", at + 2);
        const std::string line = head.substr(at + 2, next - at - 2);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            const std::string name = Trimmed(line.substr(0, colon));
            const std::string value = Trimmed(line.substr(colon + 1));
            if (name == "transfer-encoding" && value.find("chunked") != std::string::npos)
                m_chunked = true;
            else if (name == "content-length" && !value.empty() && value.size() < 19 &&
                     std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); }))
                length = std::strtoll(value.c_str(), nullptr, 10);
            else if (name == "connection" && value.find("close") != std::string::npos)
                closeAsked = true;
            else if (name == "connection" && value.find("keep-alive") != std::string::npos)
                keepAsked = true;
        }
        at = next;
    }
    m_keepAlive = !closeAsked && (major > 1 || (major == 1 && minor >= 1) || keepAsked);
    // Chunked framing wins over a length.
    m_bounded = !m_chunked && length >= 0;
    m_remaining = m_bounded ? length : 0;
    if (m_chunked)
        m_remaining = 0;
}

bool ResponseFramer::Complete() const {
    if (!m_inBody)
        return false;
    if (m_malformed || m_noBody)
        return true;
    if (m_chunked)
        return m_chunk == Chunk::Done;
    return m_bounded && m_remaining <= 0;
}
