// The session text from the toolbar: the first 4 bytes are the announced length, the rest the text.
#include "app/SessionBlob.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qint32 length = 0;
    if (size >= 4)
        std::memcpy(&length, data, 4);
    const QByteArray text =
        size >= 4 ? QByteArray(reinterpret_cast<const char*>(data + 4), static_cast<qsizetype>(size - 4))
                  : QByteArray();
    SessionMap map;
    DecodeSessionBlob(length, text, map);
    QString out;
    GetSessionValue(map, QStringLiteral("userid"), out, true);
    GetSessionValue(map, QStringLiteral("sessionkey"), out, false);

    std::vector<char> buf(17);
    if (Base64Decode(text, buf.data(), buf.size()) >= buf.size())
        __builtin_trap();
    return 0;
}
