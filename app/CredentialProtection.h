#pragma once
// The launch token: the user id encrypted with AES-256-ECB under a key bound to this machine,
// written as lowercase hex. The toolbar builds it with the same steps.
#include <QByteArray>
#include <QString>

constexpr int kMaxCipherInput = 4095; // longer inputs are refused

// Md5HexLower of 32 characters picked from `seed` (128 hex characters).
QByteArray MakeKeySeed();
QByteArray MakeKeySeed(const QByteArray& seed);
// A volume serial as unsigned decimal followed by "l"; GetVolumeTag() is this machine's.
QString VolumeTag(quint32 serial);
QString GetVolumeTag();
// Key: the first 32 bytes of the key text in the code page, zero-padded. Input zero-padded to 16 bytes.
// Empty result for inputs over 4095 bytes.
QByteArray EncryptToHex(const QByteArray& plain, const QString& keyText);
// The decrypted blocks (including their zero padding); empty when refused.
QByteArray DecryptFromHex(const QByteArray& hexText, const QString& keyText);
// Pairs read as the C library reads "0x" + two characters; a last odd character is ignored.
QByteArray HexToBytes(const QByteArray& text);
QByteArray BytesToHex(const QByteArray& bytes);
QByteArray Md5HexLower(const QByteArray& bytes);

// The launch key text for a seed digest and volume tag: 32 hex characters.
QByteArray MakeLaunchKey(const QByteArray& seedDigest, const QString& volumeTag);
// Empty on failure. Without a volume tag, this machine's.
QString DecryptLaunchToken(const QString& token);
QString DecryptLaunchToken(const QString& token, const QString& volumeTag);
// What the toolbar does: the token for `userId` on this machine, or on the machine of `volumeTag`.
QByteArray MakeLaunchToken(const QString& userId);
QByteArray MakeLaunchToken(const QString& userId, const QString& volumeTag);
