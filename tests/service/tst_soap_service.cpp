// The proxy against the local service: exact request bytes, error numbers from real exchanges and
// connection reuse.
#include "SoapTestTexts.h"
#include "app/SessionStore.h"
#include "service/FileService.h"
#include "tools/cloffa-service/LocalService.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

using namespace SoapTestTexts;
using Kind = cloffa::Fault::Kind;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(cloffa::Fault)
Q_DECLARE_METATYPE(cloffa::Certificate)

namespace {
const char* kKey = "test-session-key";

FileServiceSettings settingsFor(const cloffa::LocalService& service) {
    FileServiceSettings s = FileServiceSettings::FromDeployment();
    s.baseUrl = QString::fromStdString(service.baseUrl());
    s.caFile = QString::fromStdString(service.caFile().string());
    return s;
}

cloffa::Fault raw(int status, const std::string& body) {
    cloffa::Fault f;
    f.kind = Kind::Raw;
    f.status = status;
    f.body = body;
    return f;
}
cloffa::Fault kind(Kind k, int status = 0) {
    cloffa::Fault f;
    f.kind = k;
    f.status = status;
    return f;
}

// A loopback listener for plain HTTP that answers every request with a head and then trickles its body
// a byte every 200 ms: no single read ever waits long, the answer never ends.
class TrickleServer {
public:
    TrickleServer() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_fd, 4);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~TrickleServer() {
        m_quit = true;
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        ::close(m_fd);
    }
    int port() const { return m_port; }

private:
    void Serve() {
        const int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            return;
        char buffer[4096];
        const timeval wait{0, 300000};
        ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        ::recv(c, buffer, sizeof buffer, 0);
        const std::string head =
            "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: 100000\r\n\r\n";
        ::send(c, head.data(), head.size(), MSG_NOSIGNAL);
        // Ends by itself after 40 s, so a client without an overall limit fails by its time instead of hanging.
        for (int i = 0; i < 200 && !m_quit; ++i) {
            if (::send(c, " ", 1, MSG_NOSIGNAL) != 1)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        ::close(c);
    }
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

// A loopback port with nothing listening.
int closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}
} // namespace

class TestSoapService : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void requestOnTheWire_data();
    void requestOnTheWire();
    void listFromTheStore();
    void errorNumbers_data();
    void errorNumbers();
    void connectionKeptAfterAnswer_data();
    void connectionKeptAfterAnswer();
    void socketKeepAlive();
    void stalledHandshakeEndsAtConnectTimeOut();
    void certificates_data();
    void certificates();
    void refusedPort();
    void connectionReuse();
    void workerThreadsShareConnection();
    void connectionCloseOpensNew();
    void faultKeepsConnection();
    void stallTimesOut();
    void trickleEndsAtTheCallLimit();
    void stopEndsTheRunningCall_data();
    void stopEndsTheRunningCall();
    void closedUnderTheClient_data();
    void closedUnderTheClient();
    void closedAtAccept();
    void listCopiedUnderServiceLock_data();
    void listCopiedUnderServiceLock();
    void cleanupTestCase();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<cloffa::LocalService> m_service;
    SessionStore m_store{SessionStore::Settings::None};
};

void TestSoapService::initTestCase() {
    QVERIFY(m_dir.isValid());
    cloffa::ServiceOptions o;
    o.storeDir = m_dir.path().toStdString();
    o.sessionKey = kKey;
    m_service = std::make_unique<cloffa::LocalService>(o);
    std::string error;
    QVERIFY2(m_service->start(&error), error.c_str());
    m_store.SetSessionKey(QString::fromLatin1(kKey));
}

void TestSoapService::init() {
    m_service->clearFaults();
    m_service->clearRequests();
    m_service->setCertificate(cloffa::Certificate::Good);
}

void TestSoapService::cleanupTestCase() {
    m_service.reset();
}

