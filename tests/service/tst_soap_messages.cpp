// Request bytes and response decoding of the file service messages, without any network.
#include "SoapTestTexts.h"
#include "service/ErrorNumbers.h"
#include "service/FileServiceSoap.h"

#include <stdsoap2.h>

#include <QTest>

using Op = FileServiceSoap::Operation;
using namespace SoapTestTexts;

Q_DECLARE_METATYPE(Op)

namespace {
const QByteArray kDigest("0123456789abcdef0123456789abcdef");

FileServiceSettings offlineSettings() {
    FileServiceSettings s;
    s.baseUrl = QStringLiteral("https://file.cloffa.example");
    s.serviceNamespace = QStringLiteral("http://file.cloffa.example/");
    s.memoNamespace = QStringLiteral("http://memo.cloffa.example/");
    return s;
}

std::string fileEntry(const std::string& inner) {
    return "<FileInfoes>" + inner + "</FileInfoes>";
}
std::string listResponse(const std::string& inner) {
    return ResponseEnvelope("<GetUserFilesResponse xmlns=\"http://file.cloffa.example/\">" + inner +
                            "</GetUserFilesResponse>");
}
std::string boolResponse(const std::string& op, const std::string& value) {
    return ResponseEnvelope("<" + op + "Response xmlns=\"http://file.cloffa.example/\"><" + op + "Result>" +
                            value + "</" + op + "Result></" + op + "Response>");
}
const std::string kFault = ResponseEnvelope(
    "<soap:Fault><faultcode>soap:Server</faultcode><faultstring>Server was unable to process request."
    "</faultstring></soap:Fault>");
} // namespace

class TestSoapMessages : public QObject {
    Q_OBJECT
private slots:
    void requestBytes_data();
    void requestBytes();
    void hostHeader_data();
    void hostHeader();
    void listDecoding_data();
    void listDecoding();
    void boolDecoding_data();
    void boolDecoding();
    void errorNumbers_data();
    void errorNumbers();
    void tlsSetupFailureIs25();
    void overlongEndpointIs16();
};

void TestSoapMessages::requestBytes_data() {
    QTest::addColumn<Op>("op");
    QTest::addColumn<QByteArray>("session");
    QTest::addColumn<int>("idx");
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<QByteArray>("element");
    QTest::newRow("GetUserFiles")
        << Op::GetUserFiles << QByteArray("abc-key") << 0 << QByteArray("http://file.cloffa.example/GetUserFiles")
        << QByteArray("<ns1:GetUserFiles><ns1:strSession>abc-key</ns1:strSession></ns1:GetUserFiles>");
    QTest::newRow("GetUserFiles empty key")
        << Op::GetUserFiles << QByteArray() << 0 << QByteArray("http://file.cloffa.example/GetUserFiles")
        << QByteArray("<ns1:GetUserFiles><ns1:strSession/></ns1:GetUserFiles>");
    QTest::newRow("DelFile escaped") << Op::DelFile << QByteArray("a&b<c>d") << -7
                                     << QByteArray("http://file.cloffa.example/DelFile")
                                     << QByteArray("<ns1:DelFile><ns1:strSession>a&amp;b&lt;c&gt;d</"
                                                   "ns1:strSession><ns1:Idx>-7</ns1:Idx></ns1:DelFile>");
    QTest::newRow("DelFile utf8") << Op::DelFile << QByteArray("\xed\x82\xa4") << 2147483647
                                  << QByteArray("http://file.cloffa.example/DelFile")
                                  << QByteArray("<ns1:DelFile><ns1:strSession>\xed\x82\xa4</"
                                                "ns1:strSession><ns1:Idx>2147483647</ns1:Idx></ns1:DelFile>");
    QTest::newRow("NeedUpdate")
        << Op::NeedUpdate << QByteArray("ignored") << 0 << QByteArray("http://file.cloffa.example/NeedUpdate")
        << QByteArray("<ns1:NeedUpdate><ns1:strNowVersion>1.0</ns1:strNowVersion></ns1:NeedUpdate>");
}

void TestSoapMessages::requestBytes() {
    QFETCH(Op, op);
    QFETCH(QByteArray, session);
    QFETCH(int, idx);
    QFETCH(QByteArray, action);
    QFETCH(QByteArray, element);
    FileServiceSoap proxy(offlineSettings());
    const std::string wire = proxy.EncodeRequest(op, kDigest, session, idx);
    std::string headers, body;
    QVERIFY2(SplitChunked(wire, &headers, &body), wire.c_str());
    QCOMPARE(QByteArray::fromStdString(headers),
             QByteArray::fromStdString(RequestHeaders("file.cloffa.example:443", action.toStdString())));
    QCOMPARE(QByteArray::fromStdString(body),
             QByteArray::fromStdString(RequestBody(kDigest.toStdString(), element.toStdString())));
    QVERIFY(body.find("encodingStyle") == std::string::npos);
    QVERIFY(body.find("xsi:type") == std::string::npos);
}

