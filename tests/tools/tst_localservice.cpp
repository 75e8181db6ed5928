// Tests of the local Cloffa service itself, through raw TLS and libcurl clients.
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <curl/curl.h>

#include <filesystem>
#include <fstream>
#include <random>

#include <signal.h>

#include "tests/tools/TestClient.h"
#include "tools/cloffa-service/LocalService.h"

using namespace cloffa;

namespace {

const std::string kNs = "http://file.cloffa.example/";
const std::string kKey = "세션-key-1";
const std::string kBoundary = "----VAPRE-9e2a467076f3470ca4e6051e031afaab-";

std::string envelope(const std::string& auth, const std::string& bodyElement, const std::string& ns = kNs) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:ns1=\"" +
           ns +
           "\">"
           "<SOAP-ENV:Header><ns1:UserCredentials SOAP-ENV:mustUnderstand=\"1\"><ns1:strAuth>" +
           auth + "</ns1:strAuth></ns1:UserCredentials></SOAP-ENV:Header><SOAP-ENV:Body>" + bodyElement +
           "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string getUserFiles(const std::string& session) {
    return "<ns1:GetUserFiles><ns1:strSession>" + session + "</ns1:strSession></ns1:GetUserFiles>";
}

std::string chunked(const std::string& body) {
    std::string out;
    for (size_t pos = 0; pos < body.size(); pos += 100) {
        const std::string piece = body.substr(pos, 100);
        char line[16];
        std::snprintf(line, sizeof line, "%zx\r\n", piece.size());
        out += line + piece + "\r\n";
    }
    return out + "0\r\n\r\n";
}

std::string soapRequest(const std::string& body, const std::string& action, int port) {
    return "POST /Cloffa/File/FileService.asmx HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nUser-Agent: gSOAP/2.7\r\nContent-Type: text/xml;charset=utf-8\r\nTransfer-Encoding: chunked\r\n"
           "Connection: keep-alive\r\nSOAPAction: \"" +
           kNs + action + "\"\r\n\r\n" + chunked(body);
}

std::vector<std::string> sessionHeaders(const std::string& key = kKey) {
    return {"userSession: " + key, "If-None-Match: " + EtagFor(key), "User-Agent: Tavirun"};
}

std::string multipart(const std::string& fileName, const std::string& content) {
    return "--" + kBoundary + "\r\nContent-Disposition: form-data;name=\"\";filename=\"" + fileName +
           "\"\r\nContent-Type: text/plain\r\n\r\n" + content + "\r\n--" + kBoundary + "--";
}

std::vector<std::string> uploadHeaders(const std::string& key = kKey) {
    auto h = sessionHeaders(key);
    h.push_back("Content-Type: multipart/form-data;boundary=" + kBoundary);
    return h;
}

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = char(gen() & 0xff);
    return s;
}

Fault faultOf(Fault::Kind kind) {
    Fault f;
    f.kind = kind;
    return f;
}

QByteArray sha256(const std::string& s) {
    return QCryptographicHash::hash(QByteArrayView(s.data(), qsizetype(s.size())), QCryptographicHash::Sha256);
}

size_t countFiles(const std::filesystem::path& dir) {
    size_t n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(dir, ec);
         !ec && it != std::filesystem::directory_iterator(); ++it)
        ++n;
    return n;
}

} // namespace

class TestLocalService : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LocalService> m_service;

    std::string url(const std::string& path) const { return m_service->baseUrl() + path; }
    std::string ca() const { return m_service->caFile().string(); }

