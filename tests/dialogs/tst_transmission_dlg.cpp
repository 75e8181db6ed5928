#include "app/SessionStore.h"
#include "app/platform/DesktopNotifier.h"
#include "app/platform/PrivateEvents.h"
#include "res/Strings.h"
#include "tests/ui/ScriptedMessages.h"
#include "tools/cloffa-service/LocalService.h"
#include "ui/controls/CTransparentLabel.h"
#include "ui/dialogs/CConfirmReplacefileDlg.h"
#include "ui/dialogs/CTransmissionDlg.h"
#include "ui/dialogs/QuestionGate.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <deque>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using Answer = CConfirmReplacefileDlg::Answer;

namespace {

MessageScript g_messages;

// The replace question's answers in queue order, and what each question showed.
struct Asked {
    QString text;
    int severalFiles;
    Answer answer;
};
std::deque<Answer> g_replaceAnswers;
QList<Asked> g_asked;

class ScriptedReplace : public ReplacePresenter {
public:
    using ReplacePresenter::ReplacePresenter;
    int Present(const QString& question, int severalFiles) override {
        const Answer answer = g_replaceAnswers.empty() ? Answer::Cancel : g_replaceAnswers.front();
        if (!g_replaceAnswers.empty())
            g_replaceAnswers.pop_front();
        g_asked.push_back({question, severalFiles, answer});
        return int(answer);
    }
};

// What would have been shown in the file manager after a download.
QList<QUrl> g_opened;
QList<QStringList> g_openedFiles;

class RecordingShower : public FolderShower {
public:
    using FolderShower::FolderShower;
    void Show(const QString& folder, const QStringList& files) override {
        g_opened.append(QUrl::fromLocalFile(folder));
        g_openedFiles.append(files);
    }
};

// Stands in for the file list window: counts the done messages it receives; its boxes, replace
// questions and folder showing are scripted.
class DoneCatcher : public QWidget {
public:
    DoneCatcher() {
        new ScriptedMessages(this, g_messages);
        new ScriptedReplace(this);
        new RecordingShower(this);
    }
    int count = 0;
    int direction = -1;
    QObject* dialog = nullptr;

protected:
    bool event(QEvent* e) override {
        if (const auto* done = RecordOf<TransferFinished>(e)) {
            ++count;
            direction = done->direction;
            dialog = done->dialog;
            return true;
        }
        return QWidget::event(e);
    }
};

// Notes what was shown when the dialog was hidden, and how many progress messages reached it.
class DialogWatcher : public QObject {
public:
    int messagesWhenHidden = -1;
    int progressEvents = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Hide && messagesWhenHidden < 0)
            messagesWhenHidden = int(g_messages.shown().size());
        if (e->type() == EventTypeOf(PrivateMessage::TransferProgress))
            ++progressEvents;
        return false;
    }
};

// Runs an action on the dialog's thread as the first progress message is handled.
class FirstProgress : public QObject {
public:
    std::function<void()> action;
    bool fired = false;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == EventTypeOf(PrivateMessage::TransferProgress) && !fired && action) {
            fired = true;
            action();
        }
        return false;
    }
};

// What the desktop was told: notifications, and each batch's progress until it ended.
class RecordingNotifier : public DesktopNotifier {
public:
    QList<QPair<QString, QString>> notified;
    int progressCalls = 0;
    double lastCurrent = -1;
    int lastDone = -1;
    QList<const void*> running;
    int ended = 0;

