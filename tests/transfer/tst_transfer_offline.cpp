// Wire texts and local refusals that need no server.
#include "ScriptedReporter.h"
#include "app/SessionStore.h"
#include "transfer/HttpConnection.h"
#include "transfer/TransferExchange.h"
#include "transfer/TransferJob.h"

#include <QDateTime>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <curl/curl.h>
#include <openssl/x509_vfy.h>

#include <clocale>
#include <thread>

using namespace Qt::StringLiterals;

class TransferOfflineTest : public QObject {
    Q_OBJECT
    SessionStore m_store{SessionStore::Settings::None};

private slots:
    void initTestCase() { m_store.SetSessionKey(u"test-session-key"_s); }

    void urls() {
        QCOMPARE(SetUploadUrl(0), u"/Cloffa/File/Set.aspx?mode=0"_s);
        QCOMPARE(SetUploadUrl(1), u"/Cloffa/File/Set.aspx?mode=1"_s);
        QCOMPARE(GetDownloadUrl(42), u"/Cloffa/File/Get.aspx?Idx=42"_s);
        QCOMPARE(GetDownloadUrl(-1), u"/Cloffa/File/Get.aspx?Idx=-1"_s);
    }

    void statusMessage_data() {
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        const QString other =
            u"요청하신 명령을 수행할 수가 없습니다.\n문제가 지속될 경우 고객센터로 문의하십시오."_s;
        for (int d : {0, 1}) {
            const QByteArray tag = d ? "up " : "down ";
            QTest::newRow(QByteArray(tag + "400").constData()) << d << 400 << u"invalid syntax..."_s;
            QTest::newRow(QByteArray(tag + "401").constData()) << d << 401 << u"access denied..."_s;
            QTest::newRow(QByteArray(tag + "402").constData()) << d << 402 << u"payment required..."_s;
            QTest::newRow(QByteArray(tag + "403").constData()) << d << 403 << u"request forbidden..."_s;
            QTest::newRow(QByteArray(tag + "404").constData())
                << d << 404 << u"요청하신 파일은 바이러스로 분류되어 자동 삭제되었습니다."_s;
            QTest::newRow(QByteArray(tag + "408").constData())
                << d << 408 << u"요청을 기다리는 동안 타임 아웃이 발생했습니다..."_s;
            QTest::newRow(QByteArray(tag + "302").constData()) << d << 302 << other;
            QTest::newRow(QByteArray(tag + "503").constData()) << d << 503 << other;
        }
        QTest::newRow("up 405") << 1 << 405 << u"저장공간이 부족합니다..."_s;
        QTest::newRow("down 405") << 0 << 405 << u"허락되지 않은 요청입니다..."_s;
        QTest::newRow("up 500")
            << 1 << 500
            << u"업로드를 완료할 수가 없습니다.\n잠시후 다시 시도해 보신후\n문제가 지속될 경우 고객센터로 문의하십시오."_s;
        QTest::newRow("down 500")
            << 0 << 500
            << u"다운로드를 완료할 수가 없습니다.\n잠시후 다시 시도해 보신후\n문제가 지속될 경우 고객센터로 문의하십시오."_s;
    }
    void statusMessage() {
        QFETCH(int, direction);
        QFETCH(int, status);
        QFETCH(QString, text);
        QCOMPARE(StatusMessage(direction, status), text);
    }

    void downloadHeaders() {
        TransferJob job(m_store, {});
        job.sessionValue = u"test-session-key"_s;
        QVERIFY(BuildDownloadHeaders(job, 2, 5));
        const QByteArray digest = m_store.GetAuthDigest();
        QCOMPARE(job.etagValue.size(), 12);
        QCOMPARE(job.etagValue, QString::fromLatin1(digest.left(3) + '-' + digest.mid(3, 8)));
        static const QRegularExpression re(
            u"^nNo: 2\r\naNo: 5\r\nuserSession: test-session-key\r\nUser-Agent: Tavirun\r\n"
            "If-Modified-Since: (Mon|Tue|Wed|Thu|Fri|Sat|Sun) [A-Z][a-z]{2} \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\r\n"
            "If-None-Match: [0-9a-f]{3}-[0-9a-f]{8}\r\n$"_s);
        QVERIFY2(re.match(job.downloadHeaders).hasMatch(), qPrintable(job.downloadHeaders));
    }

