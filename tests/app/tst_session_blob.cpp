#include "app/SessionBlob.h"
#include "app/SessionLoader.h"
#include "app/SessionStore.h"
#include "app/Utils.h"

#include <QTest>

#include <vector>

namespace {
QByteArray pairs(std::initializer_list<std::pair<const char*, QByteArray>> items) {
    QByteArray out;
    for (const auto& [k, v] : items) {
        out.append(k);
        out.append('\0');
        out.append(v);
        out.append('\0');
    }
    return out;
}
} // namespace

class SessionBlobTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void base64_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("full groups") << QByteArray("TWFu") << QByteArray("Man");
        QTest::newRow("two symbols") << QByteArray("TQ==") << QByteArray("M");
        QTest::newRow("three symbols") << QByteArray("TWE=") << QByteArray("Ma");
        QTest::newRow("no padding") << QByteArray("TWE") << QByteArray("Ma");
        QTest::newRow("one symbol gives nothing") << QByteArray("TWFuT") << QByteArray("Man");
        QTest::newRow("line breaks and blanks") << QByteArray("TW\r\nF u\tTW E=") << QByteArray("ManMa");
        QTest::newRow("equals ends") << QByteArray("TWFu=TWFu") << QByteArray("Man");
        QTest::newRow("NUL ends") << QByteArray("TWFu\0TWFu", 9) << QByteArray("Man");
        QTest::newRow("plus and slash") << QByteArray("+/+/") << QByteArray::fromHex("fbffbf");
    }
    void base64() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        std::vector<char> buf(64, 'x');
        const std::size_t d = Base64Decode(text, buf.data(), buf.size());
        QCOMPARE(QByteArray(buf.data(), static_cast<qsizetype>(d)), bytes);
        QCOMPARE(buf[d], '\0');
    }

    void base64IsBounded() {
        // Never writes past the capacity, NUL included.
        std::vector<char> buf(8, 'x');
        const std::size_t d = Base64Decode(QByteArray(400, 'A'), buf.data(), 5);
        QCOMPARE(d, std::size_t(4));
        QCOMPARE(buf[4], '\0');
        QCOMPARE(buf[5], 'x');
    }

    void decode_data() {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<int>("claimed"); // -1: the exact length
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QString>("sessionKey");
        QTest::addColumn<int>("entries");
        const QByteArray normal =
            pairs({{"userid", "tester01"}, {"userpwd", "pw"}, {"userkey", "uk"}, {"sessionkey", "SK-123"}});
        QTest::newRow("normal") << normal << -1 << QStringLiteral("tester01") << QStringLiteral("SK-123") << 4;
        QTest::newRow("other order") << pairs({{"sessionkey", "K"}, {"userid", "u"}}) << -1 << QStringLiteral("u")
                                     << QStringLiteral("K") << 2;
        QTest::newRow("extra keys") << pairs({{"x", "1"}, {"userid", "u"}, {"y", ""}, {"sessionkey", "K"}}) << -1
                                    << QStringLiteral("u") << QStringLiteral("K") << 4;
        QTest::newRow("duplicate: last wins")
            << pairs({{"userid", "first"}, {"sessionkey", "K"}, {"userid", "last"}}) << -1
            << QStringLiteral("last") << QStringLiteral("K") << 2;
        QTest::newRow("UTF-8 value") << pairs({{"userid", "홍길동"}, {"sessionkey", "K"}}) << -1
                                     << QStringLiteral("홍길동") << QStringLiteral("K") << 2;
        QTest::newRow("length 0 keeps nothing") << normal << 0 << QString() << QString() << 0;
        QTest::newRow("claimed longer")
            << normal << 100000 << QStringLiteral("tester01") << QStringLiteral("SK-123") << 4;
        QTest::newRow("claimed far longer")
            << normal << 2147483647 << QStringLiteral("tester01") << QStringLiteral("SK-123") << 4;
        // The buffer holds the claim plus 10 bytes: the rest is cut off.
        QTest::newRow("claimed shorter cuts") << pairs({{"userid", "u"}, {"sessionkey", "0123456789abcdef"}}) << 17
                                              << QStringLiteral("u") << QStringLiteral("01234") << 2;
        QTest::newRow("no terminating NUL")
            << QByteArray("userid\0abc", 10) << -1 << QStringLiteral("abc") << QString() << 1;
        QTest::newRow("key without value") << QByteArray("userid") << -1 << QString() << QString() << 1;
        QTest::newRow("negative claim") << normal << -5 << QString() << QString() << 0;
    }
    void decode() {
        QFETCH(QByteArray, plain);
        QFETCH(int, claimed);
        QFETCH(QString, userId);
        QFETCH(QString, sessionKey);
        QFETCH(int, entries);
        const qint32 n = claimed == -1 ? static_cast<qint32>(plain.size()) : claimed;
        SessionMap map;
        DecodeSessionBlob(n, plain.toBase64(), map);
        QCOMPARE(static_cast<int>(map.size()), entries);
        QString u, k;
        GetSessionValue(map, QStringLiteral("userid"), u, true);
        GetSessionValue(map, QStringLiteral("sessionkey"), k, true);
        QCOMPARE(u, userId);
        QCOMPARE(k, sessionKey);
    }

    void decodeWithLineBreaks() {
        QByteArray b64 = pairs({{"userid", "u"}, {"sessionkey", "K"}}).toBase64();
        b64.insert(8, "\r\n  ");
        b64.insert(3, ' ');
        SessionMap map;
        DecodeSessionBlob(19, b64, map);
        QCOMPARE(map[QByteArray("userid")], QByteArray("u"));
        QCOMPARE(map[QByteArray("sessionkey")], QByteArray("K"));
    }

    void zeroLengthLeavesMapAsItIs() {
        SessionMap map{{QByteArray("userid"), QByteArray("kept")}};
        DecodeSessionBlob(0, QByteArray("dXNlcmlkAHgA"), map);
        QCOMPARE(map.size(), std::size_t(1));
        QCOMPARE(map[QByteArray("userid")], QByteArray("kept"));
        DecodeSessionBlob(12, QByteArray("eAB5AA=="), map); // "x\0y\0" replaces it
        QCOMPARE(map.size(), std::size_t(1));
        QCOMPARE(map[QByteArray("x")], QByteArray("y"));
    }

    void getSessionValue() {
        const SessionMap map{{QByteArray("userid"), QByteArray("\xb0\xa1", 2)}};
        QString out = QStringLiteral("unchanged");
        QVERIFY(!GetSessionValue(map, QStringLiteral("missing"), out, true));
        QCOMPARE(out, QStringLiteral("unchanged"));
        QVERIFY(GetSessionValue(map, QStringLiteral("USERID"), out, false)); // key is lower-cased
        QCOMPARE(out, QStringLiteral("가"));                                 // CP949 B0A1
    }

    void acceptSession_data() {
        QTest::addColumn<QString>("launchUser");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("same user") << QStringLiteral("abc") << pairs({{"userid", "abc"}, {"sessionkey", "K"}})
                                   << true;
        QTest::newRow("case differs") << QStringLiteral("abc") << pairs({{"userid", "ABC"}, {"sessionkey", "K"}})
                                      << false;
        QTest::newRow("empty key") << QStringLiteral("abc") << pairs({{"userid", "abc"}, {"sessionkey", ""}})
                                   << false;
        QTest::newRow("no launch id, toolbar user")
            << QString() << pairs({{"userid", "abc"}, {"sessionkey", "K"}}) << false;
        QTest::newRow("no launch id, no toolbar user") << QString() << pairs({{"sessionkey", "K"}}) << true;
    }
    void acceptSession() {
        QFETCH(QString, launchUser);
        QFETCH(QByteArray, plain);
        QFETCH(bool, accepted);
        SessionStore store(SessionStore::Settings::None);
        store.SetLaunchUserId(launchUser);
        SessionMap map;
        DecodeSessionBlob(static_cast<qint32>(plain.size()), plain.toBase64(), map);
        QCOMPARE(AcceptSession(store, map), accepted);
        if (accepted) {
            QCOMPARE(store.GetSessionKey(), QStringLiteral("K"));
            QCOMPARE(store.GetAuthDigest(), Md5Hex("K7391"));
        } else {
            QVERIFY(store.GetSessionKey().isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(SessionBlobTest)
#include "tst_session_blob.moc"