void TestSoapService::requestOnTheWire_data() {
    QTest::addColumn<int>("op");
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<QByteArray>("element");
    const std::string key = kKey;
    QTest::newRow("GetUserFiles") << 0 << QByteArray("http://file.cloffa.example/GetUserFiles")
                                  << QByteArray::fromStdString("<ns1:GetUserFiles><ns1:strSession>" + key +
                                                               "</ns1:strSession></ns1:GetUserFiles>");
    QTest::newRow("DelFile") << 1 << QByteArray("http://file.cloffa.example/DelFile")
                             << QByteArray::fromStdString("<ns1:DelFile><ns1:strSession>" + key +
                                                          "</ns1:strSession><ns1:Idx>77</ns1:Idx></ns1:DelFile>");
    QTest::newRow("NeedUpdate")
        << 2 << QByteArray("http://file.cloffa.example/NeedUpdate")
        << QByteArray("<ns1:NeedUpdate><ns1:strNowVersion>1.0</ns1:strNowVersion></ns1:NeedUpdate>");
}

void TestSoapService::requestOnTheWire() {
    QFETCH(int, op);
    QFETCH(QByteArray, action);
    QFETCH(QByteArray, element);
    FileService service(settingsFor(*m_service));
    if (op == 0)
        QCOMPARE(service.GetUserFiles(m_store).error, 0);
    else if (op == 1)
        service.DelFile(m_store, 77);
    else
        QCOMPARE(service.NeedUpdate(m_store).error, 0);
    const auto requests = m_service->requests();
    QCOMPARE(int(requests.size()), 1);
    const cloffa::CapturedRequest& r = requests.front();
    QCOMPARE(QByteArray::fromStdString(r.method), QByteArray("POST"));
    QCOMPARE(QByteArray::fromStdString(r.target), QByteArray("/Cloffa/File/FileService.asmx"));
    QVERIFY(r.chunked);
    const std::vector<std::pair<std::string, std::string>> expected{
        {"Host", "127.0.0.1:" + std::to_string(m_service->port())},
        {"User-Agent", "gSOAP/2.7"},
        {"Content-Type", "text/xml;charset=utf-8"},
        {"Transfer-Encoding", "chunked"},
        {"Connection", "keep-alive"},
        {"SOAPAction", "\"" + action.toStdString() + "\""},
    };
    QCOMPARE(r.headers.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        QCOMPARE(QByteArray::fromStdString(r.headers[i].first), QByteArray::fromStdString(expected[i].first));
        QCOMPARE(QByteArray::fromStdString(r.headers[i].second), QByteArray::fromStdString(expected[i].second));
    }
    const std::string digest = cloffa::AuthDigestFor(kKey);
    QCOMPARE(QByteArray::fromStdString(digest), m_store.GetAuthDigest());
    QCOMPARE(QByteArray::fromStdString(r.body),
             QByteArray::fromStdString(RequestBody(digest, element.toStdString())));
}

void TestSoapService::listFromTheStore() {
    const int32_t idx = m_service->addFile("\xeb\xac\xb8\xec\x84\x9c.txt", "hello");
    FileService service(settingsFor(*m_service));
    const FileListResult r = service.GetUserFiles(m_store);
    QCOMPARE(r.error, 0);
    QVERIFY(r.hasFileArray);
    QVERIFY(r.quota.present);
    QCOMPARE(r.quota.userSize, m_service->quotaTotal());
    QCOMPARE(r.quota.userFree, m_service->quotaFree());
    bool found = false;
    for (const ServiceFileEntry& f : r.files) {
        if (f.idx == idx) {
            found = true;
            QCOMPARE(f.fileName, QStringLiteral(u"문서.txt"));
            QCOMPARE(f.fileSize, 5);
        }
    }
    QVERIFY(found);
    QCOMPARE(service.DelFile(m_store, idx).error, 0);
    QVERIFY(!m_service->file(idx));
}

