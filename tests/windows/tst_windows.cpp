// The main window and the file list window end to end against the in-process local service.
#include "app/SessionStore.h"
#include "app/Utils.h"
#include "app/platform/PrivateEvents.h"
#include "res/Strings.h"
#include "tests/ui/ScriptedMessages.h"
#include "tools/cloffa-service/LocalService.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CImageButtonEx.h"
#include "ui/controls/CModalessMessageBox.h"
#include "ui/controls/CThemeListCtrl.h"
#include "ui/windows/CFilelistDlg.h"
#include "ui/windows/CQuorvaneDlg.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <fstream>

#include <memory>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString writeFile(const QString& folder, const QString& name, const QByteArray& bytes) {
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

MessageScript g_messages;

struct HideCounter : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Hide)
            ++count;
        return false;
    }
};

QStringList shownTexts() {
    QStringList texts;
    const auto shown = g_messages.shown();
    for (const auto& box : shown)
        texts << box.text;
    return texts;
}

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void listAndQuota();
    void screenshots();
    void uploadDropAndButton();
    void downloadIntoFolder();
    void deleteOne_data();
    void deleteOne();
    void deleteNothingSelected();
    void failures_data();
    void failures();
    void spaceQuestion_data();
    void spaceQuestion();
    void versionRefused();
    void logoutTwiceHandledOnce();
    void logoutDuringTransfer();
    void closeDuringTransferRefused();
    void closeBeforeVersionCheck();
    void dragOut_data();
    void dragOut();
    void dragOutNowhere_data();
    void dragOutNowhere();
    void enterEscapeSwallowed();
    void alwaysOnTopToggle();
    void alwaysOnTopKeepsTheWindowRunning();
    void logoutWhileDeleteQuestionOpen();
    void dropsOfOtherKinds_data();
    void dropsOfOtherKinds();
    void uploadDialogStartFolder();
    void keyboardReachesEveryButton();

private:
    std::unique_ptr<CQuorvaneDlg> openWindow(bool waitForStart = true);
    int serviceCount() const { return static_cast<int>(m_service->files().size()); }
    void selectRow(CFilelistDlg* list, int row);
    int rowOf(const QString& name) const;

    // The desktop the file list window is handed: the real transfer dialog, scripted questions and drags.
    void SetFolderChooser(CFilelistDlg::FolderChooser chooser) { m_chooseFolder = std::move(chooser); }
    void SetDragExecutor(CFilelistDlg::DragExecutor executor) { m_drag = std::move(executor); }
    void QueueOpenFileAnswer(const QStringList& paths) { m_openFileAnswers.push_back(paths); }
    CFilelistDlg::Desktop desktop();

    CFilelistDlg::FolderChooser m_chooseFolder;
    CFilelistDlg::DragExecutor m_drag;
    std::deque<QStringList> m_openFileAnswers;
    QStringList m_chooserFolders; // where each open-file dialog started
    QTemporaryDir m_dir;
    std::unique_ptr<cloffa::LocalService> m_service;
    std::unique_ptr<SessionStore> m_store;
    QString m_dragRoot;
    std::optional<std::chrono::milliseconds> m_dragWatch;
};

void WindowsTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    cloffa::ServiceOptions options;
    options.storeDir = QString(m_dir.path() + u"/store"_s).toStdString();
    options.sampleSet = true;
    m_service = std::make_unique<cloffa::LocalService>(options);
    std::string error;
    QVERIFY2(m_service->start(&error), error.c_str());
    qputenv("CLOFFA_SERVICE_URL", QByteArray::fromStdString(m_service->baseUrl()));
    qputenv("CLOFFA_TRANSFER_URL", QByteArray::fromStdString(m_service->baseUrl()));
    qputenv("CLOFFA_CA_FILE", QByteArray::fromStdString(m_service->caFile().string()));
    m_store = std::make_unique<SessionStore>(SessionStore::Settings::None);
    m_store->SetLaunchUserId(u"tester"_s);
    m_store->SetSessionKey(u"test-session-key"_s);
    m_service->setQuotaTotal(2100000000); // room beside the large sample listing
    m_dragRoot = m_dir.path() + u"/home"_s;
    QVERIFY(QDir().mkpath(m_dragRoot + u"/Desktop/inbox"_s));
}

void WindowsTest::init() {
    g_messages.clearShown();
    g_messages.clearNextAnswers();
    m_openFileAnswers.clear();
    m_chooserFolders.clear();
    g_messages.whileOpen = {};
    m_service->clearFaults();
    m_service->setRefuseVersion(false);
    m_store->ClearFiles();
    m_store->SetServiceReady(false);
    m_store->SetExitPending(false);
    m_store->SetVersionCheckResult(0);
    m_store->SetQuota(0, 0);
}

void WindowsTest::cleanup() {
    m_chooseFolder = {};
    m_drag = {};
    m_dragWatch = {};
    QTRY_VERIFY_WITH_TIMEOUT(!m_store->AnyTransferActive(), 15000);
}