    void dateText_data() {
        QTest::addColumn<QDateTime>("local");
        QTest::addColumn<bool>("korean");
        QTest::addColumn<QString>("text");
        for (bool korean : {false, true}) {
            const char* where = korean ? ", Korean locale" : "";
            QTest::addRow("day below 10%s", where)
                << QDateTime(QDate(2026, 12, 9), QTime(14, 5, 9)) << korean << u"Wed Dec 09 14:05:09 2026"_s;
            QTest::addRow("day above 9%s", where)
                << QDateTime(QDate(2026, 12, 25), QTime(23, 59, 59)) << korean << u"Fri Dec 25 23:59:59 2026"_s;
            QTest::addRow("first of the month at midnight%s", where)
                << QDateTime(QDate(2027, 3, 1), QTime(0, 0, 0)) << korean << u"Mon Mar 01 00:00:00 2027"_s;
        }
    }
    void dateText() {
        QFETCH(QDateTime, local);
        QFETCH(bool, korean);
        QFETCH(QString, text);
        QTemporaryDir locales;
        if (korean) {
            // Built on the spot: the system need not have the Korean locale generated.
            QProcess def;
            def.start(u"localedef"_s,
                      {u"-i"_s, u"ko_KR"_s, u"-f"_s, u"UTF-8"_s, locales.filePath(u"ko_KR.UTF-8"_s)});
            if (!def.waitForFinished(60000) || def.exitCode() != 0)
                QSKIP("localedef cannot build the Korean locale");
            qputenv("LOCPATH", locales.path().toLocal8Bit());
            QVERIFY(setlocale(LC_ALL, "ko_KR.UTF-8"));
            QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
        }
        const auto when = std::chrono::system_clock::from_time_t(time_t(local.toSecsSinceEpoch()));
        const QString got = CtimeText(when);
        TransferJob job(m_store, {});
        job.sessionValue = u"k"_s;
        job.clock = [when] { return when; };
        QVERIFY(BuildDownloadHeaders(job, 1, 1));
        if (korean) {
            setlocale(LC_ALL, "C");
            qunsetenv("LOCPATH");
            QLocale::setDefault(QLocale::c());
        }
        QCOMPARE(got, text);
        QVERIFY2(job.downloadHeaders.contains(u"\r\nIf-Modified-Since: "_s + text + u"\r\nIf-None-Match: "_s),
                 qPrintable(job.downloadHeaders));
    }

    void ctimeHasNoLineFeed() {
        const QString t = CtimeNow();
        QCOMPARE(t.size(), 24);
        QVERIFY(!t.contains(u'\n'));
    }

