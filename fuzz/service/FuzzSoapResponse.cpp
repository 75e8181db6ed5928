// Whole HTTP responses fed to the file service decoder from memory. The first byte picks the operation.
#include "service/FileServiceSoap.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FileServiceSoap proxy([] {
        FileServiceSettings s;
        s.baseUrl = QStringLiteral("https://file.cloffa.example");
        s.serviceNamespace = QStringLiteral("http://file.cloffa.example/");
        s.memoNamespace = QStringLiteral("http://memo.cloffa.example/");
        return s;
    }());
    if (size == 0)
        return 0;
    const std::string_view http(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
    case 0: {
        const FileListResult r = proxy.DecodeGetUserFiles(http);
        if (r.error == 0 && !r.hasFileArray && !r.files.empty())
            __builtin_trap(); // entries without their array cannot exist
        break;
    }
    case 1:
        proxy.DecodeBool(FileServiceSoap::Operation::DelFile, http);
        break;
    default:
        proxy.DecodeBool(FileServiceSoap::Operation::NeedUpdate, http);
        break;
    }
    return 0;
}
