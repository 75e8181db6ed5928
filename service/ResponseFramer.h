#pragma once
// Watches the bytes of one HTTP response as they arrive and says when its body, framed by
// Content-Length, is complete. The SOAP runtime keeps reading a kept-alive connection past the end of a
// body that is cut mid-document, so without this a short answer costs the whole receive time-out.
#include <cstddef>
#include <cstdint>
#include <string>

class ResponseFramer {
public:
    // A new response follows (a request was sent, or another input is read).
    void Reset();
    // Bytes just received.
    void Feed(const char *data, size_t n);
    // True once the head is read, the body has a length and all of it arrived: a further read would
    // only wait.
    bool Complete() const;

private:
    void ParseHead();

    std::string m_head;
    bool m_inBody = false;
    bool m_bounded = false;
    int64_t m_remaining = 0;
};
