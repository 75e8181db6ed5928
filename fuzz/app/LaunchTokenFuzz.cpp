// Launch tokens and hex text from an untrusted command line.
#include "app/CredentialProtection.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArray raw = HexToBytes(bytes);
    if (raw.size() != bytes.size() / 2)
        __builtin_trap();
    (void)DecryptLaunchToken(QString::fromLatin1(bytes));
    (void)DecryptFromHex(bytes, QString::fromUtf8(bytes.left(40)));
    return 0;
}