    void Notify(const QString& summary, const QString& body) override { notified.append({summary, body}); }
    void BatchProgress(const void* batch, int filesDone, int, double current) override {
        ++progressCalls;
        lastDone = filesDone;
        lastCurrent = current;
        if (!running.contains(batch))
            running.append(batch);
    }
    void BatchEnded(const void* batch) override { ended += running.removeAll(batch); }
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestTransmissionDlg : public QObject {
    Q_OBJECT
    SessionStore m_store{SessionStore::Settings::None};
    QTemporaryDir m_serviceDir;
    std::unique_ptr<cloffa::LocalService> m_service;
    std::unique_ptr<QTemporaryDir> m_dest;

    QString dest() const { return m_dest->path() + u'/'; }

    std::unique_ptr<CTransmissionDlg> makeDialog(DoneCatcher& parent, int direction = CTransmissionDlg::Download) {
        const TransferSettings pages{QString::fromStdString(m_service->baseUrl()),
                                     QString::fromStdString(m_service->caFile().string())};
        auto dlg = std::make_unique<CTransmissionDlg>(m_store, pages, direction, &parent);
        dlg->SetDestFolder(dest());
        return dlg;
    }

    TransferItem item(const std::string& name, const std::string& bytes) {
        const int32_t idx = m_service->addFile(name, bytes);
        return TransferItem{idx, QString::fromStdString(name), QString(), qint32(bytes.size())};
    }

private Q_SLOTS:
    void initTestCase() {
        m_store.SetSessionKey(u"test-session-key"_s);
        cloffa::ServiceOptions options;
        options.storeDir = m_serviceDir.path().toStdString();
        m_service = std::make_unique<cloffa::LocalService>(options);
        std::string error;
        QVERIFY2(m_service->start(&error), error.c_str());
    }
    void init() {
        m_dest = std::make_unique<QTemporaryDir>();
        QVERIFY(m_store.SetDownloadFolder(dest()));
        g_messages.clearNextAnswers();
        g_messages.clearShown();
        g_replaceAnswers.clear();
        g_asked.clear();
        m_service->clearFaults();
        g_opened.clear();
        g_openedFiles.clear();
    }
    void cleanupTestCase() { m_service.reset(); }

    void initialState() {
        DoneCatcher parent;
        CTransmissionDlg down(m_store, TransferSettings{}, CTransmissionDlg::Download, &parent);
        CTransmissionDlg up(m_store, TransferSettings{}, CTransmissionDlg::Upload, &parent);
        QCOMPARE(down.windowTitle(), u"다운로드중..."_s);
        QCOMPARE(up.windowTitle(), u"업로드중..."_s);
        for (int id : {CTransmissionDlg::IdCurrentFile, CTransmissionDlg::IdCount, CTransmissionDlg::IdBytes}) {
            auto* label = qobject_cast<CTransparentLabel*>(down.control(id));
            QVERIFY(label);
            QVERIFY(label->text().isEmpty());
        }
        auto* bar = qobject_cast<QProgressBar*>(down.control(CTransmissionDlg::IdProgress));
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(qobject_cast<QPushButton*>(down.control(CTransmissionDlg::IdCancel))->text(), u"취소"_s);
        down.show();
        QVERIFY(down.control(CTransmissionDlg::IdPause));
        QVERIFY(!down.control(CTransmissionDlg::IdPause)->isVisible());
        QVERIFY(!down.isActive());
    }

    void progressText_data() {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QList<qint64>>("done");
        QTest::addColumn<QStringList>("texts");
        const QString empty;
        QTest::newRow("moves past 2 points")
            << qint64(102400) << QList<qint64>{2048, 3072, 5120, 6144, 102400}
            << QStringList{empty, u"3 Kbyte / 100 Kbyte"_s, u"3 Kbyte / 100 Kbyte"_s, u"6 Kbyte / 100 Kbyte"_s,
                           u"100 Kbyte / 100 Kbyte"_s};
        QTest::newRow("exactly 2 is not enough")
            << qint64(102400) << QList<qint64>{1024, 2048, 2560} << QStringList{empty, empty, empty};
        const qint64 gib = qint64(1) << 30;
        QTest::newRow("2 GiB") << 2 * gib << QList<qint64>{gib, 2 * gib}
                               << QStringList{u"1048576 Kbyte / 2097152 Kbyte"_s,
                                              u"2097152 Kbyte / 2097152 Kbyte"_s};
        QTest::newRow("5 GiB") << 5 * gib << QList<qint64>{3 * gib, 5 * gib}
                               << QStringList{u"3145728 Kbyte / 5242880 Kbyte"_s,
                                              u"5242880 Kbyte / 5242880 Kbyte"_s};
    }
    void progressText() {
        QFETCH(qint64, total);
        QFETCH(QList<qint64>, done);
        QFETCH(QStringList, texts);
        DoneCatcher parent;
        CTransmissionDlg dlg(m_store, TransferSettings{}, CTransmissionDlg::Download, &parent);
        auto* bytes = qobject_cast<CTransparentLabel*>(dlg.control(CTransmissionDlg::IdBytes));
        auto* bar = qobject_cast<QProgressBar*>(dlg.control(CTransmissionDlg::IdProgress));
        dlg.fileStarted(u"folder/a.bin"_s, 1, 1);
        QCoreApplication::processEvents();
        for (int i = 0; i < done.size(); ++i) {
            dlg.progress(done[i], total);
            QCoreApplication::processEvents();
            QCOMPARE(bar->value(), int(done[i] * 100 / total));
            QCOMPARE(bytes->text(), texts[i]);
        }
    }

    void broughtToFrontWhenBatchStarts_data() {
        QTest::addColumn<int>("direction");
        QTest::newRow("download") << int(CTransmissionDlg::Download);
        QTest::newRow("upload") << int(CTransmissionDlg::Upload);
    }
    void broughtToFrontWhenBatchStarts() {
        QFETCH(int, direction);
        DoneCatcher parent;
        parent.show();
        QWidget fileManager; // has the focus when a drag-out download starts
        fileManager.show();
        auto dlg = makeDialog(parent, direction);
        if (direction == CTransmissionDlg::Download) {
            dlg->SetItems({item("front.bin", "front")});
        } else {
            const QString local = m_dest->filePath(u"up-front.bin"_s);
            QFile f(local);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("up");
            f.close();
            dlg->SetItems({TransferItem{-1, local, {}, 0}});
            m_store.SetQuota(m_service->quotaTotal(), m_service->quotaFree());
        }
        // The service holds its answer, so the batch is still running while we look.
        cloffa::Fault hold;
        hold.kind = cloffa::Fault::Kind::Stall;
        hold.stallMs = 4000;
        m_service->injectFault(
            direction == CTransmissionDlg::Download ? cloffa::Endpoint::Download : cloffa::Endpoint::Upload, hold);
        QVERIFY(dlg->Start());
        fileManager.activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), static_cast<QWidget*>(dlg.get()), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(parent.count, 1, 15000);
    }