void TestSoapService::errorNumbers_data() {
    QTest::addColumn<cloffa::Fault>("fault");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("value");
    const std::string yes = ResponseEnvelope(
        "<NeedUpdateResponse "
        "xmlns=\"http://file.cloffa.example/\"><NeedUpdateResult>yes</NeedUpdateResult></NeedUpdateResponse>");
    const std::string one = ResponseEnvelope(
        "<NeedUpdateResponse "
        "xmlns=\"http://file.cloffa.example/\"><NeedUpdateResult>1</NeedUpdateResult></NeedUpdateResponse>");
    QTest::newRow("fault under 500") << kind(Kind::SoapFault) << 12 << false;
    QTest::newRow("404") << kind(Kind::HttpStatus, 404) << 404 << false;
    QTest::newRow("500 empty") << kind(Kind::HttpStatus, 500) << 500 << false;
    QTest::newRow("yes") << raw(200, yes) << 4 << false;
    QTest::newRow("1") << raw(200, one) << 0 << true;
    QTest::newRow("wrong element") << kind(Kind::WrongElement) << 12 << false;
    QTest::newRow("wrong xsi type") << kind(Kind::WrongXsiType) << 4 << false;
    QTest::newRow("closed without answer") << kind(Kind::CloseConnection) << -1 << false;
    QTest::newRow("cut mid-document") << kind(Kind::MalformedXml) << -1
                                      << false; // ends at the body's length, not the time-out
    QTest::newRow("envelope without namespace") << kind(Kind::EnvelopeNoNamespace) << 34 << false;
    QTest::newRow("envelope in an unknown namespace") << kind(Kind::EnvelopeUnknownNamespace) << 34 << false;
    QTest::newRow("mismatched end tag") << kind(Kind::MismatchedEndTag) << 5 << false;
    QTest::newRow("garbage status line") << kind(Kind::GarbageStatusLine) << 24 << false;
}

void TestSoapService::errorNumbers() {
    QFETCH(cloffa::Fault, fault);
    QFETCH(int, error);
    QFETCH(bool, value);
    m_service->injectFault(cloffa::Endpoint::Soap, fault);
    FileService service(settingsFor(*m_service));
    QElapsedTimer timer;
    timer.start();
    const BoolResult r = service.NeedUpdate(m_store);
    QCOMPARE(r.error, error);
    QCOMPARE(r.value, value);
    // Every one of these answers is complete: none may wait for the receive time-out.
    QVERIFY2(timer.elapsed() < 6000, qPrintable(QString::number(timer.elapsed())));
}

void TestSoapService::connectionKeptAfterAnswer_data() {
    QTest::addColumn<cloffa::Fault>("fault");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("kept");
    cloffa::Fault notFoundBody = kind(Kind::HttpStatusBody, 404);
    notFoundBody.body = "<html><body>not here</body></html>";
    cloffa::Fault found = kind(Kind::HttpStatusBody, 302);
    found.body = "<html><body>moved</body></html>";
    QTest::newRow("SOAP fault") << kind(Kind::SoapFault) << 12 << true;
    QTest::newRow("404 without body") << kind(Kind::HttpStatus, 404) << 404 << true;
    QTest::newRow("404 with body") << notFoundBody << 404 << true;
    QTest::newRow("302") << found << 302 << true;
    QTest::newRow("503 without body") << kind(Kind::HttpStatus, 503) << 503 << true;
    QTest::newRow("element that is not a fault") << kind(Kind::WrongElement) << 12 << true;
    QTest::newRow("version mismatch") << kind(Kind::EnvelopeUnknownNamespace) << 34 << true;
    QTest::newRow("envelope without namespace") << kind(Kind::EnvelopeNoNamespace) << 34 << true;
    QTest::newRow("wrong xsi type") << kind(Kind::WrongXsiType) << 4 << true;
    QTest::newRow("mismatched end tag") << kind(Kind::MismatchedEndTag) << 5 << true;
    QTest::newRow("closed without answer") << kind(Kind::CloseConnection) << -1 << false;
    QTest::newRow("server ends keep-alive") << kind(Kind::ConnectionClose) << 0 << false;
    QTest::newRow("garbage status line") << kind(Kind::GarbageStatusLine) << 24 << false;
}