private slots:
    void initTestCase() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    void cleanupTestCase() { curl_global_cleanup(); }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        ServiceOptions o;
        o.storeDir = m_dir->path().toStdString();
        o.sessionKey = kKey;
        m_service = std::make_unique<LocalService>(o);
        std::string error;
        QVERIFY2(m_service->start(&error), error.c_str());
        QVERIFY(m_service->port() > 0);
    }

    void cleanup() {
        m_service.reset();
        m_dir.reset();
    }

    void authDigest() {
        // MD5 of the CP949 bytes of "세션-key-1" followed by "7391".
        QByteArray cp949 = QByteArray::fromHex("bcbcbcc7") + "-key-17391";
        const QByteArray md5 = QCryptographicHash::hash(cp949, QCryptographicHash::Md5).toHex();
        QCOMPARE(QByteArray::fromStdString(AuthDigestFor(kKey)), md5);
        const std::string etag = EtagFor(kKey);
        QCOMPARE(etag.size(), size_t(12));
        QCOMPARE(etag, md5.left(3).toStdString() + "-" + md5.mid(3, 8).toStdString());
    }

    void soapAnswerAndCapture() {
        m_service->addFile("문서 <1>.txt", "abc");
        RawTlsClient client;
        QVERIFY(client.connect(m_service->port(), ca()));
        const std::string body = envelope(AuthDigestFor(kKey), getUserFiles(kKey));
        QVERIFY(client.send(soapRequest(body, "GetUserFiles", m_service->port())));
        std::string answer;
        const std::string head = client.readAnswer(&answer);
        QVERIFY2(head.rfind("HTTP/1.1 200 OK\r\n", 0) == 0, head.c_str());
        QVERIFY(head.find("\r\nContent-Type: text/xml; charset=utf-8\r\n") != std::string::npos);
        QVERIFY(head.find("\r\nContent-Length: " + std::to_string(answer.size()) + "\r\n") != std::string::npos);
        QVERIFY(answer.find("<GetUserFilesResponse xmlns=\"" + kNs + "\">") != std::string::npos);
        QVERIFY(
            answer.find("<FileInfoes><Idx>1</Idx><FileName>문서 &lt;1&gt;.txt</FileName><FileSize>3</FileSize>") !=
            std::string::npos);
        QVERIFY(answer.find("<UserSize>104857600</UserSize><UserFree>104857597</UserFree>") != std::string::npos);

        // Same connection again: keep-alive.
        QVERIFY(client.send(
            soapRequest(envelope(AuthDigestFor(kKey),
                                 "<ns1:NeedUpdate><ns1:strNowVersion>1.0</ns1:strNowVersion></ns1:NeedUpdate>"),
                        "NeedUpdate", m_service->port())));
        QVERIFY(client.readAnswer(&answer).rfind("HTTP/1.1 200", 0) == 0);
        QVERIFY(answer.find("<NeedUpdateResponse xmlns=\"" + kNs +
                            "\"><NeedUpdateResult>false</NeedUpdateResult>") != std::string::npos);
        QCOMPARE(m_service->connectionsAccepted(), 1);

        const auto reqs = m_service->requests();
        QCOMPARE(reqs.size(), size_t(2));
        QCOMPARE(reqs[0].method, std::string("POST"));
        QCOMPARE(reqs[0].target, std::string("/Cloffa/File/FileService.asmx"));
        QCOMPARE(reqs[0].headers.size(), size_t(6));
        QCOMPARE(reqs[0].headers[0].first, std::string("Host"));
        QCOMPARE(reqs[0].headers[5].first, std::string("SOAPAction"));
        QCOMPARE(reqs[0].headers[5].second, "\"" + kNs + "GetUserFiles\"");
        QVERIFY(reqs[0].headerBlock.rfind("Host: 127.0.0.1:", 0) == 0);
        QVERIFY(reqs[0].headerBlock.ends_with("SOAPAction: \"" + kNs + "GetUserFiles\"\r\n"));
        QVERIFY(reqs[0].chunked);
        QCOMPARE(reqs[0].body, body);
        QCOMPARE(reqs[0].connectionId, reqs[1].connectionId);
    }

    void soapRefusals_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("faultText");
        const std::string good = AuthDigestFor(kKey);
        QTest::newRow("wrong auth") << QByteArray::fromStdString(
                                           envelope(std::string(32, '0'), getUserFiles(kKey)))
                                    << QByteArray("credentials");
        QTest::newRow("wrong session") << QByteArray::fromStdString(envelope(good, getUserFiles("other")))
                                       << QByteArray("session");
        QTest::newRow("wrong namespace")
            << QByteArray::fromStdString(envelope(good, getUserFiles(kKey), "http://other.example/"))
            << QByteArray("request element");
        QTest::newRow("malformed") << QByteArray::fromStdString(envelope(good, getUserFiles(kKey)).substr(0, 150))
                                   << QByteArray("not well formed");
        QTest::newRow("no envelope") << QByteArray("<a/>") << QByteArray("not a SOAP envelope");
        QTest::newRow("bad idx") << QByteArray::fromStdString(
                                        envelope(good, "<ns1:DelFile><ns1:strSession>" + kKey +
                                                           "</ns1:strSession><ns1:Idx>x</ns1:Idx></ns1:DelFile>"))
                                 << QByteArray("Idx");
    }

    void soapRefusals() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, faultText);
        const CurlReply r = CurlRequest(url("/Cloffa/File/FileService.asmx"), ca(), "POST",
                                        {"Content-Type: text/xml;charset=utf-8"}, body.toStdString());
        QCOMPARE(r.curlCode, 0);
        QCOMPARE(r.status, 500L);
        QVERIFY(r.body.find("<faultcode>soap:Client</faultcode>") != std::string::npos);
        QVERIFY2(r.body.find(faultText.toStdString()) != std::string::npos, r.body.c_str());
    }

    void soapFaultInjection() {
        m_service->injectFault(Endpoint::Soap, faultOf(Fault::Kind::MissingFileArray), 1);
        const std::string body = envelope(AuthDigestFor(kKey), getUserFiles(kKey));
        CurlReply r = CurlRequest(url("/Cloffa/File/FileService.asmx"), ca(), "POST", {}, body);
        QCOMPARE(r.status, 200L);
        QVERIFY(r.body.find("<fileinfoes>") == std::string::npos);
        r = CurlRequest(url("/Cloffa/File/FileService.asmx"), ca(), "POST", {}, body);
        QVERIFY(r.body.find("<fileinfoes>") != std::string::npos); // only the next request
        Fault status = faultOf(Fault::Kind::HttpStatus);
        status.status = 404;
        m_service->injectFault(Endpoint::Any, status, 1);
        r = CurlRequest(url("/Cloffa/File/FileService.asmx"), ca(), "POST", {}, body);
        QCOMPARE(r.status, 404L);
        QVERIFY(r.body.empty());
    }

    void roundTrip_data() {
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0;
        QTest::newRow("1024") << 1024;
        QTest::newRow("300k") << 300 * 1024 + 7;
    }

    void roundTrip() {
        QFETCH(int, size);
        const std::string content = randomBytes(size_t(size), unsigned(size));
        const CurlReply up = CurlRequest(url("/Cloffa/File/Set.aspx?mode=0"), ca(), "POST", uploadHeaders(),
                                         multipart("C:\\Users\\홍길동\\문서\\자료.bin", content));
        QCOMPARE(up.curlCode, 0);
        QCOMPARE(up.status, 200L);
        const auto files = m_service->files();
        QCOMPARE(files.size(), size_t(1));
        QCOMPARE(files[0].name, std::string("자료.bin"));
        QCOMPARE(files[0].size, int64_t(size));
        const CurlReply down = CurlRequest(url("/Cloffa/File/Get.aspx?Idx=" + std::to_string(files[0].idx)), ca(),
                                           "GET", sessionHeaders());
        QCOMPARE(down.status, 200L);
        QVERIFY(down.headers.find("Content-Length: " + std::to_string(size) + "\r\n") != std::string::npos);
        QCOMPARE(sha256(down.body), sha256(content));
        QCOMPARE(countFiles(m_dir->path().toStdString() + "/incoming"), size_t(0));
    }

    void uploadModes() {
        auto upload = [&](int mode, const std::string& content) {
            return CurlRequest(url("/Cloffa/File/Set.aspx?mode=" + std::to_string(mode)), ca(), "POST",
                               uploadHeaders(), multipart("/home/me/a.txt", content))
                .status;
        };
        QCOMPARE(upload(0, "one"), 200L);
        QCOMPARE(upload(0, "two!"), 200L);
        auto files = m_service->files();
        QCOMPARE(files.size(), size_t(2));
        QVERIFY(files[0].idx != files[1].idx);
        QCOMPARE(upload(1, "three"), 200L);
        files = m_service->files();
        QCOMPARE(files.size(), size_t(2));
        QCOMPARE(files[0].size, int64_t(5));
        QCOMPARE(upload(2, "x"), 400L);
    }

    void quotaRefused() {
        m_service->setQuotaTotal(1000);
        const CurlReply r = CurlRequest(url("/Cloffa/File/Set.aspx?mode=0"), ca(), "POST", uploadHeaders(),
                                        multipart("big.bin", std::string(1001, 'x')));
        QCOMPARE(r.status, 405L);
        QVERIFY(m_service->files().empty());
        QCOMPARE(countFiles(m_dir->path().toStdString() + "/objects"), size_t(0));
        QCOMPARE(countFiles(m_dir->path().toStdString() + "/incoming"), size_t(0));
        QCOMPARE(CurlRequest(url("/Cloffa/File/Set.aspx?mode=0"), ca(), "POST", uploadHeaders(),
                             multipart("fits.bin", std::string(1000, 'x')))
                     .status,
                 200L);
        QCOMPARE(m_service->quotaFree(), 0);
    }

    void sessionHeadersChecked_data() {
        QTest::addColumn<bool>("upload");
        QTest::addColumn<QByteArray>("session");
        QTest::addColumn<QByteArray>("etag");
        const QByteArray key = QByteArray::fromStdString(kKey), etag = QByteArray::fromStdString(EtagFor(kKey));
        for (bool up : {false, true}) {
            const char* dir = up ? "upload" : "download";
            QTest::addRow("%s wrong session", dir) << up << QByteArray("nope") << etag;
            QTest::addRow("%s wrong etag", dir) << up << key << QByteArray("000-00000000");
            QTest::addRow("%s no headers", dir) << up << QByteArray() << QByteArray();
        }
    }

    void sessionHeadersChecked() {
        QFETCH(bool, upload);
        QFETCH(QByteArray, session);
        QFETCH(QByteArray, etag);
        const int32_t idx = m_service->addFile("a.txt", "abc");
        std::vector<std::string> h;
        if (!session.isEmpty())
            h = {"userSession: " + session.toStdString(), "If-None-Match: " + etag.toStdString()};
        if (upload)
            h.push_back("Content-Type: multipart/form-data;boundary=" + kBoundary);
        const CurlReply r =
            upload ? CurlRequest(url("/Cloffa/File/Set.aspx?mode=0"), ca(), "POST", h, multipart("b.txt", "zz"))
                   : CurlRequest(url("/Cloffa/File/Get.aspx?Idx=" + std::to_string(idx)), ca(), "GET", h);
        QCOMPARE(r.status, 401L);
        QCOMPARE(m_service->files().size(), size_t(1));
    }

    void downloadUnknownIndex() {
        QCOMPARE(CurlRequest(url("/Cloffa/File/Get.aspx?Idx=77"), ca(), "GET", sessionHeaders()).status, 404L);
    }

    void downloadFaults_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("expectedCurl");
        QTest::addColumn<long>("expectedStatus");
        QTest::addColumn<int>("expectedBytes");
        QTest::newRow("short body") << int(Fault::Kind::ShortBody) << 0 << int(CURLE_PARTIAL_FILE) << 200L
                                    << 4000 - 100;
        QTest::newRow("close after") << int(Fault::Kind::CloseAfterBytes) << 0 << int(CURLE_PARTIAL_FILE) << 200L
                                     << 100;
        QTest::newRow("no length") << int(Fault::Kind::NoContentLength) << 0 << int(CURLE_OK) << 200L << 4000;
        QTest::newRow("404 after body")
            << int(Fault::Kind::StatusAfterBody) << 404 << int(CURLE_OK) << 404L << 4000;
    }

    void downloadFaults() {
        QFETCH(int, kind);
        QFETCH(int, status);
        QFETCH(int, expectedCurl);
        QFETCH(long, expectedStatus);
        QFETCH(int, expectedBytes);
        const int32_t idx = m_service->addFile("f.bin", randomBytes(4000, 1));
        Fault f = faultOf(Fault::Kind(kind));
        f.status = status;
        f.bytes = 100;
        m_service->injectFault(Endpoint::Download, f, 1);
        const CurlReply r =
            CurlRequest(url("/Cloffa/File/Get.aspx?Idx=" + std::to_string(idx)), ca(), "GET", sessionHeaders());
        QCOMPARE(r.curlCode, expectedCurl);
        QCOMPARE(r.status, expectedStatus);
        QCOMPARE(int(r.body.size()), expectedBytes);
        if (kind == int(Fault::Kind::NoContentLength))
            QVERIFY(r.headers.find("Content-Length") == std::string::npos);
    }

    void certificates_data() {
        QTest::addColumn<int>("cert");
        QTest::addColumn<int>("expectedCurl");
        QTest::newRow("good") << int(Certificate::Good) << int(CURLE_OK);
        QTest::newRow("wrong host") << int(Certificate::WrongHost) << int(CURLE_PEER_FAILED_VERIFICATION);
        QTest::newRow("expired") << int(Certificate::Expired) << int(CURLE_PEER_FAILED_VERIFICATION);
        QTest::newRow("untrusted") << int(Certificate::Untrusted) << int(CURLE_PEER_FAILED_VERIFICATION);
    }

    void certificates() {
        QFETCH(int, cert);
        QFETCH(int, expectedCurl);
        m_service->setCertificate(Certificate(cert));
        const CurlReply r = CurlRequest(url("/Cloffa/File/Get.aspx?Idx=1"), ca(), "GET", sessionHeaders());
        QCOMPARE(r.curlCode, expectedCurl);
        // localhost is in the good certificate too.
        if (cert == int(Certificate::Good))
            QCOMPARE(CurlRequest("https://localhost:" + std::to_string(m_service->port()) + "/x", ca(), "GET", {})
                         .status,
                     404L);
    }

    void storeSurvivesRestart() {
        const int32_t a = m_service->addFile("첫째.txt", "first");
        const int32_t b = m_service->addFile("둘째.txt", "second");
        QVERIFY(m_service->removeFile(a));
        std::ifstream caIn(ca());
        const std::string caBefore((std::istreambuf_iterator<char>(caIn)), {});
        const auto before = m_service->files();
        m_service->stop();
        ServiceOptions o;
        o.storeDir = m_dir->path().toStdString();
        o.sessionKey = kKey;
        m_service = std::make_unique<LocalService>(o);
        QVERIFY(m_service->start());
        const auto after = m_service->files();
        QCOMPARE(after.size(), size_t(1));
        QCOMPARE(after[0].idx, b);
        QCOMPARE(after[0].name, before[0].name);
        QCOMPARE(after[0].regDate, before[0].regDate);
        std::ifstream caIn2(ca());
        QCOMPARE(std::string((std::istreambuf_iterator<char>(caIn2)), {}), caBefore);
        QVERIFY(m_service->addFile("셋째.txt", "x") > b); // indices are never reused
    }

    void brokenUploadLeavesNothing() {
        RawTlsClient client;
        QVERIFY(client.connect(m_service->port(), ca()));
        const std::string body = multipart("half.bin", std::string(50000, 'h'));
        std::string request = "POST /Cloffa/File/Set.aspx?mode=0 HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                              "multipart/form-data;boundary=" +
                              kBoundary + "\r\nuserSession: " + kKey + "\r\nIf-None-Match: " + EtagFor(kKey) +
                              "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
        QVERIFY(client.send(request + body.substr(0, 30000)));
        QTRY_VERIFY_WITH_TIMEOUT(countFiles(m_dir->path().toStdString() + "/incoming") == 1, 2000);
        client.close();
        QTRY_VERIFY_WITH_TIMEOUT(m_service->requests().size() == 1, 2000);
        QTRY_COMPARE_WITH_TIMEOUT(countFiles(m_dir->path().toStdString() + "/incoming"), size_t(0), 2000);
        QVERIFY(m_service->files().empty());
        QCOMPARE(countFiles(m_dir->path().toStdString() + "/objects"), size_t(0));
    }

    void expectContinue() {
        RawTlsClient client;
        QVERIFY(client.connect(m_service->port(), ca()));
        const std::string body = multipart("/tmp/c.txt", "continued");
        QVERIFY(client.send("POST /Cloffa/File/Set.aspx?mode=0 HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                            "multipart/form-data;boundary=" +
                            kBoundary + "\r\nuserSession: " + kKey + "\r\nIf-None-Match: " + EtagFor(kKey) +
                            "\r\nExpect: 100-continue\r\nContent-Length: " + std::to_string(body.size()) +
                            "\r\n\r\n"));
        QCOMPARE(client.readAnswer(), std::string("HTTP/1.1 100 Continue\r\n\r\n"));
        QVERIFY(client.send(body));
        QVERIFY(client.readAnswer().rfind("HTTP/1.1 200 OK\r\n", 0) == 0);
        QCOMPARE(m_service->files().size(), size_t(1));
        QCOMPARE(m_service->files()[0].name, std::string("c.txt"));
    }

    void soapDelFile() {
        const int32_t keep = m_service->addFile("keep.txt", "k");
        const int32_t gone = m_service->addFile("gone.txt", "g");
        const auto del = [&](int32_t idx) {
            return CurlRequest(url("/Cloffa/File/FileService.asmx"), ca(), "POST",
                               {"SOAPAction: \"" + kNs + "DelFile\""},
                               envelope(AuthDigestFor(kKey),
                                        "<ns1:DelFile><ns1:strSession>" + kKey + "</ns1:strSession><ns1:Idx>" +
                                            std::to_string(idx) + "</ns1:Idx></ns1:DelFile>"));
        };
        CurlReply r = del(gone);
        QCOMPARE(r.status, 200L);
        QVERIFY(r.body.find("<DelFileResponse xmlns=\"" + kNs + "\"><DelFileResult>true</DelFileResult>") !=
                std::string::npos);
        QCOMPARE(m_service->files().size(), size_t(1));
        QCOMPARE(m_service->files()[0].idx, keep);
        r = del(gone);
        QVERIFY(r.body.find("<DelFileResult>false</DelFileResult>") != std::string::npos);
        // A SOAPAction naming another operation is refused.
        r = CurlRequest(url("/Cloffa/File/FileService.asmx"), ca(), "POST", {"SOAPAction: \"" + kNs + "DelFile\""},
                        envelope(AuthDigestFor(kKey), getUserFiles(kKey)));
        QCOMPARE(r.status, 500L);
        QVERIFY(r.body.find("SOAPAction") != std::string::npos);
    }

    void connectionCloseFault() {
        m_service->injectFault(Endpoint::Soap, faultOf(Fault::Kind::ConnectionClose), 1);
        RawTlsClient client;
        QVERIFY(client.connect(m_service->port(), ca()));
        const std::string request =
            soapRequest(envelope(AuthDigestFor(kKey), getUserFiles(kKey)), "GetUserFiles", m_service->port());
        QVERIFY(client.send(request));
        const std::string head = client.readAnswer();
        QVERIFY(head.rfind("HTTP/1.1 200 OK\r\n", 0) == 0);
        QVERIFY(head.find("\r\nConnection: close\r\n") != std::string::npos);
        client.send(request);
        QVERIFY(client.readAnswer().empty()); // the service closed the connection
    }

    void stalls() {
        const int32_t idx = m_service->addFile("s.bin", randomBytes(200000, 3));
        Fault stall = faultOf(Fault::Kind::Stall);
        stall.stallMs = 3000;
        m_service->injectFault(Endpoint::Soap, stall, 1);
        QElapsedTimer timer;
        timer.start();
        CurlReply r = CurlRequest(url("/Cloffa/File/FileService.asmx"), ca(), "POST", {},
                                  envelope(AuthDigestFor(kKey), getUserFiles(kKey)), 300);
        QCOMPARE(r.curlCode, int(CURLE_OPERATION_TIMEDOUT));
        QCOMPARE(m_service->requests().size(), size_t(1)); // the request was read and captured
        Fault mid = faultOf(Fault::Kind::StallMidBody);
        mid.bytes = 70000;
        mid.stallMs = 3000;
        m_service->injectFault(Endpoint::Download, mid, 1);
        r = CurlRequest(url("/Cloffa/File/Get.aspx?Idx=" + std::to_string(idx)), ca(), "GET", sessionHeaders(), {},
                        400);
        QCOMPARE(r.curlCode, int(CURLE_OPERATION_TIMEDOUT));
        QVERIFY(r.body.size() >= 65536 && r.body.size() <= 70000);
        // Stopping does not wait for the stalls to run out.
        m_service->stop();
        QVERIFY(timer.elapsed() < 2500);
    }

    void uploadStatusAfterBody() {
        Fault f = faultOf(Fault::Kind::StatusAfterBody);
        f.status = 500;
        m_service->injectFault(Endpoint::Upload, f, 1);
        const std::string body = multipart("x.txt", "payload");
        const CurlReply r = CurlRequest(url("/Cloffa/File/Set.aspx?mode=0"), ca(), "POST", uploadHeaders(), body);
        QCOMPARE(r.status, 500L);
        QVERIFY(m_service->files().empty());
        QCOMPARE(m_service->requests().back().body, body);
        QCOMPARE(m_service->requests().back().bodyLength, int64_t(body.size()));
    }

    void program() {
        QTemporaryDir dir;
        QProcess p;
        p.start(QStringLiteral(CLOFFA_SERVICE_PROGRAM),
                {QStringLiteral("--store"), dir.path(), QStringLiteral("--sample"),
                 QStringLiteral("--session-key"), QStringLiteral("k1")});
        QVERIFY(p.waitForStarted());
        QVERIFY(p.waitForReadyRead(10000));
        const QString line = QString::fromUtf8(p.readLine()).trimmed();
        const QStringList parts = line.split(u' ');
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts[0], QStringLiteral("ready"));
        QVERIFY(parts[1].startsWith(QStringLiteral("https://127.0.0.1:")));
        QVERIFY(parts[2].startsWith(QStringLiteral("ca=")));
        const CurlReply r = CurlRequest(parts[1].toStdString() + "/Cloffa/File/Get.aspx?Idx=1",
                                        parts[2].mid(3).toStdString(), "GET", sessionHeaders("k1"));
        QCOMPARE(r.status, 200L);
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    void sampleSet() {
        QTemporaryDir dir;
        ServiceOptions o;
        o.storeDir = dir.path().toStdString();
        o.sampleSet = true;
        o.quotaTotal = INT32_MAX;
        LocalService s(o);
        QVERIFY(s.start());
        const auto files = s.files();
        QCOMPARE(files.size(), size_t(12));
        int64_t claimed = 0;
        bool longName = false;
        for (const StoredFile& f : files) {
            claimed += f.listedSize;
            longName = longName || QString::fromStdString(f.name).size() >= 60;
            QVERIFY(f.listedSize >= f.size);
        }
        QVERIFY(longName);
        QVERIFY(claimed > 1'900'000'000 && s.quotaFree() > 0);
        QCOMPARE(countFiles(dir.path().toStdString() + "/objects"), size_t(0)); // content is generated
        const CurlReply r = CurlRequest(s.baseUrl() + "/Cloffa/File/Get.aspx?Idx=" + std::to_string(files[0].idx),
                                        s.caFile().string(), "GET", sessionHeaders(o.sessionKey));
        QCOMPARE(r.status, 200L);
        QCOMPARE(int64_t(r.body.size()), files[0].size);
    }
};

QTEST_GUILESS_MAIN(TestLocalService)
#include "tst_localservice.moc"