    void progressNotFlooding() {
        DoneCatcher parent;
        CTransmissionDlg dlg(m_store, TransferSettings{}, CTransmissionDlg::Download, &parent);
        DialogWatcher watcher;
        dlg.installEventFilter(&watcher);
        for (int i = 1; i <= 10000; ++i)
            dlg.progress(i, 10000);
        QCoreApplication::processEvents();
        QCOMPARE(watcher.progressEvents, 1);
        QCOMPARE(qobject_cast<QProgressBar*>(dlg.control(CTransmissionDlg::IdProgress))->value(), 100);
    }

    void fileStartedLabels() {
        DoneCatcher parent;
        CTransmissionDlg dlg(m_store, TransferSettings{}, CTransmissionDlg::Download, &parent);
        dlg.fileStarted(u"/home/u/보고서.txt"_s, 2, 3);
        QCoreApplication::processEvents();
        QCOMPARE(dlg.currentName(), u"보고서.txt"_s);
        QCOMPARE(qobject_cast<CTransparentLabel*>(dlg.control(CTransmissionDlg::IdCurrentFile))->text(),
                 u"보고서.txt"_s);
        QCOMPARE(qobject_cast<CTransparentLabel*>(dlg.control(CTransmissionDlg::IdCount))->text(), u"(2/3)"_s);
    }