void TestSoapMessages::hostHeader_data() {
    QTest::addColumn<QString>("base");
    QTest::addColumn<QByteArray>("host");
    QTest::newRow("https default") << QStringLiteral("https://h.example") << QByteArray("h.example:443");
    QTest::newRow("https 8443") << QStringLiteral("https://127.0.0.1:8443") << QByteArray("127.0.0.1:8443");
    QTest::newRow("http 80") << QStringLiteral("http://h.example") << QByteArray("h.example");
    QTest::newRow("ipv6") << QStringLiteral("https://[::1]:9000") << QByteArray("[::1]:9000");
}

void TestSoapMessages::hostHeader() {
    QFETCH(QString, base);
    QFETCH(QByteArray, host);
    FileServiceSettings s = offlineSettings();
    s.baseUrl = base;
    FileServiceSoap proxy(s);
    const std::string wire = proxy.EncodeRequest(Op::NeedUpdate, kDigest, {});
    QVERIFY(wire.find("\r\nHost: " + host.toStdString() + "\r\n") != std::string::npos);
}

void TestSoapMessages::listDecoding_data() {
    QTest::addColumn<QByteArray>("http");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("hasArray");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("firstName");
    QTest::addColumn<int>("firstSize");
    QTest::addColumn<bool>("quota");
    QTest::addColumn<int>("userFree");

    const std::string one = fileEntry("<Idx>5</Idx><FileName>a.txt</FileName><FileSize>10</FileSize>"
                                      "<RegDate>2008-05-21</RegDate><Sidx>1</Sidx>");
    const std::string quota =
        "<userInfo><UserNo>1</UserNo><UserSize>100</UserSize><UserFree>40</UserFree></userInfo>";
    auto row = [](const char* name, const std::string& http) -> QTestData& {
        return QTest::newRow(name) << QByteArray::fromStdString(http);
    };

    row("empty array",
        HttpResponse(200, listResponse("<GetUserFilesResult>0</GetUserFilesResult><fileinfoes/>" + quota)))
        << 0 << true << 0 << QString() << 0 << true << 40;
    row("no array", HttpResponse(200, listResponse("<GetUserFilesResult>0</GetUserFilesResult>" + quota)))
        << 0 << false << 0 << QString() << 0 << true << 40;
    row("schema order", HttpResponse(200, listResponse("<GetUserFilesResult>1</GetUserFilesResult><fileinfoes>" +
                                                       one + "</fileinfoes>" + quota)))
        << 0 << true << 1 << QStringLiteral("a.txt") << 10 << true << 40;
    row("reversed order",
        HttpResponse(200, listResponse(quota + "<fileinfoes>" + one +
                                       "</fileinfoes><GetUserFilesResult>1</GetUserFilesResult>")))
        << 0 << true << 1 << QStringLiteral("a.txt") << 10 << true << 40;
    row("unknown child skipped",
        HttpResponse(
            200, listResponse(
                     "<fileinfoes>" +
                     fileEntry("<Idx>5</Idx><Colour>red</Colour><FileName>b</FileName><FileSize>3</FileSize>") +
                     "</fileinfoes>")))
        << 0 << true << 1 << QStringLiteral("b") << 3 << false << 0;
    row("largest size",
        HttpResponse(200, listResponse("<fileinfoes>" + fileEntry("<FileSize>2147483647</FileSize>") +
                                       "</fileinfoes><userInfo><UserFree>2147483647</UserFree></userInfo>")))
        << 0 << true << 1 << QString() << 2147483647 << true << 2147483647;
    // Literal answers carry no references: id and href are attributes like any other.
    row("entry with an id", HttpResponse(200, listResponse("<fileinfoes><FileInfoes id=\"a\">" +
                                                           one.substr(one.find('>') + 1) + "</fileinfoes>")))
        << 0 << true << 1 << QStringLiteral("a.txt") << 10 << false << 0;
    row("href is no reference",
        HttpResponse(200, listResponse("<fileinfoes><FileInfoes href=\"#a\"/><FileInfoes id=\"a\">" +
                                       one.substr(one.find('>') + 1) + "</fileinfoes>")))
        << 0 << true << 2 << QString() << 0 << false << 0;
    row("nil entry skipped",
        HttpResponse(200, listResponse("<fileinfoes><FileInfoes xsi:nil=\"true\"/>" + one + "</fileinfoes>")))
        << 0 << true << 1 << QStringLiteral("a.txt") << 10 << false << 0;
    row("utf8 name",
        HttpResponse(200,
                     listResponse("<fileinfoes>" + fileEntry("<FileName>\xed\x8c\x8c\xec\x9d\xbc.txt</FileName>") +
                                  "</fileinfoes>")))
        << 0 << true << 1 << QStringLiteral(u"파일.txt") << 0 << false << 0;
    row("typed ok",
        HttpResponse(200, listResponse("<fileinfoes>" + fileEntry("<FileSize xsi:type=\"xsd:int\">9</FileSize>") +
                                       "</fileinfoes>")))
        << 0 << true << 1 << QString() << 9 << false << 0;
    row("wrong xsi type",
        HttpResponse(200,
                     listResponse("<fileinfoes>" + fileEntry("<FileSize xsi:type=\"xsd:string\">9</FileSize>") +
                                  "</fileinfoes>")))
        << 4 << false << 0 << QString() << 0 << false << 0;
    row("soap fault under 500", HttpResponse(500, kFault)) << 12 << false << 0 << QString() << 0 << false << 0;
    row("404", HttpResponse(404, "")) << 404 << false << 0 << QString() << 0 << false << 0;
    row("500 empty", HttpResponse(500, "")) << 500 << false << 0 << QString() << 0 << false << 0;
    // The runtime would set aside room for the announced length before reading a byte of it: such an
    // answer is refused unread, and the call fails with the status as its number.
    row("error status announcing more than any answer",
        "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 3078888888888\r\n\r\n<x/>")
        << 500 << false << 0 << QString() << 0 << false << 0;
    row("answer announcing more than any answer", "HTTP/1.1 200 OK\r\nContent-Length: 3078888888888\r\n\r\n<x/>")
        << 200 << false << 0 << QString() << 0 << false << 0;
    row("not xml", HttpResponse(200, "hello")) << 6 << false << 0 << QString() << 0 << false << 0;
    row("continue then answer", "HTTP/1.1 100 Continue\r\n\r\n" + HttpResponse(200, listResponse("<fileinfoes/>")))
        << 0 << true << 0 << QString() << 0 << false << 0;
    {
        const std::string body = listResponse("<fileinfoes>" + one + "</fileinfoes>");
        const std::string half = body.substr(0, body.size() / 2), rest = body.substr(body.size() / 2);
        std::string chunked = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nTransfer-Encoding: chunked\r\n\r\n";
        for (const std::string& part : {half, rest}) {
            char size[16];
            std::snprintf(size, sizeof size, "%zx\r\n", part.size());
            chunked += size + part + "\r\n";
        }
        chunked += "0\r\n\r\n";
        row("chunked answer", chunked) << 0 << true << 1 << QStringLiteral("a.txt") << 10 << false << 0;
    }
    row("soap 1.2 envelope",
        HttpResponse(
            200,
            "<?xml version=\"1.0\"?><e:Envelope "
            "xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body><GetUserFilesResponse "
            "xmlns=\"http://file.cloffa.example/\"><fileinfoes/></GetUserFilesResponse></e:Body></e:Envelope>"))
        << 0 << true << 0 << QString() << 0 << false << 0;
    row("other element at body level", HttpResponse(200, ResponseEnvelope("<Other xmlns=\"urn:x\"/>")))
        << 12 << false << 0 << QString() << 0 << false << 0;
    row("unknown must-understand header",
        HttpResponse(200,
                     "<?xml version=\"1.0\"?><soap:Envelope "
                     "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Header><x:Other "
                     "xmlns:x=\"urn:x\" soap:mustUnderstand=\"1\"/></soap:Header><soap:Body><GetUserFilesResponse "
                     "xmlns=\"http://file.cloffa.example/\"><fileinfoes/></GetUserFilesResponse></soap:Body></"
                     "soap:Envelope>"))
        << 8 << false << 0 << QString() << 0 << false << 0;
}