void TestSoapService::connectionKeptAfterAnswer() {
    QFETCH(cloffa::Fault, fault);
    QFETCH(int, error);
    QFETCH(bool, kept);
    FileService service(settingsFor(*m_service));
    QCOMPARE(service.NeedUpdate(m_store).error, 0);
    const int before = m_service->connectionsAccepted();
    m_service->injectFault(cloffa::Endpoint::Soap, fault);
    QCOMPARE(service.NeedUpdate(m_store).error, error);
    QCOMPARE(service.Proxy().ConnectionOpen(), kept);
    // The next call works, on the same connection when it was kept.
    QCOMPARE(service.NeedUpdate(m_store).error, 0);
    QCOMPARE(m_service->connectionsAccepted() - before, kept ? 0 : 1);
}

void TestSoapService::socketKeepAlive() {
    FileService service(settingsFor(*m_service));
    QCOMPARE(service.NeedUpdate(m_store).error, 0);
    QVERIFY(service.Proxy().ConnectionOpen());
    QVERIFY(service.Proxy().ConnectionKeepAliveProbes());
}

void TestSoapService::stalledHandshakeEndsAtConnectTimeOut() {
    // A listener that never accepts: the kernel completes the TCP handshake, nobody answers TLS.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    QCOMPARE(::listen(fd, 4), 0);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    FileServiceSettings s = settingsFor(*m_service);
    s.baseUrl = QStringLiteral("https://127.0.0.1:%1").arg(ntohs(a.sin_port));
    FileService service(s);
    QElapsedTimer timer;
    timer.start();
    const int error = service.NeedUpdate(m_store).error;
    const qint64 ms = timer.elapsed();
    ::close(fd);
    qInfo("stalled handshake ended after %lld ms with %d", static_cast<long long>(ms), error);
    QVERIFY(error == 23 || error == 25);
    QVERIFY(ms >= 7000);
    QVERIFY2(ms < 10500, qPrintable(QString::number(ms))); // the 8 s connect time-out, not the 12 s receive one
}

void TestSoapService::certificates_data() {
    QTest::addColumn<cloffa::Certificate>("cert");
    QTest::addColumn<int>("error");
    QTest::newRow("good") << cloffa::Certificate::Good << 0;
    QTest::newRow("wrong host") << cloffa::Certificate::WrongHost << 25;
    QTest::newRow("expired") << cloffa::Certificate::Expired << 25;
    QTest::newRow("untrusted") << cloffa::Certificate::Untrusted << 25;
}

void TestSoapService::certificates() {
    QFETCH(cloffa::Certificate, cert);
    QFETCH(int, error);
    m_service->setCertificate(cert);
    FileService service(settingsFor(*m_service));
    QCOMPARE(service.NeedUpdate(m_store).error, error);
    QCOMPARE(service.Proxy().ConnectionOpen(), error == 0);
}

void TestSoapService::refusedPort() {
    FileServiceSettings s = settingsFor(*m_service);
    s.baseUrl = QStringLiteral("https://127.0.0.1:%1").arg(closedPort());
    FileService service(s);
    QCOMPARE(service.NeedUpdate(m_store).error, 23);
    QVERIFY(m_service->requests().empty());
}

void TestSoapService::connectionReuse() {
    FileService service(settingsFor(*m_service));
    const int before = m_service->connectionsAccepted();
    QCOMPARE(service.NeedUpdate(m_store).error, 0);
    QCOMPARE(service.GetUserFiles(m_store).error, 0);
    QCOMPARE(m_service->connectionsAccepted() - before, 1);
    const auto requests = m_service->requests();
    QCOMPARE(int(requests.size()), 2);
    QCOMPARE(requests[0].connectionId, requests[1].connectionId);
}

void TestSoapService::workerThreadsShareConnection() {
    FileService service(settingsFor(*m_service));
    const int before = m_service->connectionsAccepted();
    int first = -2, second = -2;
    std::thread a([&] { first = service.NeedUpdate(m_store).error; });
    a.join(); // the second worker starts only after the first, as the windows run them
    std::thread b([&] { second = service.GetUserFiles(m_store).error; });
    b.join();
    QCOMPARE(first, 0);
    QCOMPARE(second, 0);
    QCOMPARE(m_service->connectionsAccepted() - before, 1);
}