CFilelistDlg::Desktop WindowsTest::desktop() {
    CFilelistDlg::Desktop desktop;
    desktop.chooseFolder = [this](QWidget* owner, int count, QString* folder, bool* openFolder) {
        return m_chooseFolder && m_chooseFolder(owner, count, folder, openFolder);
    };
    desktop.runDrag = [this](QWidget* source, QMimeData* data) {
        const Qt::DropAction action = m_drag ? m_drag(source, data) : Qt::IgnoreAction;
        delete data;
        return action;
    };
    desktop.chooseFiles = [this](QWidget*, const QString& folder) {
        m_chooserFolders << folder;
        if (m_openFileAnswers.empty())
            return QStringList();
        const QStringList paths = m_openFileAnswers.front();
        m_openFileAnswers.pop_front();
        return paths;
    };
    desktop.dragRoots = {m_dragRoot};
    desktop.dragWatch = m_dragWatch;
    return desktop;
}

std::unique_ptr<CQuorvaneDlg> WindowsTest::openWindow(bool waitForStart) {
    auto window = std::make_unique<CQuorvaneDlg>(*m_store, QPoint(30, 40), nullptr, desktop());
    new ScriptedMessages(window.get(), g_messages);
    window->show();
    if (waitForStart) {
        QElapsedTimer timer;
        timer.start();
        while (!window->StartSequenceDone() && !window->Closed() && timer.elapsed() < 20000)
            QTest::qWait(10);
        QCoreApplication::processEvents(); // what the last worker posted
    }
    return window;
}

void WindowsTest::selectRow(CFilelistDlg* list, int row) {
    CThemeListCtrl* view = list->List();
    view->selectionModel()->select(view->model()->index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

int WindowsTest::rowOf(const QString& name) const {
    const auto files = m_store->Files();
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].name == name)
            return static_cast<int>(i);
    }
    return -1;
}

void WindowsTest::listAndQuota() {
    auto window = openWindow();
    QVERIFY(window->StartSequenceDone());
    QVERIFY(m_store->ServiceReady());
    const auto stored = m_service->files();
    QCOMPARE(m_store->FileCount(), static_cast<int>(stored.size()));
    QCOMPARE(window->FileList()->List()->model()->rowCount(), static_cast<int>(stored.size()));
    for (size_t i = 0; i < stored.size(); ++i) {
        const FileRow row = *m_store->FileAt(static_cast<int>(i));
        QCOMPARE(row.name, QString::fromStdString(stored[i].name));
        QCOMPARE(row.idx, stored[i].idx);
        QCOMPARE(row.size, stored[i].listedSize);
        QCOMPARE(row.regDate, QString::fromStdString(stored[i].regDate).mid(2, 8));
    }
    QCOMPARE(window->QuotaText(CQuorvaneDlg::kTotalId), FormatSize(m_service->quotaTotal()));
    QCOMPARE(window->QuotaText(CQuorvaneDlg::kFreeId), FormatSize(m_service->quotaFree()));
    QCOMPARE(window->QuotaText(CQuorvaneDlg::kUsedId),
             FormatSize(m_service->quotaTotal() - m_service->quotaFree()));
    QCOMPARE(window->windowTitle(), u"Cloffa - Tavirun"_s);
    QVERIFY(!window->WaitBox()->isVisible());
    QVERIFY(shownTexts().isEmpty());
    QCOMPARE(window->FileList()->RunningWorkers(), 0);
}

void WindowsTest::screenshots() {
    auto window = openWindow();
    const QString folder = qEnvironmentVariable("QUORVANE_BINARY_DIR", m_dir.path()) + u"/windows-shots"_s;
    QDir().mkpath(folder);
    QVERIFY(m_store->FileCount() > 0);
    QCOMPARE(window->FileList()->List()->model()->rowCount(), m_store->FileCount());
    QCOMPARE(window->QuotaText(CQuorvaneDlg::kTotalId), FormatSize(m_service->quotaTotal()));
    QPixmap shot = window->grab();
    QVERIFY(shot.save(folder + u"/main-list.png"_s));
    SendPrivate(window.get(), WaitBoxRequest{true, Strings::WaitFileList});
    QVERIFY(window->WaitBox()->isVisible());
    QCOMPARE(window->WaitBox()->MessageText(), Strings::WaitFileList);
    // The box sits centred, one caption height lower.
    const QPoint offset = window->WaitBox()->geometry().center() - window->geometry().center();
    QVERIFY(qAbs(offset.x()) <= 1);
    QVERIFY(offset.y() > 0);
    QPixmap composed = window->grab();
    {
        QPainter painter(&composed);
        painter.drawPixmap(window->WaitBox()->pos() - window->pos(), window->WaitBox()->grab());
    }
    QVERIFY(composed.save(folder + u"/main-waitbox.png"_s));
    SendPrivate(window.get(), WaitBoxRequest{false, {}});
    QVERIFY(!window->WaitBox()->isVisible());
    // Re-placed after a move.
    window->move(window->pos() + QPoint(5, 7));
    SendPrivate(window.get(), WaitBoxRequest{true, Strings::WaitFileList});
    QCOMPARE(window->WaitBox()->geometry().center().x(), window->geometry().center().x());
}