void TestSoapMessages::listDecoding() {
    QFETCH(QByteArray, http);
    QFETCH(int, error);
    QFETCH(bool, hasArray);
    QFETCH(int, count);
    QFETCH(QString, firstName);
    QFETCH(int, firstSize);
    QFETCH(bool, quota);
    QFETCH(int, userFree);
    FileServiceSoap proxy(offlineSettings());
    const FileListResult r = proxy.DecodeGetUserFiles(http.toStdString());
    QCOMPARE(r.error, error);
    QCOMPARE(r.hasFileArray, hasArray);
    QCOMPARE(int(r.files.size()), count);
    if (count > 0) {
        QCOMPARE(r.files.front().fileName, firstName);
        QCOMPARE(r.files.front().fileSize, firstSize);
    }
    QCOMPARE(r.quota.present, quota);
    QCOMPARE(r.quota.userFree, userFree);
}

void TestSoapMessages::boolDecoding_data() {
    QTest::addColumn<Op>("op");
    QTest::addColumn<QByteArray>("http");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("value");
    auto row = [](const char* name, Op op, const std::string& http) -> QTestData& {
        return QTest::newRow(name) << op << QByteArray::fromStdString(http);
    };
    row("true", Op::NeedUpdate, HttpResponse(200, boolResponse("NeedUpdate", "true"))) << 0 << true;
    row("false", Op::NeedUpdate, HttpResponse(200, boolResponse("NeedUpdate", "false"))) << 0 << false;
    row("1", Op::NeedUpdate, HttpResponse(200, boolResponse("NeedUpdate", "1"))) << 0 << true;
    row("0", Op::NeedUpdate, HttpResponse(200, boolResponse("NeedUpdate", "0"))) << 0 << false;
    row("yes", Op::NeedUpdate, HttpResponse(200, boolResponse("NeedUpdate", "yes"))) << 4 << false;
    row("missing child", Op::NeedUpdate,
        HttpResponse(200, ResponseEnvelope("<NeedUpdateResponse xmlns=\"http://file.cloffa.example/\"/>")))
        << 0 << false;
    row("delete true", Op::DelFile, HttpResponse(200, boolResponse("DelFile", "true"))) << 0 << true;
    row("delete fault", Op::DelFile, HttpResponse(500, kFault)) << 12 << false;
    row("delete answered as list", Op::DelFile, HttpResponse(200, listResponse("<fileinfoes/>"))) << 12 << false;
    row("truncated", Op::NeedUpdate,
        "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 900\r\n\r\n" +
            boolResponse("NeedUpdate", "true").substr(0, 200))
        << -1 << false;
}