    void replaceBatch_data() {
        QTest::addColumn<QList<int>>("answers"); // Answer values, in the order asked
        QTest::addColumn<int>("asked");
        QTest::addColumn<QStringList>("expected"); // contents of a, b, c afterwards ("<missing>" = none)
        QTest::addColumn<bool>("opened");
        QTest::newRow("예") << QList<int>{int(Answer::Yes), int(Answer::Yes)} << 2
                            << QStringList{u"new-a"_s, u"new-b"_s, u"new-c"_s} << true;
        QTest::newRow("모두 예") << QList<int>{int(Answer::YesToAll)} << 1
                                 << QStringList{u"new-a"_s, u"new-b"_s, u"new-c"_s} << true;
        QTest::newRow("아니오") << QList<int>{int(Answer::No), int(Answer::No)} << 2
                                << QStringList{u"old-a"_s, u"old-b"_s, u"new-c"_s} << true;
        QTest::newRow("취소") << QList<int>{int(Answer::Cancel)} << 1
                              << QStringList{u"old-a"_s, u"old-b"_s, u"<missing>"_s} << false;
    }
    void replaceBatch() {
        QFETCH(QList<int>, answers);
        QFETCH(int, asked);
        QFETCH(QStringList, expected);
        QFETCH(bool, opened);
        for (int a : answers)
            g_replaceAnswers.push_back(Answer(a));
        for (const char* name : {"a.txt", "b.txt"}) {
            QFile f(dest() + QLatin1String(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("old-") + name[0]);
        }
        DoneCatcher parent;
        auto dlg = makeDialog(parent);
        dlg->SetOpenFolderAfter(true);
        dlg->SetItems({item("a.txt", "new-a"), item("b.txt", "new-b"), item("c.txt", "new-c")});
        QVERIFY(dlg->Start());
        // Another batch into another folder, chosen while this one runs, changes the stored folder.
        QTemporaryDir otherBatchFolder;
        QVERIFY(m_store.SetDownloadFolder(otherBatchFolder.path() + u'/'));
        QVERIFY(dlg->isActive());
        QVERIFY(m_store.AnyTransferActive());
        QTRY_COMPARE_WITH_TIMEOUT(parent.count, 1, 10000);
        QCOMPARE(parent.direction, int(CTransmissionDlg::Download));
        QCOMPARE(parent.dialog, static_cast<QObject*>(dlg.get()));
        QVERIFY(!dlg->isActive());
        QVERIFY(!m_store.AnyTransferActive());

        const QList<Asked> questions = g_asked;
        QCOMPARE(questions.size(), asked);
        QCOMPARE(questions.first().text, u"\"a.txt\"와 같은 이름을 가진 파일이 있습니다."_s);
        QCOMPARE(questions.first().severalFiles, 1);
        QCOMPARE(QString::fromUtf8(ReadAll(dest() + u"a.txt"_s)), expected[0]);
        QCOMPARE(QString::fromUtf8(ReadAll(dest() + u"b.txt"_s)), expected[1]);
        QCOMPARE(QString::fromUtf8(ReadAll(dest() + u"c.txt"_s)), expected[2]);
        // Nothing half-written stays behind, and no message was needed.
        QCOMPARE(QDir(dest()).entryList(QDir::Files | QDir::Hidden).size(), expected[2] == u"<missing>"_s ? 2 : 3);
        QVERIFY2(g_messages.shown().isEmpty(), qPrintable(g_messages.shown().value(0).text));
        QCOMPARE(g_opened.size(), opened ? 1 : 0);
        if (opened) {
            QCOMPARE(g_opened.first(), QUrl::fromLocalFile(dest()));
            // The files of the batch that are there now are the ones shown selected.
            QStringList present;
            for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
                if (QFileInfo::exists(dest() + QLatin1String(name)))
                    present << dest() + QLatin1String(name);
            }
            QCOMPARE(g_openedFiles.first(), present);
        }
        QTest::qWait(100);
        QCOMPARE(parent.count, 1);
    }

    void singleFileQuestion() {
        g_replaceAnswers.push_back(Answer::No);
        QFile f(dest() + u"only.txt"_s);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        DoneCatcher parent;
        auto dlg = makeDialog(parent);
        dlg->SetItems({item("only.txt", "x")});
        QVERIFY(dlg->Start());
        QTRY_COMPARE_WITH_TIMEOUT(parent.count, 1, 10000);
        QCOMPARE(g_asked.size(), 1);
        QCOMPARE(g_asked.first().severalFiles, 0);
        QCOMPARE(ReadAll(dest() + u"only.txt"_s), QByteArray());
    }