    void uploadHeadersAndParts() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"한글 파일.txt"_s);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("hello");
        f.close();
        TransferJob job(m_store, {});
        job.sessionValue = u"test-session-key"_s;
        TransferItem item;
        item.path = path;
        QVERIFY(BuildUploadHeaders(job, 1, 1, item));
        const QByteArray prefix = "------VAPRE-9e2a467076f3470ca4e6051e031afaab-\r\n"
                                  "Content-Disposition: form-data;name=\"\";filename=\"" +
                                  path.toUtf8() + "\"\r\nContent-Type: text/plain\r\n\r\n";
        QCOMPARE(job.bodyPrefix, prefix);
        QCOMPARE(job.bodySuffix, QByteArray("\r\n------VAPRE-9e2a467076f3470ca4e6051e031afaab---"));
        QCOMPARE(job.totalLength, quint64(prefix.size() + job.bodySuffix.size() + 5));
        QVERIFY(job.uploadHeaders.startsWith(
            u"Accept: */*\r\nContent-Type: multipart/form-data;boundary=----VAPRE-9e2a467076f3470ca4e6051e031afaab-\r\nnNo: 1\r\naNo: 1\r\n"_s));
        QVERIFY(job.uploadHeaders.endsWith(u"\r\nContent-Length: %1\r\n"_s.arg(job.totalLength)));
        item.displayName = u"shown.txt"_s;
        QVERIFY(BuildMultipartParts(job, item) > 0);
        QVERIFY(job.bodyPrefix.contains("filename=\"shown.txt\"\r\n"));
    }

    void unknownSizeIsReported() {
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        job.reporter = &rep;
        TransferItem item;
        item.path = u"/nonexistent/quorvane/file"_s;
        QCOMPARE(BuildMultipartParts(job, item), kUnknownBodyLength);
        QVERIFY(!BuildUploadHeaders(job, 1, 1, item));
        QCOMPARE(rep.errors.size(), size_t(2));
        QCOMPARE(rep.errors[0].first,
                 u"크기를 알 수 없는 파일입니다.\n정상적인 파일인지 확인후 다시 시도해 주십시오."_s);
    }

    void unsafeMultipartNameRefused_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("quote") << u"a\"b.txt"_s;
        QTest::newRow("cr") << u"a\rb.txt"_s;
        QTest::newRow("lf") << u"a\nb.txt"_s;
    }
    void unsafeMultipartNameRefused() {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"plain.txt"_s);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        job.reporter = &rep;
        TransferItem item{-1, path, name, 0};
        QVERIFY(!BuildUploadHeaders(job, 1, 1, item));
        QCOMPARE(rep.errors.size(), size_t(1));
        QVERIFY(job.uploadHeaders.isEmpty());
    }

    void bodyOf2GiBRefused() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"big.bin"_s);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        // Sparse: the prefix and suffix push the body over the limit.
        QVERIFY(f.resize((qint64(1) << 31) - 100));
        f.close();
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        job.reporter = &rep;
        job.baseUrl = u"https://127.0.0.1:1"_s; // never reached
        TransferItem item{-1, path, {}, 0};
        QCOMPARE(UploadFile(job, item, 1, 1, 0), TransferFailed);
        QCOMPARE(rep.errors.size(), size_t(1));
        QVERIFY(rep.errors[0].first.startsWith(u"파일의 크기가 너무 커서 업로드할 수 없습니다."_s));
        QVERIFY(m_store.FindPendingUploadByName(u"big.bin"_s) == std::nullopt);
    }

    void storedNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::newRow("plain") << u"a.txt"_s << true;
        QTest::newRow("dots inside") << u"a..b.txt"_s << true;
        QTest::newRow("korean") << u"보고서 2008.doc"_s << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("dot") << u"."_s << false;
        QTest::newRow("dotdot") << u".."_s << false;
        QTest::newRow("slash") << u"../etc/passwd"_s << false;
        QTest::newRow("backslash") << u"a\\b"_s << false;
        QTest::newRow("nul") << QString(u"a\0b"_s) << false;
        QTest::newRow("control") << u"a\x01"_s << false;
        QTest::newRow("newline") << u"a\nb"_s << false;
    }
    void storedNames() {
        QFETCH(QString, name);
        QFETCH(bool, safe);
        QCOMPARE(IsSafeStoredName(name), safe);
    }

    void unsafeStoredNameCreatesNothing() {
        QTemporaryDir dir;
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        job.reporter = &rep;
        job.baseUrl = u"https://127.0.0.1:1"_s;
        job.destFolder = dir.path();
        QCOMPARE(DownloadFile(job, u"../escape.txt"_s, 1, 1, 3), TransferFailed);
        QCOMPARE(rep.errors.size(), size_t(1));
        QCOMPARE(rep.errors[0].first,
                 u"파일을 생성할 수 없습니다.\n사용자 권한 및 디스크 여유공간을 확인후\n다시 시도해 주십시오."_s);
        QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
    }

    void errorNumbers_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("verify");
        QTest::addColumn<int>("number");
        QTest::newRow("connect") << int(CURLE_COULDNT_CONNECT) << 0 << 12029;
        QTest::newRow("timeout") << int(CURLE_OPERATION_TIMEDOUT) << 0 << 12002;
        QTest::newRow("recv") << int(CURLE_RECV_ERROR) << 0 << 12030;
        QTest::newRow("expired") << int(CURLE_PEER_FAILED_VERIFICATION) << int(X509_V_ERR_CERT_HAS_EXPIRED)
                                 << 12037;
        QTest::newRow("not yet") << int(CURLE_PEER_FAILED_VERIFICATION) << int(X509_V_ERR_CERT_NOT_YET_VALID)
                                 << 12037;
        QTest::newRow("host") << int(CURLE_PEER_FAILED_VERIFICATION) << int(X509_V_ERR_HOSTNAME_MISMATCH) << 12038;
        QTest::newRow("ca") << int(CURLE_PEER_FAILED_VERIFICATION)
                            << int(X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY) << 12045;
    }
    void errorNumbers() {
        QFETCH(int, code);
        QFETCH(int, verify);
        QFETCH(int, number);
        QCOMPARE(HttpConnection::ErrorNumberFor(code, verify), number);
    }

    void connectFailureReported() {
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        job.reporter = &rep;
        job.baseUrl = u"https://127.0.0.1:1"_s;
        QTemporaryDir dir;
        job.destFolder = dir.path();
        job.items = {TransferItem{7, u"x.txt"_s, {}, 0}};
        RunDownloadBatch(job);
        QCOMPARE(rep.errors.size(), size_t(1));
        QCOMPARE(rep.errors[0].first, u"다운로드 연결요청에 실패했습니다."_s);
        QCOMPARE(rep.errors[0].second, 12029);
        QVERIFY(job.items.empty());
        QVERIFY(!m_store.IsNameInProgress(u"x.txt"_s));
    }

    void progressIsCoalesced() {
        ScriptedReporter rep;
        TransferJob job(m_store, {});
        job.reporter = &rep;
        job.progressInterval = std::chrono::milliseconds(1000);
        for (int i = 1; i <= 10000; ++i)
            job.reportProgress(i, 10000);
        job.flushProgress();
        QVERIFY(rep.progressCalls.size() <= 3);
        QCOMPARE(rep.progressCalls.back(), std::make_pair(qint64(10000), qint64(10000)));
    }

    void answerFromAnotherThread() {
        TransferJob job(m_store, {});
        job.runEvent.reset();
        std::thread t([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            job.answerReplace(ReplaceAnswer::ReplaceAll);
        });
        QVERIFY(job.waitRun());
        t.join();
        QCOMPARE(job.replaceChoice.load(), 0);
        QVERIFY(job.applyToAll);
        job.runEvent.reset();
        job.cancel();
        QVERIFY(!job.waitRun());
    }
};

QTEST_GUILESS_MAIN(TransferOfflineTest)
#include "tst_transfer_offline.moc"
