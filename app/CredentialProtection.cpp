#include "app/CredentialProtection.h"

#include "app/CodePage.h"
#include "app/LaunchSeed.h"
#include "app/Utils.h"
#include "app/platform/VolumeInfo.h"

#include <openssl/evp.h>

#include <cstdlib>
#include <memory>

namespace {
constexpr int kBlock = 16;
constexpr int kKeySize = 32;

QByteArray keyBytes(const QString& keyText) {
    QByteArray key = ToAnsi(keyText).left(kKeySize);
    key.append(QByteArray(kKeySize - key.size(), '\0'));
    return key;
}

QByteArray padToBlock(QByteArray data) {
    const qsizetype padded = data.isEmpty() ? kBlock : (data.size() + kBlock - 1) / kBlock * kBlock;
    data.append(QByteArray(padded - data.size(), '\0'));
    return data;
}

// ECB without padding: every block on its own, the input is a multiple of the block size.
QByteArray aesEcb(const QByteArray& input, const QByteArray& key, bool encrypt) {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    if (!ctx)
        return {};
    const auto* k = reinterpret_cast<const unsigned char*>(key.constData());
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_256_ecb(), nullptr, k, nullptr, encrypt ? 1 : 0) != 1)
        return {};
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    QByteArray out(input.size() + kBlock, '\0');
    int len = 0;
    int fin = 0;
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    if (EVP_CipherUpdate(ctx.get(), o, &len, reinterpret_cast<const unsigned char*>(input.constData()),
                         static_cast<int>(input.size())) != 1)
        return {};
    if (EVP_CipherFinal_ex(ctx.get(), o + len, &fin) != 1)
        return {};
    out.resize(len + fin);
    return out;
}
} // namespace

QByteArray Md5HexLower(const QByteArray& bytes) {
    return Md5Hex(bytes);
}

QByteArray MakeKeySeed() {
    return MakeKeySeed(QByteArray(kLaunchSeed));
}

QByteArray MakeKeySeed(const QByteArray& seed) {
    if (seed.size() < 128)
        return {};
    QByteArray picked;
    for (int i = 0; i <= 63; i += 9)
        picked.append(seed.at(i));
    for (int i = 56; i >= 7; i -= 7)
        picked.append(seed.at(i));
    for (int i = 64; i <= 127; i += 9)
        picked.append(seed.at(i));
    for (int i = 120; i >= 71; i -= 7)
        picked.append(seed.at(i));
    return Md5HexLower(picked);
}

QString VolumeTag(quint32 serial) {
    return QString::number(serial) + u'l';
}

QString GetVolumeTag() {
    return VolumeTag(VolumeInfo::SystemVolumeSerial());
}

QByteArray BytesToHex(const QByteArray& bytes) {
    return bytes.toHex();
}

QByteArray HexToBytes(const QByteArray& text) {
    const qsizetype n = text.size() / 2;
    QByteArray out(n, '\0');
    for (qsizetype i = 0; i < n; ++i) {
        // strtol on "0x" + the pair: an invalid digit ends the number early.
        const char pair[5] = {'0', 'x', text.at(2 * i), text.at(2 * i + 1), '\0'};
        out[i] = static_cast<char>(static_cast<unsigned char>(std::strtol(pair, nullptr, 16)));
    }
    return out;
}

QByteArray EncryptToHex(const QByteArray& plain, const QString& keyText) {
    if (plain.size() > kMaxCipherInput)
        return {};
    return BytesToHex(aesEcb(padToBlock(plain), keyBytes(keyText), true));
}

QByteArray DecryptFromHex(const QByteArray& hexText, const QString& keyText) {
    const QByteArray bytes = HexToBytes(hexText);
    if (bytes.size() > kMaxCipherInput)
        return {};
    return aesEcb(padToBlock(bytes), keyBytes(keyText), false);
}

QByteArray MakeLaunchKey(const QByteArray& seedDigest, const QString& volumeTag) {
    return EncryptToHex(seedDigest, volumeTag).left(kKeySize);
}

QString DecryptLaunchToken(const QString& token) {
    return DecryptLaunchToken(token, GetVolumeTag());
}

QString DecryptLaunchToken(const QString& token, const QString& volumeTag) {
    const QByteArray ansi = ToAnsi(token);
    if (ansi.isEmpty())
        return {};
    const QByteArray key = MakeLaunchKey(MakeKeySeed(), volumeTag);
    const QByteArray plain = DecryptFromHex(ansi, QString::fromLatin1(key));
    const qsizetype end = plain.indexOf('\0');
    return FromAnsi(end < 0 ? plain : plain.left(end));
}

QByteArray MakeLaunchToken(const QString& userId) {
    return MakeLaunchToken(userId, GetVolumeTag());
}

QByteArray MakeLaunchToken(const QString& userId, const QString& volumeTag) {
    const QByteArray key = MakeLaunchKey(MakeKeySeed(), volumeTag);
    return EncryptToHex(ToAnsi(userId), QString::fromLatin1(key));
}
