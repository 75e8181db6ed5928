// The upload and download pages of LocalService.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "tools/cloffa-service/LocalServiceImpl.h"

namespace cloffa {
namespace {

// The decimal value of `key` in a query "a=1&b=2"; false when absent or not a 32-bit number.
bool queryInt(const std::string& target, const std::string& key, int32_t& out) {
    const size_t q = target.find('?');
    if (q == std::string::npos)
        return false;
    const std::string query = target.substr(q + 1);
    size_t pos = 0;
    while (pos <= query.size()) {
        size_t amp = query.find('&', pos);
        if (amp == std::string::npos)
            amp = query.size();
        const std::string pair = query.substr(pos, amp - pos);
        const size_t eq = pair.find('=');
        if (eq != std::string::npos && strcasecmp(pair.substr(0, eq).c_str(), key.c_str()) == 0) {
            const std::string v = pair.substr(eq + 1);
            char* end = nullptr;
            errno = 0;
            const long long n = std::strtoll(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || errno != 0 || n < INT32_MIN || n > INT32_MAX)
                return false;
            out = int32_t(n);
            return true;
        }
        pos = amp + 1;
    }
    return false;
}

std::string boundaryOf(const std::string& contentType) {
    std::string lower = contentType;
    for (char& ch : lower)
        ch = char(std::tolower(static_cast<unsigned char>(ch)));
    if (lower.rfind("multipart/form-data", 0) != 0)
        return {};
    const size_t at = lower.find("boundary=");
    if (at == std::string::npos)
        return {};
    std::string b = contentType.substr(at + 9);
    b = b.substr(0, b.find(';'));
    if (b.size() >= 2 && b.front() == '"' && b.back() == '"')
        b = b.substr(1, b.size() - 2);
    return b;
}

// The part of a local path after its last "/" or "\".
std::string baseName(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool acceptableName(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (unsigned char ch : name)
        if (ch < 0x20 || ch == 0x7f)
            return false;
    return true;
}

// A guard for the temporary file of an upload: removed unless it was moved into the store.
struct TempFile {
    std::filesystem::path path;
    FILE* file = nullptr;
    // Gone before a refusal is answered, so a client that looks right after the answer finds nothing.
    void discard() {
        if (file)
            std::fclose(file);
        file = nullptr;
        std::error_code ec;
        if (!path.empty())
            std::filesystem::remove(path, ec);
        path.clear();
    }
    ~TempFile() { discard(); }
};

} // namespace

bool LocalService::Impl::handleUpload(HttpConnection& c, CapturedRequest& req, const Fault& fault,
                                      bool keepAlive) {
    const bool close = !keepAlive || fault.kind == Fault::Kind::ConnectionClose;
    // Refusals still read the body, so the client sees the status rather than a broken pipe.
    auto refuse = [&](int status) {
        const bool drained = c.drainBody();
        record(req);
        return writeSimple(c, status, "text/html", "", close || !drained) && drained;
    };
    int32_t mode = -1;
    if (!queryInt(req.target, "mode", mode) || (mode != 0 && mode != 1))
        return refuse(400);
    if (!sessionHeadersValid(req))
        return refuse(401);
    const std::string boundary = boundaryOf(HeaderValue(req, "Content-Type"));
    if (boundary.empty())
        return refuse(400);

    const std::string opening = "--" + boundary + "\r\n";
    const std::string delimiter = "\r\n--" + boundary;
    TempFile temp;
    temp.path = store.newTempPath();
    temp.file = std::fopen(temp.path.c_str(), "wb");
    if (!temp.file)
        return refuse(500);

    enum class Stage { Headers, Content, Epilogue } stage = Stage::Headers;
    std::string pending;
    std::string fileName;
    int64_t written = 0;
    int64_t room = 0; // a body over the quota is still read to its end, but no longer written to disk
    bool malformed = false, writeFailed = false, stalled = false;
    char buf[65536];
    for (;;) {
        const long n = c.readBody(buf, sizeof buf);
        if (n < 0) {
            record(req);
            return false; // broken mid-body: the temporary file goes away with `temp`
        }
        if (n == 0)
            break;
        if (req.body.size() < kCapturedBodyLimit)
            req.body.append(buf, size_t(std::min<int64_t>(n, int64_t(kCapturedBodyLimit - req.body.size()))));
        else
            req.bodyTruncated = true;
        req.bodyLength += n;
        if (fault.kind == Fault::Kind::CloseAfterBytes && req.bodyLength >= fault.bytes) {
            record(req);
            if (fault.stallMs > 0)
                pause(fault.stallMs); // not reading: the client's writes back up first
            c.abort();
            return false;
        }
        if (fault.kind == Fault::Kind::StallMidBody && !stalled && req.bodyLength >= fault.bytes) {
            stalled = true;
            if (!pause(fault.stallMs)) {
                record(req);
                return false;
            }
        }
        if (malformed || stage == Stage::Epilogue) {
            if (stage == Stage::Epilogue)
                pending.append(buf, size_t(n));
            continue;
        }
        pending.append(buf, size_t(n));
        if (stage == Stage::Headers) {
            const size_t end = pending.find("\r\n\r\n");
            if (end == std::string::npos) {
                malformed = pending.size() > 16384;
                continue;
            }
            const std::string headers = pending.substr(0, end + 2);
            pending.erase(0, end + 4);
            if (headers.compare(0, opening.size(), opening) != 0) {
                malformed = true;
                continue;
            }
            const size_t fn = headers.find("filename=\"");
            const size_t fnEnd = fn == std::string::npos ? fn : headers.find('"', fn + 10);
            if (fnEnd == std::string::npos) {
                malformed = true;
                continue;
            }
            fileName = baseName(headers.substr(fn + 10, fnEnd - fn - 10));
            const std::optional<StoredFile> replaced = mode == 1 ? store.findByName(fileName) : std::nullopt;
            room = int64_t(quotaFree()) + (replaced ? replaced->listedSize : 0);
            stage = Stage::Content;
        }
        // Content: everything up to the delimiter; hold back a tail that may be its start.
        const size_t at = pending.find(delimiter);
        const size_t flushable = at != std::string::npos             ? at
                                 : pending.size() > delimiter.size() ? pending.size() - delimiter.size()
                                                                     : 0;
        if (flushable > 0) {
            if (written + int64_t(flushable) <= room &&
                std::fwrite(pending.data(), 1, flushable, temp.file) != flushable)
                writeFailed = true;
            written += int64_t(flushable);
            pending.erase(0, flushable);
        }
        if (at != std::string::npos) {
            pending.erase(0, delimiter.size());
            stage = Stage::Epilogue;
        }
    }
    record(req);
    if (stage == Stage::Content && !malformed) {
        // The body ended right after a delimiter without its closing dashes.
        const size_t at = pending.find(delimiter);
        if (at != std::string::npos) {
            pending.erase(0, at + delimiter.size());
            stage = Stage::Epilogue;
        }
    }
    // Refusals once the body was read: nothing of the upload is left by the time they are answered.
    const auto refuseRead = [&](int status) {
        temp.discard();
        return writeSimple(c, status, "text/html", "", close);
    };
    const bool wellFormed = !malformed && stage == Stage::Epilogue && (pending == "--" || pending == "--\r\n");
    if (fault.kind == Fault::Kind::StatusAfterBody)
        return refuseRead(fault.status ? fault.status : 500);
    if (!wellFormed || !acceptableName(fileName))
        return refuseRead(400);
    if (std::fflush(temp.file) != 0 || writeFailed)
        return refuseRead(500);
    std::fclose(temp.file);
    temp.file = nullptr;

    std::lock_guard changeLock(uploadMutex);
    const std::optional<StoredFile> existing = mode == 1 ? store.findByName(fileName) : std::nullopt;
    const int64_t available = int64_t(quotaFree()) + (existing ? existing->listedSize : 0);
    if (written > available || written > room || written > INT32_MAX)
        return refuseRead(405);
    if (store.commit(temp.path, fileName, written, existing ? existing->idx : -1) < 0)
        return refuseRead(500);
    temp.path.clear();
    if (fault.kind == Fault::Kind::CutAnswerBody) {
        // Stored; the answer's status arrives, its body never does in full.
        c.writeAll(responseHead(200, "text/html; charset=utf-8", 100, false) + std::string(10, 'k'));
        if (fault.stallMs > 0)
            pause(fault.stallMs);
        return false;
    }
    return writeSimple(c, 200, "text/html; charset=utf-8", "", close);
}

bool LocalService::Impl::handleDownload(HttpConnection& c, CapturedRequest& req, const Fault& fault,
                                        bool keepAlive) {
    const bool complete = readWholeBody(c, req, 1 << 20);
    record(req);
    if (!complete)
        return false;
    return answerDownload(c, req, fault, keepAlive);
}

bool LocalService::Impl::answerDownload(HttpConnection& c, const CapturedRequest& req, const Fault& fault,
                                        bool keepAlive) {
    if (fault.kind == Fault::Kind::Raw) {
        c.writeAll(fault.body);
        return false;
    }
    const bool close = !keepAlive || fault.kind == Fault::Kind::ConnectionClose;
    int32_t idx = 0;
    if (!queryInt(req.target, "Idx", idx))
        return writeSimple(c, 400, "text/html", "", close);
    if (!sessionHeadersValid(req))
        return writeSimple(c, 401, "text/html", "", close);
    const std::optional<StoredFile> f = store.file(idx);
    if (!f)
        return writeSimple(c, 404, "text/html", "", close);

    const bool generated = store.isGenerated(idx);
    FILE* in = nullptr;
    if (!generated) {
        in = std::fopen(store.contentPath(idx).c_str(), "rb");
        if (!in)
            return writeSimple(c, 404, "text/html", "", close);
    }
    const int64_t size = f->size;
    int64_t toSend = size;
    bool endAfter = false;
    if (fault.kind == Fault::Kind::CloseAfterBytes) {
        toSend = std::min(size, std::max<int64_t>(0, fault.bytes));
        endAfter = true;
    } else if (fault.kind == Fault::Kind::ShortBody) {
        toSend = std::max<int64_t>(0, size - fault.bytes);
        endAfter = true;
    }
    const bool chunked = fault.kind == Fault::Kind::NoContentLength;
    const int status = fault.kind == Fault::Kind::StatusAfterBody && fault.status ? fault.status : 200;
    const std::string head =
        responseHead(status, "application/octet-stream", chunked ? -1 : size, close || endAfter);
    bool ok = c.writeAll(head);
    int64_t sent = 0;
    bool stalled = false;
    char buf[65536];
    while (ok && sent < toSend) {
        size_t n = size_t(std::min<int64_t>(int64_t(sizeof buf), toSend - sent));
        if (fault.kind == Fault::Kind::StallMidBody && !stalled && sent < fault.bytes)
            n = size_t(std::min<int64_t>(int64_t(n), fault.bytes - sent));
        if (generated) {
            FileStore::generate(idx, sent, buf, n);
        } else if (std::fread(buf, 1, n, in) != n) {
            ok = false;
            break;
        }
        if (chunked) {
            char line[32];
            std::snprintf(line, sizeof line, "%zx\r\n", n);
            ok = c.writeAll(line, std::strlen(line)) && c.writeAll(buf, n) && c.writeAll("\r\n", 2);
        } else {
            ok = c.writeAll(buf, n);
        }
        sent += int64_t(n);
        if (ok && fault.kind == Fault::Kind::StallMidBody && !stalled && sent >= fault.bytes) {
            stalled = true;
            ok = pause(fault.stallMs);
        }
    }
    if (in)
        std::fclose(in);
    if (ok && chunked && !endAfter)
        ok = c.writeAll("0\r\n\r\n", 5);
    return ok && !close && !endAfter;
}

} // namespace cloffa