void TestSoapService::connectionCloseOpensNew() {
    FileService service(settingsFor(*m_service));
    const int before = m_service->connectionsAccepted();
    m_service->injectFault(cloffa::Endpoint::Soap, kind(Kind::ConnectionClose));
    QCOMPARE(service.NeedUpdate(m_store).error, 0);
    QVERIFY(!service.Proxy().ConnectionOpen());
    QCOMPARE(service.NeedUpdate(m_store).error, 0);
    QCOMPARE(m_service->connectionsAccepted() - before, 2);
}

void TestSoapService::faultKeepsConnection() {
    FileService service(settingsFor(*m_service));
    const int before = m_service->connectionsAccepted();
    m_service->injectFault(cloffa::Endpoint::Soap, kind(Kind::SoapFault));
    QCOMPARE(service.NeedUpdate(m_store).error, 12);
    QVERIFY(service.Proxy().ConnectionOpen());
    QCOMPARE(service.NeedUpdate(m_store).error, 0);
    QCOMPARE(m_service->connectionsAccepted() - before, 1);
}

void TestSoapService::stallTimesOut() {
    cloffa::Fault f = kind(Kind::Stall);
    f.stallMs = 20000;
    m_service->injectFault(cloffa::Endpoint::Soap, f);
    FileService service(settingsFor(*m_service));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(service.NeedUpdate(m_store).error, -1);
    qInfo("stall answered after %lld ms", static_cast<long long>(timer.elapsed()));
    QVERIFY(timer.elapsed() >= 11500);
    // The answer would come after 20 s: the receive time-out ended the call, and closing the connection
    // does not wait for the silent server's close notice.
    QVERIFY2(timer.elapsed() < 14500, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!service.Proxy().ConnectionOpen());
}

void TestSoapService::trickleEndsAtTheCallLimit() {
    TrickleServer trickle;
    FileServiceSettings s = settingsFor(*m_service);
    s.baseUrl = QStringLiteral("http://127.0.0.1:%1").arg(trickle.port());
    s.callTimeout = std::chrono::milliseconds(3000);
    FileService service(s);
    QElapsedTimer timer;
    timer.start();
    const int error = service.GetUserFiles(m_store).error;
    qInfo("trickled answer ended after %lld ms with %d", static_cast<long long>(timer.elapsed()), error);
    QVERIFY(error != 0);
    QVERIFY2(timer.elapsed() < 6000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!service.Proxy().ConnectionOpen());
}

void TestSoapService::stopEndsTheRunningCall_data() {
    QTest::addColumn<QString>("server");
    QTest::newRow("trickled answer") << u"trickle"_s;
    QTest::newRow("silent after the request") << u"stall"_s;
    QTest::newRow("silent in the TLS handshake") << u"handshake"_s;
}

void TestSoapService::stopEndsTheRunningCall() {
    QFETCH(QString, server);
    std::unique_ptr<TrickleServer> trickle;
    int listener = -1;
    FileServiceSettings s = settingsFor(*m_service);
    if (server == u"trickle"_s) {
        trickle = std::make_unique<TrickleServer>();
        s.baseUrl = QStringLiteral("http://127.0.0.1:%1").arg(trickle->port());
    } else if (server == u"stall"_s) {
        cloffa::Fault f = kind(Kind::Stall);
        f.stallMs = 20000;
        m_service->injectFault(cloffa::Endpoint::Soap, f);
    } else {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        QCOMPARE(::listen(listener, 4), 0);
        socklen_t len = sizeof a;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        s.baseUrl = QStringLiteral("https://127.0.0.1:%1").arg(ntohs(a.sin_port));
    }
    FileService service(s);
    auto call = std::async(std::launch::async, [&] { return service.GetUserFiles(m_store).error; });
    QTest::qWait(700); // the call is waiting on the server now
    QElapsedTimer timer;
    timer.start();
    service.Stop();
    const bool ended = call.wait_for(std::chrono::seconds(15)) == std::future_status::ready;
    const qint64 ms = timer.elapsed();
    if (listener >= 0)
        ::close(listener);
    QVERIFY(ended);
    qInfo("%s: call ended %lld ms after the stop", qPrintable(server), static_cast<long long>(ms));
    QVERIFY(call.get() != 0);
    QVERIFY2(ms < 1000, qPrintable(QString::number(ms)));
    // Stopped for good: the next call fails before connecting.
    const int before = m_service->connectionsAccepted();
    timer.restart();
    QVERIFY(service.NeedUpdate(m_store).error != 0);
    QVERIFY(timer.elapsed() < 1000);
    if (server == u"stall"_s)
        QCOMPARE(m_service->connectionsAccepted(), before);
}