void WindowsTest::uploadDropAndButton() {
    auto window = openWindow();
    CFilelistDlg* list = window->FileList();
    const int before = serviceCount();
    QTemporaryDir local;
    const QByteArray first("first dropped file\n"), second(70000, 'z'), third("by the button");
    const QString a = writeFile(local.path(), u"드롭 하나.txt"_s, first);
    const QString b = writeFile(local.path(), u"drop-two.bin"_s, second);
    const QString c = writeFile(local.path(), u"button.txt"_s, third);
    PostPrivate(list, DroppedFiles{{a, b}});
    QTRY_COMPARE_WITH_TIMEOUT(serviceCount(), before + 2, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_store->AnyTransferActive(), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(m_store->FileCount(), before + 2, 15000); // listed again after the upload
    QueueOpenFileAnswer({c});
    QTest::mouseClick(list->Button(CFilelistDlg::kUploadId), Qt::LeftButton, {}, QPoint(3, 3));
    QTRY_COMPARE_WITH_TIMEOUT(serviceCount(), before + 3, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(m_store->FileCount(), before + 3, 15000);
    QCOMPARE(m_store->GetLastUploadFolder(), local.path() + u'/');
    const std::pair<QString, QByteArray> expected[] = {
        {u"드롭 하나.txt"_s, first}, {u"drop-two.bin"_s, second}, {u"button.txt"_s, third}};
    for (const auto& [name, bytes] : expected) {
        bool found = false;
        for (const auto& file : m_service->files()) {
            if (QString::fromStdString(file.name) == name) {
                found = true;
                QCOMPARE(readAll(QString::fromStdString(m_service->contentPath(file.idx).string())), bytes);
            }
        }
        QVERIFY2(found, qPrintable(name));
    }
    QVERIFY(shownTexts().isEmpty());
}

void WindowsTest::downloadIntoFolder() {
    const QByteArray bytes = QByteArray("downloaded bytes\r\n\0tail", 23).repeated(300);
    m_service->addFile("받을 파일.txt", bytes.toStdString());
    auto window = openWindow();
    QTemporaryDir target;
    int asked = 0;
    SetFolderChooser([&](QWidget*, int count, QString* folder, bool* openFolder) {
        asked = count;
        *folder = target.path();
        *openFolder = false;
        return true;
    });
    const int row = rowOf(u"받을 파일.txt"_s);
    QVERIFY(row >= 0);
    selectRow(window->FileList(), row);
    QTest::mouseClick(window->FileList()->Button(CFilelistDlg::kDownloadId), Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(asked, 1);
    const QString local = target.filePath(u"받을 파일.txt"_s);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(local) && !m_store->AnyTransferActive(), 15000);
    QCOMPARE(readAll(local), bytes);
    QCOMPARE(m_store->GetDownloadFolder(), target.path() + u'/');
    // A cancelled destination question starts nothing.
    SetFolderChooser([](QWidget*, int, QString*, bool*) { return false; });
    QTest::mouseClick(window->FileList()->Button(CFilelistDlg::kDownloadId), Qt::LeftButton, {}, QPoint(3, 3));
    QVERIFY(!m_store->AnyTransferActive());
}

void WindowsTest::deleteOne_data() {
    QTest::addColumn<bool>("uploadEndsMeanwhile");
    QTest::newRow("alone") << false;
    QTest::newRow("an upload ends during the delete") << true;
}

void WindowsTest::deleteOne() {
    QFETCH(bool, uploadEndsMeanwhile);
    const int32_t idx = m_service->addFile("to-delete.txt", "bye");
    auto window = openWindow();
    const int before = serviceCount();
    const int row = rowOf(u"to-delete.txt"_s);
    QVERIFY(row >= 0);
    selectRow(window->FileList(), row);
    g_messages.setNextAnswer(MessageAnswer::Yes);
    int workersMeanwhile = -1;
    if (uploadEndsMeanwhile) {
        // The delete's answer is late; meanwhile an upload batch ends and asks for its refresh.
        cloffa::Fault stall;
        stall.kind = cloffa::Fault::Kind::Stall;
        stall.stallMs = 600;
        m_service->injectFault(cloffa::Endpoint::Soap, stall);
        QTimer::singleShot(200, window->FileList(), [&] {
            PostPrivate(window->FileList(), TransferFinished{1, nullptr});
            QTimer::singleShot(100, window->FileList(),
                               [&] { workersMeanwhile = window->FileList()->RunningWorkers(); });
        });
    }
    m_service->clearRequests();
    QTest::keyClick(window->FileList()->List(), Qt::Key_Delete);
    // One call after the other: the delete, then one list for both the delete and the upload.
    QStringList calls;
    for (const auto& request : m_service->requests())
        calls << (QString::fromStdString(request.body).contains(u"GetUserFiles"_s) ? u"list"_s : u"other"_s);
    QCOMPARE(calls, (QStringList{u"other"_s, u"list"_s}));
    if (uploadEndsMeanwhile)
        QCOMPARE(workersMeanwhile, 1); // the refresh waited in line
    QCOMPARE(window->FileList()->RunningWorkers(), 0);
    QCOMPARE(serviceCount(), before - 1);
    QVERIFY(!m_service->file(idx));
    QCOMPARE(m_store->FileCount(), before - 1); // fetched again
    QCOMPARE(rowOf(u"to-delete.txt"_s), -1);
    QCOMPARE(shownTexts(), QStringList{Strings::DeleteQuestion});
    QVERIFY(window->FileList()->isEnabled());
}

void WindowsTest::deleteNothingSelected() {
    auto window = openWindow();
    m_service->clearRequests();
    QTest::mouseClick(window->FileList()->Button(CFilelistDlg::kDeleteId), Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(shownTexts(), QStringList{Strings::DeleteNothingSelected});
    QVERIFY(m_service->requests().empty());
}

void WindowsTest::failures_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::newRow("list fault") << u"listFault"_s << u"파일 목록을 가져올 수 없습니다.\n오류번호 : "_s
                                << int(MessageIcon::Error);
    QTest::newRow("no file array") << u"noArray"_s << Strings::ServiceAnswerInvalid << int(MessageIcon::Error);
    QTest::newRow("version check fault")
        << u"versionFault"_s << u"파일서비스 업데이트 체크에러\n오류번호: "_s << int(MessageIcon::Error);
    QTest::newRow("delete fault") << u"deleteFault"_s << u"파일을 삭제할 수 없습니다. error number: "_s
                                  << int(MessageIcon::Error);
    QTest::newRow("busy file") << u"busyDelete"_s << Strings::DeleteBusyFile << int(MessageIcon::Information);
    QTest::newRow("dropped folder") << u"folder"_s << Strings::DropFolderRefused << int(MessageIcon::Information);
    QTest::newRow("missing dropped file")
        << u"missing"_s << Strings::DropFileMissing << int(MessageIcon::Information);
    QTest::newRow("unreadable") << u"unreadable"_s << Strings::UploadUnreadable << int(MessageIcon::Warning);
}

void WindowsTest::failures() {
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(int, icon);
    cloffa::Fault soapFault;
    soapFault.kind = cloffa::Fault::Kind::SoapFault;
    if (kind == u"versionFault"_s)
        m_service->injectFault(cloffa::Endpoint::Soap, soapFault);
    std::unique_ptr<CQuorvaneDlg> window;
    if (kind == u"listFault"_s || kind == u"noArray"_s) {
        window = openWindow();
        cloffa::Fault fault = soapFault;
        if (kind == u"noArray"_s)
            fault.kind = cloffa::Fault::Kind::MissingFileArray;
        m_service->injectFault(cloffa::Endpoint::Soap, fault);
        g_messages.clearShown();
        window->FileList()->RefreshList();
        QCOMPARE(m_store->FileCount(), 0);
    } else if (kind == u"versionFault"_s) {
        window = openWindow();
        QTRY_VERIFY_WITH_TIMEOUT(window->Closed(), 5000);
    } else {
        window = openWindow();
        g_messages.clearShown();
        CFilelistDlg* list = window->FileList();
        QTemporaryDir local;
        if (kind == u"deleteFault"_s || kind == u"busyDelete"_s) {
            const int before = serviceCount();
            selectRow(list, 0);
            selectRow(list, 1);
            const QString busyName = m_store->FileAt(0)->name;
            if (kind == u"busyDelete"_s) {
                m_store->AddNameInProgress(busyName);
            } else {
                cloffa::Fault fault = soapFault;
                m_service->injectFault(cloffa::Endpoint::Soap, fault);
            }
            const int32_t keptIdx = m_store->FileAt(1)->idx;
            g_messages.setNextAnswer(MessageAnswer::Yes);
            list->Delete();
            if (kind == u"busyDelete"_s) {
                m_store->RemoveNameInProgress(busyName);
                QCOMPARE(serviceCount(), before - 1); // the other one went
                QVERIFY(!m_service->file(keptIdx));
                QVERIFY(rowOf(busyName) >= 0);
            } else {
                QCOMPARE(serviceCount(), before); // stopped at the first failure
            }
        } else if (kind == u"folder"_s) {
            const QString file = writeFile(local.path(), u"f.txt"_s, "x");
            list->UploadPaths({file, local.path(), file});
        } else if (kind == u"missing"_s) {
            list->UploadPaths({local.filePath(u"gone.txt"_s)});
        } else if (kind == u"unreadable"_s) {
            const QString file = writeFile(local.path(), u"locked.txt"_s, "x");
            QFile::setPermissions(file, QFileDevice::Permissions());
            if (QFile(file).open(QIODevice::ReadOnly))
                QSKIP("running with rights that read anything");
            list->UploadPaths({file});
        }
        QVERIFY(!m_store->AnyTransferActive());
    }
    const auto shown = g_messages.shown();
    QVERIFY2(!shown.isEmpty(), qPrintable(kind));
    qsizetype at = 0;
    while (at < shown.size() && !shown.at(at).text.startsWith(text))
        ++at;
    QVERIFY2(at < shown.size(), qPrintable(shownTexts().join(u'|')));
    const auto& box = shown.at(at);
    QCOMPARE(int(box.icon), icon);
    QCOMPARE(box.caption, u"Cloffa"_s);
    int boxes = 0;
    for (const auto& b : shown)
        boxes += b.text == text ? 1 : 0;
    if (kind == u"folder"_s)
        QCOMPARE(boxes, 1); // once, and the whole drop is abandoned
    if (text.endsWith(u' '))
        QVERIFY(box.text.size() > text.size()); // carries the error number
}

void WindowsTest::spaceQuestion_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("yes uploads") << int(MessageAnswer::Yes);
    QTest::newRow("no cancels") << int(MessageAnswer::No);
}

void WindowsTest::spaceQuestion() {
    QFETCH(int, answer);
    auto window = openWindow();
    QTemporaryDir local;
    const QString file = writeFile(local.path(), u"big.bin"_s, QByteArray(4096, 'b'));
    m_store->SetQuota(m_store->QuotaTotal(), 100); // less than the file
    const int before = serviceCount();
    g_messages.clearShown();
    g_messages.setNextAnswer(static_cast<MessageAnswer>(answer));
    m_service->clearRequests();
    window->FileList()->UploadPaths({file});
    const auto uploadsSent = [this] {
        int sent = 0;
        for (const auto& request : m_service->requests())
            sent += request.target.rfind("/Cloffa/File/Set.aspx", 0) == 0 ? 1 : 0;
        return sent;
    };
    QCOMPARE(shownTexts(), QStringList{Strings::UploadSpaceQuestion});
    QCOMPARE(int(g_messages.shown().first().icon), int(MessageIcon::Warning));
    QVERIFY(g_messages.shown().first().yesNo); // a question, under the warning icon
    if (answer == int(MessageAnswer::Yes)) {
        // Sent anyway; the service itself may still refuse it.
        QTRY_COMPARE_WITH_TIMEOUT(uploadsSent(), 1, 15000);
    } else {
        QVERIFY(!m_store->AnyTransferActive());
        QTest::qWait(100);
        QCOMPARE(uploadsSent(), 0);
        QCOMPARE(serviceCount(), before);
    }
}

void WindowsTest::versionRefused() {
    m_service->setRefuseVersion(true);
    auto window = openWindow();
    QVERIFY(window->Closed());
    QCOMPARE(shownTexts(), QStringList{Strings::VersionRefused});
    QCOMPARE(int(g_messages.shown().first().icon), int(MessageIcon::Warning));
    QCOMPARE(m_store->FileCount(), 0); // no list was fetched
}

void WindowsTest::logoutTwiceHandledOnce() {
    auto window = openWindow();
    QElapsedTimer timer;
    timer.start();
    window->OnToolbarLogout();
    QVERIFY(window->LogoutCloseScheduled());
    QVERIFY(window->WaitBox()->isVisible());
    QCOMPARE(window->WaitBox()->MessageText(), Strings::LogoutClosing);
    window->WaitBox()->SetMessageText(u"x"_s);
    window->OnToolbarLogout(); // ignored
    QCOMPARE(window->WaitBox()->MessageText(), u"x"_s);
    // User actions are ignored from now on.
    QTemporaryDir local;
    window->FileList()->UploadPaths({local.filePath(u"gone.txt"_s)});
    QVERIFY(shownTexts().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(window->Closed(), 3000);
    QVERIFY(timer.elapsed() >= 1150);
}

void WindowsTest::logoutDuringTransfer() {
    auto window = openWindow();
    QObject fake;
    m_store->AddTransferDialog(&fake);
    window->OnToolbarLogout();
    QCOMPARE(window->WaitBox()->MessageText(), Strings::LogoutAfterTransfer);
    QVERIFY(!window->LogoutCloseScheduled());
    QTest::qWait(1400);
    QVERIFY(!window->Closed());
    // The last transfer reports its end: the window closes.
    m_store->RemoveTransferDialog(&fake);
    SendPrivate(window->FileList(), TransferFinished{0, window->FileList()});
    QTRY_VERIFY_WITH_TIMEOUT(window->Closed(), 2000);
}

void WindowsTest::closeDuringTransferRefused() {
    auto window = openWindow();
    QObject fake;
    m_store->AddTransferDialog(&fake);
    QVERIFY(!window->close());
    QVERIFY(!window->Closed());
    QCOMPARE(shownTexts(), QStringList{Strings::CloseRefusedBusy});
    QCOMPARE(int(g_messages.shown().first().icon), int(MessageIcon::Information));
    m_store->RemoveTransferDialog(&fake);
    QVERIFY(window->close());
}

void WindowsTest::closeBeforeVersionCheck() {
    cloffa::Fault stall;
    stall.kind = cloffa::Fault::Kind::Stall;
    stall.stallMs = 2500;
    m_service->injectFault(cloffa::Endpoint::Soap, stall);
    auto window = openWindow(false);
    QObject fake;
    int runningAtClose = -1;
    bool closed = false;
    // Runs inside the wait of the version check.
    QTimer::singleShot(400, window.get(), [&] {
        runningAtClose = window->FileList()->RunningWorkers();
        m_store->AddTransferDialog(&fake); // not asked about: the service is not ready yet
        closed = window->close();
    });
    QTRY_VERIFY_WITH_TIMEOUT(window->Closed(), 3000);
    QCOMPARE(runningAtClose, 1);
    QVERIFY(closed);
    QVERIFY(!m_store->ServiceReady());
    m_store->RemoveTransferDialog(&fake);
    QVERIFY(shownTexts().isEmpty());
    QElapsedTimer timer;
    timer.start();
    window.reset(); // the close ended the running call: nothing is left to wait for, nothing killed
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(m_store->WorkerCount() == 0);
}

// A second drag started while the first one's file manager is still asking (a Move/Copy menu) keeps
// both: each drag's own marker, its own folder.
void WindowsTest::dragOut_data() {
    QTest::addColumn<bool>("overlapping");
    QTest::newRow("one drag") << false;
    QTest::newRow("a second drag while the first is asked about") << true;
}
void WindowsTest::dragOut() {
    QFETCH(bool, overlapping);
    const QByteArray bytes("dragged out to a folder\n");
    const QByteArray second("dragged out second\n");
    m_service->addFile("끌어낸.txt", bytes.toStdString());
    m_service->addFile("둘째.txt", second.toStdString());
    auto window = openWindow();
    const int row = rowOf(u"끌어낸.txt"_s);
    QVERIFY(row >= 0);
    selectRow(window->FileList(), row);
    const QString inbox = m_dragRoot + u"/Desktop/inbox"_s;
    const QString other = m_dragRoot + u"/Documents/회사/2026/12월/회의록"_s;
    QVERIFY(QDir().mkpath(other));
    QFile::remove(inbox + u"/끌어낸.txt"_s);
    QFile::remove(other + u"/둘째.txt"_s);
    QString source;
    SetDragExecutor([&](QWidget*, QMimeData* data) {
        source = data->urls().value(0).toLocalFile();
        if (!overlapping)
            QFile::copy(source, inbox + u"/cloffa_drop_target.tmp"_s);
        return Qt::CopyAction;
    });
    window->FileList()->StartDragOut();
    QVERIFY(source.endsWith(u"/cloffa_drop_target.tmp"_s));
    if (overlapping) {
        QVERIFY(QFile::exists(source)); // the first file manager may still copy it
        QTest::qWait(300);
        selectRow(window->FileList(), rowOf(u"둘째.txt"_s));
        QString secondSource;
        SetDragExecutor([&](QWidget*, QMimeData* data) {
            secondSource = data->urls().value(0).toLocalFile();
            QFile::copy(secondSource, other + u"/cloffa_drop_target.tmp"_s);
            return Qt::CopyAction;
        });
        window->FileList()->StartDragOut();
        QVERIFY(secondSource != source);
        QVERIFY(QFile::exists(source));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(other + u"/둘째.txt"_s) && !m_store->AnyTransferActive(), 15000);
        QCOMPARE(readAll(other + u"/둘째.txt"_s), second);
        QVERIFY(!QFile::exists(other + u"/cloffa_drop_target.tmp"_s));
        QVERIFY(!QFile::exists(secondSource));
        QVERIFY(QFile::copy(source, inbox + u"/cloffa_drop_target.tmp"_s)); // the first answer comes
    }
    const QString local = inbox + u"/끌어낸.txt"_s;
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(local) && !m_store->AnyTransferActive(), 15000);
    QVERIFY(!QFile::exists(source));
    QVERIFY(!QFile::exists(inbox + u"/cloffa_drop_target.tmp"_s));
    QCOMPARE(m_store->GetDownloadFolder(), inbox + u'/');
    QCOMPARE(readAll(local), bytes);
    QVERIFY(!QFile::exists(inbox + u"/둘째.txt"_s));
}