    void cancelMidFile_data() {
        QTest::addColumn<bool>("stalled");
        QTest::newRow("data flowing") << false;
        QTest::newRow("server stalled") << true;
    }
    void cancelMidFile() {
        QFETCH(bool, stalled);
        const std::string big(stalled ? 2 * 1024 * 1024 : 48 * 1024 * 1024, 'z');
        if (stalled)
            m_service->injectFault(cloffa::Endpoint::Download,
                                   {cloffa::Fault::Kind::StallMidBody, 0, {}, 512 * 1024, 8000});
        DoneCatcher parent;
        auto dlg = makeDialog(parent);
        dlg->SetOpenFolderAfter(true);
        dlg->SetItems({item("big.bin", big)});
        QElapsedTimer timer;
        FirstProgress trigger;
        auto clickCancel = [&] {
            g_messages.setNextAnswer(MessageAnswer::Yes);
            timer.start();
            QTest::mouseClick(dlg->control(CTransmissionDlg::IdCancel), Qt::LeftButton);
        };
        if (!stalled)
            trigger.action = clickCancel; // while the body is still streaming
        dlg->installEventFilter(&trigger);
        QVERIFY(dlg->Start());
        if (stalled) {
            auto* bar = qobject_cast<QProgressBar*>(dlg->control(CTransmissionDlg::IdProgress));
            QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 10000);
            QTest::qWait(300); // well inside the stall
            QCOMPARE(parent.count, 0);
            clickCancel();
        }
        QTRY_COMPARE_WITH_TIMEOUT(parent.count, 1, 5000);
        const qint64 ms = timer.elapsed();
        qInfo("worker ended %lld ms after the cancel", ms);
        // A stalled server is noticed at curl's next progress call, about once a second.
        QVERIFY2(ms < (stalled ? 1500 : 1000), qPrintable(QString::number(ms)));
        QVERIFY(!dlg->isActive());
        QCOMPARE(g_messages.shown().size(), 1);
        QCOMPARE(g_messages.shown().first().text, u"파일전송을 취소하시겠습니까?"_s);
        QCOMPARE(g_messages.shown().first().icon, MessageIcon::Question);
        QCOMPARE(QDir(dest()).entryList(QDir::Files | QDir::Hidden).size(), 0);
        QVERIFY(!m_store.IsNameInProgress(u"big.bin"_s));
        QVERIFY(g_opened.isEmpty());
        dlg.reset();
        QTest::qWait(50);
        QCOMPARE(parent.count, 1);
    }

    void cancelAnsweredNoResumes() {
        const std::string data(2 * 1024 * 1024, 'q');
        // A short stall keeps the batch running while the question is open.
        m_service->injectFault(cloffa::Endpoint::Download,
                               {cloffa::Fault::Kind::StallMidBody, 0, {}, 256 * 1024, 1500});
        DoneCatcher parent;
        auto dlg = makeDialog(parent);
        dlg->SetItems({item("resume.bin", data)});
        QVERIFY(dlg->Start());
        auto* bar = qobject_cast<QProgressBar*>(dlg->control(CTransmissionDlg::IdProgress));
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 10000);
        g_messages.setNextAnswer(MessageAnswer::No);
        dlg->close(); // the window's close asks the same question
        QTRY_COMPARE_WITH_TIMEOUT(parent.count, 1, 10000);
        QCOMPARE(g_messages.shown().size(), 1);
        QCOMPARE(g_messages.shown().first().text, u"파일전송을 취소하시겠습니까?"_s);
        QCOMPARE(QFile(dest() + u"resume.bin"_s).size(), qint64(data.size()));
    }

    void errorHidesFirst_data() {
        QTest::addColumn<bool>("insideAnotherWait");
        QTest::newRow("alone") << false;
        QTest::newRow("while a service call waits") << true;
    }

    void errorHidesFirst() {
        QFETCH(bool, insideAnotherWait);
        m_service->injectFault(cloffa::Endpoint::Download, {cloffa::Fault::Kind::HttpStatus, 404, {}, 0, 0});
        DoneCatcher parent;
        auto dlg = makeDialog(parent);
        DialogWatcher watcher;
        dlg->SetItems({item("gone.txt", "abc")});
        QVERIFY(dlg->Start());
        dlg->installEventFilter(&watcher);
        if (insideAnotherWait) {
            // A wait pumping events, as a service call's does: the error is not asked inside it.
            const QuestionGate::Scope waiting;
            QElapsedTimer timer;
            timer.start();
            while (timer.elapsed() < 1500)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QCOMPARE(g_messages.shown().size(), 0);
            QCOMPARE(parent.count, 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(parent.count, 1, 10000);
        QCOMPARE(watcher.messagesWhenHidden, 0);
        QCOMPARE(g_messages.shown().size(), 1);
        QCOMPARE(g_messages.shown().first().text,
                 u"요청하신 파일은 바이러스로 분류되어 자동 삭제되었습니다.\n오류번호: 404"_s);
        QCOMPARE(g_messages.shown().first().icon, MessageIcon::Error);
        QVERIFY(!QFile::exists(dest() + u"gone.txt"_s));
    }

    void noticeForBusyName() {
        m_store.AddNameInProgress(u"busy.txt"_s);
        DoneCatcher parent;
        auto dlg = makeDialog(parent);
        dlg->SetItems({item("busy.txt", "abc"), item("free.txt", "def")});
        QVERIFY(dlg->Start());
        QTRY_COMPARE_WITH_TIMEOUT(parent.count, 1, 10000);
        m_store.RemoveNameInProgress(u"busy.txt"_s);
        QCOMPARE(g_messages.shown().size(), 1);
        QCOMPARE(g_messages.shown().first().text, u"전송중인 파일은 다운로드할 수 없습니다."_s);
        QCOMPARE(g_messages.shown().first().icon, MessageIcon::Information);
        QCOMPARE(ReadAll(dest() + u"free.txt"_s), QByteArray("def"));
    }

    void uploadRoundTrip() {
        const QString local = dest() + u"올림.txt"_s;
        QFile f(local);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("uploaded bytes");
        f.close();
        m_store.SetQuota(m_service->quotaTotal(), m_service->quotaFree());
        DoneCatcher parent;
        auto dlg = makeDialog(parent, CTransmissionDlg::Upload);
        dlg->SetOpenFolderAfter(true); // never for uploads
        dlg->SetItems({TransferItem{-1, local, QString(), 0}});
        QVERIFY(dlg->Start());
        QTRY_COMPARE_WITH_TIMEOUT(parent.count, 1, 10000);
        QCOMPARE(parent.direction, int(CTransmissionDlg::Upload));
        QVERIFY2(g_messages.shown().isEmpty(), qPrintable(g_messages.shown().value(0).text));
        bool stored = false;
        for (const cloffa::StoredFile& file : m_service->files())
            stored = stored || (file.name == "올림.txt" && file.size == 14);
        QVERIFY(stored);
        QVERIFY(g_opened.isEmpty());
    }

    // When a batch ends while the file list's window is away the desktop says what was done or what
    // failed; while it runs the task bar shows its progress, and the batch leaves it at the end.
    void desktopToldWhenAway_data() {
        QTest::addColumn<int>("direction");
        QTest::addColumn<QString>("window"); // "hidden", "minimized" or "active"
        QTest::addColumn<bool>("fault");
        QTest::addColumn<QString>("summary"); // empty: no notification
        QTest::addColumn<QString>("body");
        QTest::newRow("download while hidden")
            << int(CTransmissionDlg::Download) << u"hidden"_s << false << Strings::NotifyDownloadDone
            << u"2개의 파일을 다운로드했습니다."_s;
        QTest::newRow("upload while minimized") << int(CTransmissionDlg::Upload) << u"minimized"_s << false
                                                << Strings::NotifyUploadDone << u"2개의 파일을 업로드했습니다."_s;
        QTest::newRow("failure while minimized")
            << int(CTransmissionDlg::Download) << u"minimized"_s << true << Strings::NotifyDownloadFailed
            << u"요청하신 파일은 바이러스로 분류되어 자동 삭제되었습니다.\n오류번호: 404"_s;
        QTest::newRow("download seen") << int(CTransmissionDlg::Download) << u"active"_s << false << QString()
                                       << QString();
    }
    void desktopToldWhenAway() {
        QFETCH(int, direction);
        QFETCH(QString, window);
        QFETCH(bool, fault);
        QFETCH(QString, summary);
        QFETCH(QString, body);
        if (fault)
            m_service->injectFault(cloffa::Endpoint::Download, {cloffa::Fault::Kind::HttpStatus, 404, {}, 0, 0});
        m_store.SetQuota(m_service->quotaTotal(), m_service->quotaFree());
        DoneCatcher parent;
        if (window == u"minimized"_s) {
            parent.showMinimized();
            QTRY_VERIFY(parent.isMinimized());
        } else if (window == u"active"_s) {
            parent.show();
            parent.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&parent));
        }
        RecordingNotifier notifier;
        auto dlg = makeDialog(parent, direction);
        dlg->SetNotifier(&notifier);
        std::vector<TransferItem> items;
        if (direction == CTransmissionDlg::Upload) {
            for (const QString& name : {u"보냄 1.txt"_s, u"보냄 2.txt"_s}) {
                QFile f(dest() + name);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(QByteArray(50000, 'u'));
                items.push_back(TransferItem{-1, dest() + name, QString(), 0});
            }
        } else {
            items = {item("notify-1.bin", std::string(50000, 'a')), item("notify-2.bin", "b")};
        }
        dlg->SetItems(items);
        QVERIFY(dlg->Start());
        QTRY_COMPARE_WITH_TIMEOUT(parent.count, 1, 10000);
        QVERIFY(notifier.progressCalls > 0);
        QCOMPARE(notifier.ended, 1);
        QVERIFY(notifier.running.isEmpty());
        if (summary.isEmpty()) {
            QVERIFY(notifier.notified.isEmpty());
        } else {
            QCOMPARE(notifier.notified.size(), 1);
            QCOMPARE(notifier.notified.first().first, summary);
            QCOMPARE(notifier.notified.first().second, body);
        }
        if (!fault) {
            QCOMPARE(notifier.lastDone, 1); // the second file was the last one moving
            QVERIFY(notifier.lastCurrent >= 0.0 && notifier.lastCurrent <= 1.0);
        }
    }

    // The user's own cancel is never announced; the batch still leaves the task bar.
    void cancelNotAnnounced() {
        m_service->injectFault(cloffa::Endpoint::Download,
                               {cloffa::Fault::Kind::StallMidBody, 0, {}, 64 * 1024, 8000});
        DoneCatcher parent;
        RecordingNotifier notifier;
        auto dlg = makeDialog(parent);
        dlg->SetNotifier(&notifier);
        dlg->SetItems({item("stalled.bin", std::string(1024 * 1024, 's'))});
        QVERIFY(dlg->Start());
        QTRY_VERIFY_WITH_TIMEOUT(notifier.progressCalls > 1, 10000);
        dlg->CancelTransfer();
        QTRY_COMPARE_WITH_TIMEOUT(parent.count, 1, 10000);
        QCOMPARE(notifier.ended, 1);
        QVERIFY(notifier.notified.isEmpty());
    }

    void cancelBeforeStartAndTwice() {
        DoneCatcher parent;
        auto dlg = makeDialog(parent);
        dlg->cancel();
        dlg->cancel();
        QTest::qWait(20);
        QCOMPARE(parent.count, 1);
        QVERIFY(!dlg->isActive());
    }

    void destroyedWhileRunning() {
        m_service->injectFault(cloffa::Endpoint::Download,
                               {cloffa::Fault::Kind::StallMidBody, 0, {}, 64 * 1024, 8000});
        DoneCatcher parent;
        auto dlg = makeDialog(parent);
        dlg->SetItems({item("stall.bin", std::string(1024 * 1024, 's'))});
        QVERIFY(dlg->Start());
        auto* bar = qobject_cast<QProgressBar*>(dlg->control(CTransmissionDlg::IdProgress));
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0 || !g_messages.shown().isEmpty(), 10000);
        QVERIFY2(g_messages.shown().isEmpty(), qPrintable(g_messages.shown().value(0).text));
        QVERIFY(dlg->isActive());
        QElapsedTimer timer;
        timer.start();
        dlg.reset(); // joins the worker, never terminates it
        qInfo("destroyed in %lld ms", timer.elapsed());
        QVERIFY(timer.elapsed() < 1500);
        QVERIFY(!m_store.AnyTransferActive());
        QCOMPARE(QDir(dest()).entryList(QDir::Files | QDir::Hidden).size(), 0);
    }
};

QTEST_MAIN(TestTransmissionDlg)
#include "tst_transmission_dlg.moc"
