#include "app/SessionBlob.h"

#include "app/CodePage.h"

#include <vector>

namespace {
int symbolValue(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}
} // namespace

std::size_t Base64Decode(const QByteArray& text, char* out, std::size_t capacity) {
    if (!out || capacity == 0)
        return 0;
    // One byte stays for the terminating NUL.
    const std::size_t room = capacity - 1;
    std::size_t written = 0;
    int group[4];
    int count = 0;
    auto put = [&](unsigned char b) {
        if (written < room)
            out[written++] = static_cast<char>(b);
    };
    for (const char c : text) {
        if (c == '\0' || c == '=')
            break;
        const int v = symbolValue(c);
        if (v < 0)
            continue;
        group[count++] = v;
        if (count == 4) {
            put(static_cast<unsigned char>((group[0] << 2) | (group[1] >> 4)));
            put(static_cast<unsigned char>((group[1] << 4) | (group[2] >> 2)));
            put(static_cast<unsigned char>((group[2] << 6) | group[3]));
            count = 0;
        }
    }
    if (count >= 2)
        put(static_cast<unsigned char>((group[0] << 2) | (group[1] >> 4)));
    if (count == 3)
        put(static_cast<unsigned char>((group[1] << 4) | (group[2] >> 2)));
    out[written] = '\0';
    return written;
}

void DecodeSessionBlob(qint32 length, const QByteArray& text, SessionMap& map) {
    if (length <= 0)
        return;
    map.clear();
    // The buffer is n + 10 bytes; a claim larger than the text can decode to needs no more than that.
    const std::size_t claimed = static_cast<std::size_t>(length);
    const std::size_t possible = static_cast<std::size_t>(text.size()) / 4 * 3 + 3;
    const std::size_t size = (claimed < possible ? claimed : possible) + 10;
    std::vector<char> buffer(size, '\0');
    // Keep two NULs behind the data so the last key and value always end inside the buffer.
    const std::size_t d = Base64Decode(text, buffer.data(), size - 1);
    std::size_t offset = 0;
    while (offset < d) {
        const std::size_t keyLen = qstrnlen(buffer.data() + offset, size - offset);
        const std::size_t valueAt = offset + keyLen + 1;
        if (valueAt >= size)
            break;
        const std::size_t valueLen = qstrnlen(buffer.data() + valueAt, size - valueAt);
        map[QByteArray(buffer.data() + offset, static_cast<qsizetype>(keyLen))] =
            QByteArray(buffer.data() + valueAt, static_cast<qsizetype>(valueLen));
        offset += keyLen + valueLen + 2;
    }
}

bool GetSessionValue(const SessionMap& map, const QString& key, QString& out, bool utf8) {
    const auto it = map.find(ToAnsi(key.toLower()));
    if (it == map.end())
        return false;
    out = utf8 ? QString::fromUtf8(it->second) : FromAnsi(it->second);
    return true;
}