// Dropped nowhere: nothing to say. Accepted by a target that never copies the marker (not a file
// manager, or one showing a folder out of reach): the user is told, and no marker is left.
void WindowsTest::dragOutNowhere_data() {
    QTest::addColumn<bool>("accepted");
    QTest::newRow("refused by every target") << false;
    QTest::newRow("accepted, nothing copied") << true;
}
void WindowsTest::dragOutNowhere() {
    QFETCH(bool, accepted);
    m_dragWatch = std::chrono::milliseconds(1000);
    auto window = openWindow();
    selectRow(window->FileList(), 0);
    QString source;
    SetDragExecutor([&](QWidget*, QMimeData* data) {
        source = data->urls().value(0).toLocalFile();
        return accepted ? Qt::CopyAction : Qt::IgnoreAction;
    });
    const QString folder = m_store->GetDownloadFolder();
    window->FileList()->StartDragOut();
    QVERIFY(!source.isEmpty());
    if (accepted) {
        QVERIFY(QFile::exists(source)); // a file manager may still copy it
        QTRY_VERIFY_WITH_TIMEOUT(!shownTexts().isEmpty(), 5000);
        QCOMPARE(shownTexts(), QStringList{Strings::DragOutNotCompleted});
    } else {
        QTest::qWait(1500);
        QVERIFY(shownTexts().isEmpty());
    }
    QVERIFY(!QFile::exists(source));
    QVERIFY(!QFileInfo::exists(QFileInfo(source).path())); // the drag's own folder went too
    QVERIFY(!m_store->AnyTransferActive());
    QCOMPARE(m_store->GetDownloadFolder(), folder);
}

