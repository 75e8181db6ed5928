#pragma once
// Watches the bytes of one HTTP response as they arrive: where its body ends (Content-Length or chunked
// framing), whether the server keeps the connection, whether its first line is a status line at all, and
// whether the XML of its body closes every element with the name it was opened with. The SOAP runtime
// keeps reading a kept-alive connection past the end of a body that is cut mid-document, and it does not
// compare end tags, so the proxy asks this instead.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Start and end tags of a streamed XML text, matched by name.
class XmlTagBalance {
public:
    void Reset();
    void Feed(const char* data, size_t n);
    bool Mismatched() const { return m_mismatched; }

private:
    enum class State { Text, Lt, Name, InTag, Quote, Slash, EndName, EndTail, Bang, Skip };
    void Push();
    void Pop();

    State m_state = State::Text;
    std::string m_name;
    std::vector<std::string> m_open;
    std::string m_bang;
    std::string m_terminator;
    std::string m_tail;
    char m_quote = 0;
    bool m_mismatched = false;
};

class ResponseFramer {
public:
    // A new response follows (a request was sent, or another input is read).
    void Reset();
    // Bytes just received.
    void Feed(const char* data, size_t n);
    // True once the head is read and the whole body, framed by a length or by chunks, arrived (or the
    // status carries no body): a further read would only wait. Also true once the head turned out not
    // to be an HTTP answer.
    bool Complete() const;
    // The head is read and the body's end can be known without the server closing.
    bool Bounded() const { return m_inBody && !m_malformed && !m_broken && (m_bounded || m_chunked || m_noBody); }
    // The first line is not "HTTP/x.y nnn ...".
    bool HeadMalformed() const { return m_malformed; }
    // The server lets the connection stay open after this answer (HTTP/1.1 without "Connection: close",
    // or HTTP/1.0 with "Connection: keep-alive").
    bool KeepAlive() const { return m_inBody && !m_malformed && m_keepAlive; }
    // An end tag of the body closed another element than the one open.
    bool BodyMismatched() const { return m_xml.Mismatched(); }

private:
    void ParseHead();
    void FeedChunked(const char* data, size_t n);
    void FeedBody(const char* data, size_t n);

    enum class Chunk { SizeLine, Data, DataEnd, Trailer, Done };

    std::string m_head;
    bool m_inBody = false;
    bool m_bounded = false;
    bool m_chunked = false;
    bool m_noBody = false;
    bool m_malformed = false;
    bool m_keepAlive = false;
    bool m_broken = false; // chunk framing that cannot be followed
    int64_t m_remaining = 0;
    Chunk m_chunk = Chunk::SizeLine;
    std::string m_line;
    XmlTagBalance m_xml;
};
