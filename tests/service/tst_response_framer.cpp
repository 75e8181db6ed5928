#include "service/ResponseFramer.h"

#include <QTest>

// The framer sees a response in whatever pieces the socket hands over.
class TestResponseFramer : public QObject {
    Q_OBJECT
private slots:
    void framing_data();
    void framing();
    void resetStartsOver();
    void headFacts_data();
    void headFacts();
    void tagBalance_data();
    void tagBalance();
};

void TestResponseFramer::framing_data() {
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<int>("piece"); // bytes per read
    QTest::addColumn<bool>("complete");
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 10\r\n\r\n0123456789";
    for (int piece : {1, 3, 17, 4096}) {
        QTest::addRow("whole body, %d-byte reads", piece) << ok << piece << true;
        QTest::addRow("one byte short, %d-byte reads", piece) << ok.chopped(1) << piece << false;
    }
    QTest::newRow("head only") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n") << 4096 << false;
    QTest::newRow("empty body") << QByteArray("HTTP/1.1 500 Internal\r\nContent-Length: 0\r\n\r\n") << 7 << true;
    QTest::newRow("name case and spaces")
        << QByteArray("HTTP/1.1 200 OK\r\ncontent-LENGTH:   3 \r\n\r\nabc") << 2 << true;
    QTest::newRow("chunked is left to the runtime")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n3\r\nabc\r\n")
        << 5 << false;
    QTest::newRow("no length: read to the close") << QByteArray("HTTP/1.1 200 OK\r\n\r\nabc") << 4096 << false;
    QTest::newRow("bad length ignored")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3x\r\n\r\nabc") << 4096 << false;
    QTest::newRow("interim answer first")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nab") << 5 << true;
    QTest::newRow("interim answer alone") << QByteArray("HTTP/1.1 100 Continue\r\n\r\n") << 4096 << false;
    const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                               "3\r\nabc\r\nA;ext=1\r\n0123456789\r\n0\r\n\r\n";
    for (int piece : {1, 2, 7, 4096}) {
        QTest::addRow("chunked to its last chunk, %d-byte reads", piece) << chunked << piece << true;
        QTest::addRow("chunked without the final line, %d-byte reads", piece)
            << chunked.chopped(2) << piece << false;
    }
    QTest::newRow("chunked with a trailer")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nx\r\n0\r\nX-T: 1\r\n\r\n") << 3
        << true;
    QTest::newRow("304 has no body") << QByteArray("HTTP/1.1 304 Not Modified\r\nContent-Length: 99\r\n\r\n") << 9
                                     << true;
}

void TestResponseFramer::headFacts_data() {
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<bool>("malformed");
    QTest::addColumn<bool>("keepAlive");
    QTest::addColumn<bool>("bounded");
    QTest::newRow("1.1") << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n") << false << true
                         << true;
    QTest::newRow("1.1 close") << QByteArray("HTTP/1.1 200 OK\r\nConnection: Close\r\nContent-Length: 0\r\n\r\n")
                               << false << false << true;
    QTest::newRow("1.0") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n") << false << false << true;
    QTest::newRow("1.0 keep-alive")
        << QByteArray("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n") << false << true
        << true;
    QTest::newRow("no framing") << QByteArray("HTTP/1.1 302 Found\r\n\r\n") << false << true << false;
    QTest::newRow("garbage line") << QByteArray("XQ-STATUS ?? garbage\r\nContent-Length: 0\r\n\r\n") << true
                                  << false << false;
    QTest::newRow("garbage before the head ends") << QByteArray("<html>\r\n") << true << false << false;
    QTest::newRow("status not numeric") << QByteArray("HTTP/1.1 2x0 OK\r\n\r\n") << true << false << false;
    QTest::newRow("broken chunk size") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n")
                                       << false << true << false;
}

void TestResponseFramer::headFacts() {
    QFETCH(QByteArray, response);
    QFETCH(bool, malformed);
    QFETCH(bool, keepAlive);
    QFETCH(bool, bounded);
    ResponseFramer framer;
    framer.Feed(response.constData(), size_t(response.size()));
    QCOMPARE(framer.HeadMalformed(), malformed);
    QCOMPARE(framer.KeepAlive(), keepAlive);
    QCOMPARE(framer.Bounded(), bounded);
    if (malformed)
        QVERIFY(framer.Complete()); // nothing more is worth waiting for
}

void TestResponseFramer::tagBalance_data() {
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("mismatched");
    QTest::newRow("balanced") << QByteArray("<?xml version=\"1.0\"?><a:E x=\"1\"><a:B><R>true</R><e/></a:B></a:E>")
                              << false;
    QTest::newRow("end tag of another name") << QByteArray("<E><B><R>true</S></B></E>") << true;
    QTest::newRow("prefix differs") << QByteArray("<a:E></b:E>") << true;
    QTest::newRow("end without start") << QByteArray("<E></E></F>") << true;
    QTest::newRow("quoted brackets") << QByteArray("<E a=\"</F>\" b='/>'><F/></E>") << false;
    QTest::newRow("comment") << QByteArray("<E><!-- </F> --></E>") << false;
    QTest::newRow("CDATA") << QByteArray("<E><![CDATA[</F>]]></E>") << false;
    QTest::newRow("declaration") << QByteArray("<!DOCTYPE x><E></E >") << false;
    QTest::newRow("cut short is not a mismatch") << QByteArray("<E><B><R>tr") << false;
}

void TestResponseFramer::tagBalance() {
    QFETCH(QByteArray, xml);
    QFETCH(bool, mismatched);
    for (int piece : {1, 5, 4096}) {
        const QByteArray response =
            "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(xml.size()) + "\r\n\r\n" + xml;
        ResponseFramer framer;
        for (qsizetype at = 0; at < response.size(); at += piece)
            framer.Feed(response.constData() + at, size_t(std::min<qsizetype>(piece, response.size() - at)));
        QCOMPARE(framer.BodyMismatched(), mismatched);
    }
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
#include "tst_response_framer.moc"