void WindowsTest::enterEscapeSwallowed() {
    auto window = openWindow();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QTest::keyClick(window.get(), Qt::Key_Return);
    QTest::keyClick(window->FileList()->List(), Qt::Key_Escape);
    QTest::keyClick(window->FileList()->List(), Qt::Key_Enter);
    QVERIFY(!window->Closed());
    QVERIFY(window->isVisible());
    // Ctrl+A selects every row.
    QTest::keyClick(window->FileList()->List(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(window->FileList()->List()->selectionModel()->selectedRows().size(), m_store->FileCount());
}

void WindowsTest::alwaysOnTopToggle() {
    m_store->SetAlwaysOnTop(0);
    auto window = openWindow();
    QCOMPARE(window->TopMostButton()->toolTip(), u"항상 위 설정"_s);
    QCOMPARE(window->MinimizeButton()->toolTip(), u"최소화"_s);
    QCOMPARE(window->CloseButton()->toolTip(), u"프로그램 종료"_s);
    QTest::mouseClick(window->TopMostButton(), Qt::LeftButton, {}, QPoint(2, 2));
    QCOMPARE(m_store->GetAlwaysOnTop(), 1);
    QVERIFY(window->TopMostButton()->IsSecondShown());
    QVERIFY(window->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(window->TopMostButton()->toolTip(), u"항상 위 해제"_s);
    QVERIFY(window->isVisible());
    window->ToggleAlwaysOnTop();
    QCOMPARE(m_store->GetAlwaysOnTop(), 0);
    QVERIFY(!(window->windowFlags() & Qt::WindowStaysOnTopHint));
    // A screen reader's toggle action changes only the checked state: the window follows it.
    window->TopMostButton()->toggle();
    QCOMPARE(m_store->GetAlwaysOnTop(), 1);
    QVERIFY(window->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(window->TopMostButton()->toolTip(), u"항상 위 해제"_s);
    // The quota values are read with their words, the value in the description.
    QCOMPARE(window->findChild<QWidget*>(u"control1004"_s)->accessibleName(), u"총 용량"_s);
    QCOMPARE(window->findChild<QWidget*>(u"control1004"_s)->accessibleDescription(),
             window->QuotaText(CQuorvaneDlg::kTotalId));
}

// The stay-on-top hint changes in place: the window is never hidden, so its modal run goes on.
void WindowsTest::alwaysOnTopKeepsTheWindowRunning() {
    m_store->SetAlwaysOnTop(0);
    auto window = openWindow();
    HideCounter hides;
    window->installEventFilter(&hides);
    bool visibleAfterToggles = false;
    QTimer::singleShot(0, window.get(), [&] {
        QTest::mouseClick(window->TopMostButton(), Qt::LeftButton, {}, QPoint(2, 2));
        QTest::mouseClick(window->TopMostButton(), Qt::LeftButton, {}, QPoint(2, 2));
        QCoreApplication::processEvents();
        visibleAfterToggles = window->isVisible() && !window->Closed();
        window->removeEventFilter(&hides);
        window->close();
    });
    window->exec(); // returns at the close above
    QVERIFY(visibleAfterToggles);
    QCOMPARE(hides.count, 0); // a hidden window would have ended its modal run
    QCOMPARE(m_store->GetAlwaysOnTop(), 0);
    QVERIFY(!window->TopMostButton()->isChecked());
}

// The toolbar logs out while the delete question is open: a "yes" then deletes nothing.
void WindowsTest::logoutWhileDeleteQuestionOpen() {
    const int32_t idx = m_service->addFile("kept.txt", "stay");
    auto window = openWindow();
    const int before = serviceCount();
    selectRow(window->FileList(), rowOf(u"kept.txt"_s));
    g_messages.whileOpen = [&](const MessageRequest& request) {
        if (request.text == Strings::DeleteQuestion)
            window->OnToolbarLogout();
    };
    g_messages.setNextAnswer(MessageAnswer::Yes);
    QTest::keyClick(window->FileList()->List(), Qt::Key_Delete);
    QCOMPARE(serviceCount(), before);
    QVERIFY(m_service->file(idx));
    QTRY_VERIFY_WITH_TIMEOUT(window->Closed(), 3000);
}

// Only plain folders get the folder message; anything that is no regular file fails as unreadable,
// found without opening it (a FIFO would block), and nothing goes up.
void WindowsTest::dropsOfOtherKinds_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("plain folder") << u"folder"_s << Strings::DropFolderRefused;
    QTest::newRow("hidden folder") << u".hidden"_s << Strings::UploadUnreadable;
    QTest::newRow("read-only folder") << u"readonly"_s << Strings::UploadUnreadable;
    QTest::newRow("fifo") << u"fifo"_s << Strings::UploadUnreadable;
    QTest::newRow("character device") << u"/dev/zero"_s << Strings::UploadUnreadable;
    QTest::newRow("missing") << u"missing"_s << Strings::DropFileMissing;
}
void WindowsTest::dropsOfOtherKinds() {
    QFETCH(QString, kind);
    QFETCH(QString, message);
    auto window = openWindow();
    QTemporaryDir local;
    QString path = kind.startsWith(u'/') ? kind : local.filePath(kind);
    if (kind == u"folder"_s || kind == u".hidden"_s || kind == u"readonly"_s)
        QVERIFY(QDir().mkpath(path));
    if (kind == u"readonly"_s)
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner));
    if (kind == u"fifo"_s)
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const int before = serviceCount();
    PostPrivate(window->FileList(), DroppedFiles{{path}});
    QTRY_COMPARE_WITH_TIMEOUT(shownTexts().size(), 1, 3000);
    QCOMPARE(shownTexts().first(), message);
    QVERIFY(!m_store->AnyTransferActive());
    QCOMPARE(serviceCount(), before);
    if (kind == u"readonly"_s)
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The open-file dialog starts at home the first time, then where the last upload came from.
void WindowsTest::uploadDialogStartFolder() {
    m_store->SetLastUploadFolder(QString());
    auto window = openWindow();
    QTemporaryDir local;
    const QString file = writeFile(local.path(), u"from-here.txt"_s, "x");
    QueueOpenFileAnswer({file});
    QTest::mouseClick(window->FileList()->Button(CFilelistDlg::kUploadId), Qt::LeftButton, {}, QPoint(3, 3));
    QTRY_VERIFY_WITH_TIMEOUT(!m_store->AnyTransferActive(), 15000);
    QTest::mouseClick(window->FileList()->Button(CFilelistDlg::kUploadId), Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(m_chooserFolders, (QStringList{QDir::homePath(), local.path() + u'/'}));
}

// Tab walks from the list through every button and back; Space presses the focused one.
void WindowsTest::keyboardReachesEveryButton() {
    m_store->SetAlwaysOnTop(0);
    auto window = openWindow();
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    window->FileList()->List()->setFocus();
    // A list fetch disables the window for a while; the keyboard stays on the list afterwards.
    window->FileList()->RefreshList();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(window->FileList()->List()));
    QList<QWidget*> visited;
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget();
    }
    CFilelistDlg* list = window->FileList();
    const QList<QWidget*> expected{list->Button(CFilelistDlg::kUploadId),
                                   list->Button(CFilelistDlg::kDownloadId),
                                   list->Button(CFilelistDlg::kDeleteId),
                                   window->TopMostButton(),
                                   window->MinimizeButton(),
                                   window->CloseButton(),
                                   list->List()};
    QCOMPARE(visited, expected);
    window->TopMostButton()->setFocus();
    QTest::keyClick(window->TopMostButton(), Qt::Key_Space);
    QCOMPARE(m_store->GetAlwaysOnTop(), 1);
    QCOMPARE(window->TopMostButton()->accessibleName(), u"항상 위"_s);
    QCOMPARE(window->CloseButton()->accessibleName(), u"종료"_s);
    QCOMPARE(list->List()->accessibleName(), u"파일 목록"_s);
}

QTEST_MAIN(WindowsTest)
#include "tst_windows.moc"
