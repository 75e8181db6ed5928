// Upload bodies for the local service's multipart reader, behind a valid request head. The first byte
// picks the mode (bit 0) and how the body arrives (the rest). An accepted upload must store exactly the
// bytes between the part's header block and the first delimiter after it.
#include "fuzz/tools/ServiceFixture.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

namespace {
constexpr char kBoundary[] = "----VAPRE-9e2a467076f3470ca4e6051e031afaab-";

std::string contentOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const int mode = data[0] & 1;
    const size_t piece = (data[0] >> 1) >= 96 ? 16384 : 1 + (data[0] >> 1) % 96;
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string request = "POST /Cloffa/File/Set.aspx?mode=" + std::to_string(mode) +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n"
                                "Content-Type: multipart/form-data;boundary=" +
                                std::string(kBoundary) + "\r\n" + fuzz::SessionHeaders() +
                                "Content-Length: " + std::to_string(body.size()) +
                                "\r\nConnection: close\r\n\r\n" + body;
    cloffa::LocalService& service = fuzz::Service();
    const std::string output = service.answerBytes(request, piece);
    const int status = fuzz::FirstStatus(output);
    if (status == 0)
        __builtin_trap(); // a whole request always gets an answer
    if (status == 200) {
        const size_t end = body.find("\r\n\r\n");
        const std::string delimiter = std::string("\r\n--") + kBoundary;
        const size_t at = end == std::string::npos ? end : body.find(delimiter, end + 4);
        if (at == std::string::npos)
            __builtin_trap(); // accepted without a complete part
        const std::string content = body.substr(end + 4, at - end - 4);
        const std::string epilogue = body.substr(at + delimiter.size());
        if (epilogue != "--" && epilogue != "--\r\n")
            __builtin_trap();
        bool found = false;
        for (const cloffa::StoredFile& f : service.files()) {
            if (f.size == int64_t(content.size()) && contentOf(service.contentPath(f.idx)) == content)
                found = true;
        }
        if (!found)
            __builtin_trap(); // stored something other than the part's content
    }
    fuzz::RestoreStore();
    return 0;
}
