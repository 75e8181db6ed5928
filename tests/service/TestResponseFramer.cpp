#include "service/ResponseFramer.h"

#include <QTest>

// The framer sees a response in whatever pieces the socket hands over.
class TestResponseFramer : public QObject {
    Q_OBJECT
private slots:
    void framing_data();
    void framing();
    void resetStartsOver();
};

void TestResponseFramer::framing_data() {
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<int>("piece");  // bytes per read
    QTest::addColumn<bool>("complete");
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 10\r\n\r\n0123456789";
    for (int piece : {1, 3, 17, 4096}) {
        QTest::addRow("whole body, %d-byte reads", piece) << ok << piece << true;
        QTest::addRow("one byte short, %d-byte reads", piece) << ok.chopped(1) << piece << false;
    }
    QTest::newRow("head only") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n") << 4096 << false;
    QTest::newRow("empty body") << QByteArray("HTTP/1.1 500 Internal\r\nContent-Length: 0\r\n\r\n") << 7 << true;
    QTest::newRow("name case and spaces") << QByteArray("HTTP/1.1 200 OK\r\ncontent-LENGTH:   3 \r\n\r\nabc") << 2
                                          << true;
    QTest::newRow("chunked is left to the runtime")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n3\r\nabc\r\n") << 5
        << false;
    QTest::newRow("no length: read to the close") << QByteArray("HTTP/1.1 200 OK\r\n\r\nabc") << 4096 << false;
    QTest::newRow("bad length ignored") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3x\r\n\r\nabc") << 4096
                                        << false;
    QTest::newRow("interim answer first")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nab") << 5 << true;
    QTest::newRow("interim answer alone") << QByteArray("HTTP/1.1 100 Continue\r\n\r\n") << 4096 << false;
}

void TestResponseFramer::framing() {
    QFETCH(QByteArray, response);
    QFETCH(int, piece);
    QFETCH(bool, complete);
    ResponseFramer framer;
    for (qsizetype at = 0; at < response.size(); at += piece) {
        QVERIFY2(!framer.Complete(), "complete before the last byte");
        const QByteArray part = response.mid(at, piece);
        framer.Feed(part.constData(), size_t(part.size()));
    }
    QCOMPARE(framer.Complete(), complete);
}

void TestResponseFramer::resetStartsOver() {
    ResponseFramer framer;
    const QByteArray first = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx";
    framer.Feed(first.constData(), size_t(first.size()));
    QVERIFY(framer.Complete());
    framer.Reset();
    QVERIFY(!framer.Complete());
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\ny";
    framer.Feed(head.constData(), size_t(head.size()));
    QVERIFY(!framer.Complete());
    framer.Feed("z", 1);
    QVERIFY(framer.Complete());
}

QTEST_MAIN(TestResponseFramer)
#include "TestResponseFramer.moc"
