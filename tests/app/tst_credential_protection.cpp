#include "app/CodePage.h"
#include "app/CredentialProtection.h"
#include "app/LaunchSeed.h"
#include "app/Utils.h"
#include "app/platform/VolumeInfo.h"

#include <QTest>

class CredentialProtectionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:

    void hexToBytes_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("pairs") << QByteArray("00ff7A") << QByteArray("\x00\xff\x7a", 3);
        QTest::newRow("odd length drops the last") << QByteArray("abc") << QByteArray("\xab", 1);
        QTest::newRow("first digit invalid") << QByteArray("g1") << QByteArray("\x00", 1);
        QTest::newRow("second digit invalid") << QByteArray("1g") << QByteArray("\x01", 1);
        QTest::newRow("sign is no digit") << QByteArray("-1") << QByteArray("\x00", 1);
        QTest::newRow("blank is no digit") << QByteArray(" f") << QByteArray("\x00", 1);
        QTest::newRow("NUL inside") << QByteArray("f\0"
                                                  "12",
                                                  4)
                                    << QByteArray("\x0f\x12", 2);
    }
    void hexToBytes() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(HexToBytes(text), bytes);
    }

    void bytesToHex() { QCOMPARE(BytesToHex(QByteArray("\x00\xab\x10", 3)), QByteArray("00ab10")); }

    void md5() {
        QCOMPARE(Md5HexLower(""), QByteArray("d41d8cd98f00b204e9800998ecf8427e"));
        QCOMPARE(Md5HexLower("abc"), QByteArray("900150983cd24fb0d6963f7d28e17f72"));
        QCOMPARE(Md5HexLower(QByteArray("abc\0def", 7)), Md5HexLower("abc"));
    }

    void keySeedPicksItsCharacters() {
        // A seed whose characters name their positions shows which ones are taken, and in which order.
        QByteArray seed(128, '0');
        QByteArray expected;
        const int order[] = {0,  9,  18, 27, 36,  45,  54,  63,  56,  49,  42,  35, 28, 21, 14, 7,
                             64, 73, 82, 91, 100, 109, 118, 127, 120, 113, 106, 99, 92, 85, 78, 71};
        int n = 0;
        for (int pos : order) {
            const char c = "0123456789abcdefghijklmnopqrstuv"[n++];
            seed[pos] = c;
            expected.append(c);
        }
        QCOMPARE(MakeKeySeed(seed), Md5HexLower(expected));
        QCOMPARE(MakeKeySeed().size(), 32);
        QCOMPARE(MakeKeySeed(), MakeKeySeed(QByteArray(kLaunchSeed)));
    }

    void volumeTag() {
        QCOMPARE(VolumeTag(4294967295u), QStringLiteral("4294967295l"));
        QCOMPARE(VolumeTag(0), QStringLiteral("0l"));
        QCOMPARE(GetVolumeTag(), VolumeTag(VolumeInfo::SystemVolumeSerial()));
    }

    void aesKnownAnswer() {
        // The published AES-256 example: key 00..1f, block 00112233..ff.
        QString key;
        for (int i = 0; i < 32; ++i)
            key.append(QChar(i));
        QCOMPARE(ToAnsi(key).size(), 32);
        const QByteArray plain = QByteArray::fromHex("00112233445566778899aabbccddeeff");
        QCOMPARE(EncryptToHex(plain, key), QByteArray("8ea2b7ca516745bfeafc49904b496089"));
        QCOMPARE(DecryptFromHex("8ea2b7ca516745bfeafc49904b496089", key), plain);
    }

    void encryptSizes_data() {
        QTest::addColumn<int>("inputSize");
        QTest::addColumn<int>("hexSize");
        QTest::newRow("empty becomes one block") << 0 << 32;
        QTest::newRow("one byte") << 1 << 32;
        QTest::newRow("16") << 16 << 32;
        QTest::newRow("17") << 17 << 64;
        QTest::newRow("32") << 32 << 64;
        QTest::newRow("4095") << 4095 << 8192;
        QTest::newRow("4096 refused") << 4096 << 0;
    }
    void encryptSizes() {
        QFETCH(int, inputSize);
        QFETCH(int, hexSize);
        QCOMPARE(EncryptToHex(QByteArray(inputSize, 'x'), QStringLiteral("k")).size(), hexSize);
    }

    void ecbBlocksAreIndependent() {
        const QByteArray hex = EncryptToHex(QByteArray(32, 'a'), QStringLiteral("key"));
        QCOMPARE(hex.left(32), hex.mid(32));
    }

    void keyIsCutAndPadded() {
        const QByteArray plain("hello");
        const QString longKey = QString(32, u'k');
        QCOMPARE(EncryptToHex(plain, longKey + QStringLiteral("ignored")), EncryptToHex(plain, longKey));
        QVERIFY(EncryptToHex(plain, QStringLiteral("a")) != EncryptToHex(plain, QStringLiteral("b")));
    }

    void launchTokenRoundTrip_data() {
        QTest::addColumn<QString>("userId");
        QTest::newRow("ascii") << QStringLiteral("tester01");
        QTest::newRow("Korean") << QStringLiteral("홍길동");
        QTest::newRow("exactly one block") << QStringLiteral("abcdefghijklmnop");
    }
    void launchTokenRoundTrip() {
        QFETCH(QString, userId);
        const QByteArray token = MakeLaunchToken(userId);
        QCOMPARE(token.size() % 32, 0);
        QCOMPARE(DecryptLaunchToken(QString::fromLatin1(token)), userId);
        QCOMPARE(DecryptLaunchToken(QString::fromLatin1(token).toUpper()), userId);
    }

    void tokenFromAnotherVolume() {
        const QByteArray token = MakeLaunchToken(QStringLiteral("tester01"), VolumeTag(12345u));
        QCOMPARE(DecryptLaunchToken(QString::fromLatin1(token), VolumeTag(12345u)), QStringLiteral("tester01"));
        QVERIFY(DecryptLaunchToken(QString::fromLatin1(token), VolumeTag(12346u)) != QStringLiteral("tester01"));
    }

    void failingTokens() {
        QCOMPARE(DecryptLaunchToken(QString()), QString());
        // Over 4095 bytes once decoded: refused.
        QCOMPARE(DecryptLaunchToken(QString(8192, u'a')), QString());
        // An odd token decrypts its first length / 2 bytes.
        const QString token = QString::fromLatin1(MakeLaunchToken(QStringLiteral("tester01")));
        QCOMPARE(DecryptLaunchToken(token + u'f'), QStringLiteral("tester01"));
    }
};

QTEST_GUILESS_MAIN(CredentialProtectionTest)
#include "tst_credential_protection.moc"
