// SOAP request bodies for the local service: the reader on its own, then the whole answer path behind a
// valid request head. The first byte picks how the body arrives.
#include "fuzz/tools/ServiceFixture.h"
#include "tools/cloffa-service/SoapMessages.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const size_t piece = data[0] >= 192 ? 16384 : 1 + data[0] % 64;
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
    cloffa::SoapRequest parsed;
    std::string error;
    const bool ok = cloffa::ParseSoapRequest(body, parsed, &error);
    if (!ok && error.empty())
        __builtin_trap(); // a refusal always says why

    const std::string request =
        "POST /Cloffa/File/FileService.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        "Content-Type: text/xml;charset=utf-8\r\nSOAPAction: \"http://file.cloffa.example/" +
        (ok ? parsed.operation : std::string("GetUserFiles")) +
        "\"\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    const std::string output = fuzz::Service().answerBytes(request, piece);
    if (fuzz::FirstStatus(output) == 0)
        __builtin_trap();
    fuzz::RestoreStore();
    return 0;
}
