#include "app/Utils.h"

#include <openssl/evp.h>

QByteArray Md5Hex(const QByteArray& bytes) {
    // The input is a NUL-terminated byte string: stop at the first NUL.
    const qsizetype n = qstrnlen(bytes.constData(), static_cast<size_t>(bytes.size()));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(bytes.constData(), static_cast<size_t>(n), digest, &len, EVP_md5(), nullptr) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char*>(digest), len).toHex();
}