void TestSoapMessages::boolDecoding() {
    QFETCH(Op, op);
    QFETCH(QByteArray, http);
    QFETCH(int, error);
    QFETCH(bool, value);
    FileServiceSoap proxy(offlineSettings());
    const BoolResult r = proxy.DecodeBool(op, http.toStdString());
    QCOMPARE(r.error, error);
    QCOMPARE(r.value, value);
}

void TestSoapMessages::errorNumbers_data() {
    QTest::addColumn<int>("runtime");
    QTest::addColumn<int>("shown");
    QTest::newRow("eof") << SOAP_EOF << -1;
    QTest::newRow("ok") << SOAP_OK << 0;
    QTest::newRow("tag") << SOAP_TAG_MISMATCH << 3;
    QTest::newRow("type") << SOAP_TYPE << 4;
    QTest::newRow("syntax") << SOAP_SYNTAX_ERROR << 5;
    QTest::newRow("no tag") << SOAP_NO_TAG << 6;
    QTest::newRow("must understand") << SOAP_MUSTUNDERSTAND << 8;
    QTest::newRow("namespace") << SOAP_NAMESPACE << 9;
    QTest::newRow("fault") << SOAP_FAULT << 12;
    QTest::newRow("memory") << SOAP_EOM << 16;
    QTest::newRow("tcp") << SOAP_TCP_ERROR << 23;
    QTest::newRow("http") << SOAP_HTTP_ERROR << 24;
    QTest::newRow("tls") << SOAP_SSL_ERROR << 25;
    QTest::newRow("version") << SOAP_VERSIONMISMATCH << 34;
    QTest::newRow("occurs") << SOAP_OCCURS << 39;
    QTest::newRow("status 404") << 404 << 404;
    QTest::newRow("status 201") << 201 << 201;
    QTest::newRow("status 599") << 599 << 599;
}

void TestSoapMessages::errorNumbers() {
    QFETCH(int, runtime);
    QFETCH(int, shown);
    QCOMPARE(ErrorNumbers::FromRuntime(runtime), shown);
}

void TestSoapMessages::tlsSetupFailureIs25() {
    // A missing CA file makes the context set-up fail: every https call reports a TLS error at once.
    FileServiceSettings s = offlineSettings();
    s.caFile = QStringLiteral("/nonexistent/ca.pem");
    FileServiceSoap proxy(s);
    QCOMPARE(proxy.CallNeedUpdate(kDigest).error, 25);
    QVERIFY(!proxy.ConnectionOpen());
}

void TestSoapMessages::overlongEndpointIs16() {
    FileServiceSettings s = offlineSettings();
    s.baseUrl = QStringLiteral("https://h.example/") + QString(1000, u'a');
    FileServiceSoap proxy(s);
    QCOMPARE(proxy.CallNeedUpdate(kDigest).error, 16);
}

QTEST_GUILESS_MAIN(TestSoapMessages)
#include "tst_soap_messages.moc"