void TestSoapService::closedUnderTheClient_data() {
    QTest::addColumn<cloffa::Fault>("fault");
    QTest::addColumn<int>("error");
    QTest::newRow("kept-alive connection reset after the answer") << kind(Kind::ResetAfterAnswer) << 0;
    QTest::newRow("connection reset instead of an answer") << kind(Kind::ResetAfterRequest) << -1;
}

void TestSoapService::closedUnderTheClient() {
    // The test process keeps the default SIGPIPE action: a write into the dead connection would end it.
    QFETCH(cloffa::Fault, fault);
    QFETCH(int, error);
    FileService service(settingsFor(*m_service));
    m_service->injectFault(cloffa::Endpoint::Soap, fault);
    QCOMPARE(service.NeedUpdate(m_store).error, error);
    QTest::qWait(600); // the reset has arrived
    QCOMPARE(service.GetUserFiles(m_store).error, 0);
    QCOMPARE(service.NeedUpdate(m_store).error, 0);
}

void TestSoapService::closedAtAccept() {
    // A balancer whose back end is down: every connection is taken and closed at once.
    m_service->setCloseOnAccept(true);
    FileService service(settingsFor(*m_service));
    const int first = service.NeedUpdate(m_store).error;
    const int second = service.GetUserFiles(m_store).error;
    m_service->setCloseOnAccept(false);
    QVERIFY(first == -1 || first == 25);
    QVERIFY(second == -1 || second == 25);
    QCOMPARE(service.NeedUpdate(m_store).error, 0);
}

void TestSoapService::listCopiedUnderServiceLock_data() {
    QTest::addColumn<bool>("withQuota");
    QTest::newRow("answer with userInfo") << true;
    QTest::newRow("answer without userInfo") << false;
}

void TestSoapService::listCopiedUnderServiceLock() {
    QFETCH(bool, withQuota);
    SessionStore store(SessionStore::Settings::None);
    store.SetSessionKey(QString::fromLatin1(kKey));
    store.SetQuota(5000, 1200);
    if (!withQuota)
        m_service->injectFault(cloffa::Endpoint::Soap, kind(Kind::MissingUserInfo));
    FileService service(settingsFor(*m_service));
    bool copied = false;
    bool lockHeld = false;
    qint32 quotaSeen = 0;
    const FileListResult r = service.GetUserFiles(store, [&](const FileListResult& answer) {
        copied = answer.hasFileArray;
        // Probed from another thread: the calling one holds it.
        std::thread([&] {
            lockHeld = !SessionStore::serviceLock().try_lock();
            if (!lockHeld)
                SessionStore::serviceLock().unlock();
        }).join();
        quotaSeen = store.QuotaTotal();
    });
    QCOMPARE(r.error, 0);
    QVERIFY(copied);
    QVERIFY(lockHeld);
    QCOMPARE(r.quota.present, withQuota);
    // Without userInfo the quota stays as it was; with it, it is in the store before the lock goes.
    const qint32 total = withQuota ? m_service->quotaTotal() : 5000;
    const qint32 free = withQuota ? m_service->quotaFree() : 1200;
    QCOMPARE(quotaSeen, total);
    QCOMPARE(store.QuotaTotal(), total);
    QCOMPARE(store.QuotaFree(), free);
    QCOMPARE(store.QuotaUsed(), total - free);
}

QTEST_GUILESS_MAIN(TestSoapService)
#include "tst_soap_service.moc"
