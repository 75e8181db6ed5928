#include "ui/windows/CFilelistDlg.h"

#include "app/SessionStore.h"
#include "app/Utils.h"
#include "app/platform/MountPoints.h"
#include "app/platform/PrivateEvents.h"
#include "app/platform/XdndSelectionServer.h"
#include "res/DialogTemplates.h"
#include "res/SkinIds.h"
#include "res/Strings.h"
#include "service/FileService.h"
#include "ui/DialogBuilder.h"
#include "ui/MessageBox.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CThemeListCtrl.h"
#include "ui/controls/FileListModel.h"
#include "ui/windows/DropTargetFinder.h"

#include "ui/dialogs/CDownloadSelectDlg.h"
#include "ui/dialogs/CTransmissionDlg.h"
#include "ui/dialogs/QuestionGate.h"

#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <deque>

using namespace std::chrono_literals;

// One drag-out from its start until its marker is found, the watch gives up or the drag is refused.
struct CFilelistDlg::DragOut {
    DropTargetFinder* finder = nullptr;
    std::vector<TransferItem> batch;
    QString sourceFolder; // this drag's own folder, holding the offered marker
};

// What a found drag-out hands to its download.
struct CFilelistDlg::DragOutTarget {
    static constexpr PrivateMessage kMessage = PrivateMessage::DragTargetFound;
    std::vector<TransferItem> batch;
    QString folder;
};

namespace {

bool DefaultFolderChooser(SessionStore& store, QWidget* owner, int count, QString* folder, bool* openFolder) {
    CDownloadSelectDlg dialog(store, owner);
    dialog.SetMessage(WithNumber(Strings::DownloadCountFormat, count));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *folder = dialog.Folder();
    *openFolder = dialog.OpenFolder() != 0;
    return !folder->isEmpty();
}

QWidget* DefaultTransferStarter(SessionStore& store, const TransferSettings& settings, CFilelistDlg* owner,
                                const CFilelistDlg::TransferRequest& request) {
    auto* dialog = new CTransmissionDlg(
        store, settings, request.upload ? CTransmissionDlg::Upload : CTransmissionDlg::Download, owner);
    dialog->SetItems(request.items);
    dialog->SetNotifier(owner->Notifier());
    if (!request.upload) {
        dialog->SetDestFolder(request.folder);
        dialog->SetOpenFolderAfter(request.openFolder);
    }
    // On failure the dialog has already reported its end to `owner`, which disposes of it.
    return dialog->Start() ? dialog : nullptr;
}

QStringList DefaultFileChooser(QWidget* owner, const QString& folder) {
    QFileDialog dialog(owner, QString(), folder, Strings::OpenFileFilter);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::DontResolveSymlinks);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

Qt::DropAction DefaultDrag(QWidget* source, QMimeData* data) {
    auto* drag = new QDrag(source);
    drag->setMimeData(data);
    return drag->exec(Qt::CopyAction, Qt::CopyAction);
}

} // namespace

QString WithNumber(const QString& text, int number) {
    QString out = text;
    return out.replace(QStringLiteral("%d"), QString::number(number));
}

CFilelistDlg::CFilelistDlg(SessionStore& store, QWidget* mainWindow, std::shared_ptr<FileService> service,
                           Desktop desktop)
    : QWidget(mainWindow), m_store(store), m_mainWindow(mainWindow), m_desktop(std::move(desktop)),
      m_service(std::move(service)) {
    if (!m_desktop.transferPages)
        m_desktop.transferPages = TransferSettings::FromDeployment();
    if (!m_desktop.startTransfer) {
        m_desktop.startTransfer = [&store, pages = *m_desktop.transferPages](CFilelistDlg* owner,
                                                                             const TransferRequest& request) {
            return DefaultTransferStarter(store, pages, owner, request);
        };
    }
    if (!m_desktop.chooseFolder) {
        m_desktop.chooseFolder = [&store](QWidget* owner, int count, QString* folder, bool* openFolder) {
            return DefaultFolderChooser(store, owner, count, folder, openFolder);
        };
    }
    if (!m_desktop.runDrag)
        m_desktop.runDrag = &DefaultDrag;
    if (!m_desktop.chooseFiles)
        m_desktop.chooseFiles = &DefaultFileChooser;
    if (!m_service)
        m_service = std::make_shared<FileService>();
    m_token = std::make_shared<ReceiverToken>(this, mainWindow);
    setAttribute(Qt::WA_TranslucentBackground); // the parent's skin shows through
    const BuiltDialog built = DialogBuilder::Build(this, DialogTemplates::Get(DialogTemplates::FileList));
    m_list = built.get<CThemeListCtrl>(kListId);
    if (m_list)
        m_list->SetStore(m_store);
    m_upload = built.get<CImageButton>(kUploadId);
    m_download = built.get<CImageButton>(kDownloadId);
    m_delete = built.get<CImageButton>(kDeleteId);
    if (m_upload && m_download) {
        // The download button sits right of the upload button, 1 pixel apart.
        m_download->move(m_upload->geometry().right() + 2, m_download->y());
        connect(m_upload, &QAbstractButton::clicked, this, &CFilelistDlg::Upload);
        connect(m_download, &QAbstractButton::clicked, this, &CFilelistDlg::Download);
    }
    if (m_delete)
        connect(m_delete, &QAbstractButton::clicked, this, &CFilelistDlg::Delete);
    if (m_list && m_upload && m_download && m_delete) {
        setTabOrder(m_list, m_upload);
        setTabOrder(m_upload, m_download);
        setTabOrder(m_download, m_delete);
    }
    if (m_list) {
        m_list->setAccessibleName(Strings::AccessibleFileList);
        m_list->AutoSizeDateColumn();
        m_list->installEventFilter(this);
        m_list->viewport()->installEventFilter(this);
        connect(m_list, &QAbstractItemView::doubleClicked, this, [this] {
            if (!SelectedRows().empty())
                Download();
        });
        connect(m_list->header(), &QHeaderView::sectionMoved, this, [this] { m_list->viewport()->update(); });
    }
    m_dragSelection = std::make_unique<XdndSelectionServer>();
}

CFilelistDlg::~CFilelistDlg() {
    // Workers still running report nowhere from now on and their exchange ends at once; each is given a
    // bounded wait, never killed.
    m_token->Revoke();
    m_service->Stop();
    SendWaitBox(nullptr);
    // Drags still watched: the offered markers go, so no file manager copies one later.
    for (const auto& drag : m_dragOuts) {
        drag->finder->Stop();
        QDir(drag->sourceFolder).removeRecursively();
    }
    for (auto& worker : m_workers)
        m_store.RemoveWorker(worker.get());
    m_workers.clear();
}

CImageButton* CFilelistDlg::Button(int id) const {
    switch (id) {
    case kUploadId:
        return m_upload;
    case kDownloadId:
        return m_download;
    case kDeleteId:
        return m_delete;
    default:
        return nullptr;
    }
}

QWidget* CFilelistDlg::LastInTabOrder() const {
    if (m_delete)
        return m_delete;
    return m_list;
}

// While a call waits the window is disabled: what still arrives of the user's (a key already queued) is not
// acted on.
bool CFilelistDlg::Idle() const {
    return !m_calling && !m_store.ExitPending() && m_store.ServiceReady();
}

void CFilelistDlg::SendWaitBox(const QString* text) {
    if (!m_mainWindow)
        return;
    SendPrivate(m_mainWindow, WaitBoxRequest{text != nullptr, text ? *text : QString()});
}

void CFilelistDlg::VersionCheck() {
    CallService(ServiceOperation::VersionCheck);
}
void CFilelistDlg::RefreshList() {
    CallService(ServiceOperation::List);
}

void CFilelistDlg::NoteCloseRequest() {
    m_closeSeen = true;
    m_queue.clear();
    // Nothing the running call still has to say reaches a window that is going; its exchange ends now.
    m_token->Revoke();
    m_service->Stop();
}

void CFilelistDlg::CallService(ServiceOperation operation) {
    Enqueue(operation);
    RunQueue();
}

void CFilelistDlg::Enqueue(ServiceOperation operation) {
    if (m_closeSeen)
        return;
    // A later fetch shows all an earlier one would; the list comes after everything before it in line.
    if (operation == ServiceOperation::List)
        std::erase(m_queue, ServiceOperation::List);
    m_queue.push_back(operation);
}

void CFilelistDlg::RunQueue() {
    if (m_calling)
        return; // the running loop takes what is in line
    if (!QuestionGate::Free()) {
        if (!m_queueArmed) {
            m_queueArmed = true;
            QuestionGate::WhenFree(this, [this] {
                m_queueArmed = false;
                RunQueue();
            });
        }
        return;
    }
    m_calling = true;
    while (!m_queue.empty() && !m_closeSeen) {
        const ServiceOperation next = m_queue.front();
        m_queue.pop_front();
        RunCall(next);
    }
    if (m_closeSeen)
        m_queue.clear();
    m_calling = false;
}

void CFilelistDlg::RunCall(ServiceOperation operation) {
    const QString& text = operation == ServiceOperation::List           ? Strings::WaitFileList
                          : operation == ServiceOperation::VersionCheck ? Strings::WaitUserInfo
                                                                        : Strings::WaitDeleting;
    SendWaitBox(&text);
    if (operation == ServiceOperation::List) {
        m_store.ClearFiles();
        m_store.ClearPendingUploads();
        if (m_list) {
            m_list->ClearSortIndicator();
            m_list->RefreshRows();
        }
    }
    const bool disable = operation != ServiceOperation::VersionCheck;
    // Disabling moves the keyboard focus out of this window; it comes back where it was.
    QPointer<QWidget> focused = focusWidget();
    if (disable)
        setEnabled(false);
    auto worker = std::make_unique<ServiceWorker>(m_service, m_store, m_token, operation);
    if (!worker->Start()) {
        SendWaitBox(nullptr);
        setEnabled(true);
        ShowMessage(this, Strings::ServiceThreadFailed, MessageIcon::Error);
        return;
    }
    ServiceWorker* running = worker.get();
    m_store.AddWorker(running);
    m_workers.push_back(std::move(worker));
    {
        // Events handled meanwhile ask for calls and questions; they wait in line until this one is over.
        const QuestionGate::Scope waiting;
        while (!running->WaitFor(30ms)) {
            if (PumpMessages([this] { return m_closeSeen; }))
                break;
        }
    }
    m_store.RemoveWorker(running);
    if (disable) {
        setEnabled(true);
        SendWaitBox(nullptr);
        if (focused)
            focused->setFocus();
    }
    // Finished workers are joined now; one left behind by a close is waited for when this window goes.
    std::erase_if(m_workers, [](const std::unique_ptr<ServiceWorker>& w) { return w->Finished(); });
}

std::vector<int> CFilelistDlg::SelectedRows() const {
    std::vector<int> rows;
    if (!m_list || !m_list->selectionModel())
        return rows;
    const QModelIndexList selected = m_list->selectionModel()->selectedRows();
    for (const QModelIndex& index : selected)
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CFilelistDlg::Delete() {
    if (!Idle())
        return;
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        ShowMessage(this, Strings::DeleteNothingSelected, MessageIcon::Information);
        return;
    }
    // The toolbar may have logged out while the question was open.
    if (ShowMessage(this, Strings::DeleteQuestion, MessageIcon::Question) != MessageAnswer::Yes || !Idle())
        return;
    if (m_store.FileCount() > 0) {
        std::vector<qint32> queue;
        for (int row : rows) {
            const std::optional<FileRow> file = m_store.FileAt(row);
            if (file && file->idx != -1)
                queue.push_back(file->idx);
        }
        m_store.SetDeleteQueue(queue);
        Enqueue(ServiceOperation::Delete);
    }
    // In line behind the delete, together with any refresh asked for meanwhile.
    Enqueue(ServiceOperation::List);
    RunQueue();
}

void CFilelistDlg::Download() {
    if (!Idle() || m_store.FileCount() == 0)
        return;
    std::vector<TransferItem> batch;
    for (int row : SelectedRows()) {
        const std::optional<FileRow> file = m_store.FileAt(row);
        if (!file)
            continue;
        if (file->idx == -1)
            return;
        batch.push_back(TransferItem{file->idx, file->name, {}, 0});
    }
    if (batch.empty()) {
        ShowMessage(this, Strings::DownloadNothingSelected, MessageIcon::Information);
        return;
    }
    QString folder;
    bool openFolder = false;
    if (!m_desktop.chooseFolder(this, static_cast<int>(batch.size()), &folder, &openFolder) || !Idle())
        return;
    m_store.SetDownloadFolder(folder);
    m_store.SaveSettingsNow();
    StartTransfer(TransferRequest{false, std::move(batch), m_store.GetDownloadFolder(), openFolder});
}

void CFilelistDlg::Upload() {
    if (!Idle())
        return;
    QString folder = m_store.GetLastUploadFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QStringList paths = m_desktop.chooseFiles(this, folder);
    if (!Idle())
        return;
    std::vector<TransferItem> batch;
    for (const QString& path : std::as_const(paths))
        batch.push_back(TransferItem{-1, path, {}, 0});
    if (!batch.empty())
        StartUpload(batch);
}

void CFilelistDlg::UploadPaths(const QStringList& paths) {
    if (!Idle())
        return;
    std::vector<TransferItem> batch;
    for (const QString& path : paths) {
        // A plain folder only: a hidden or read-only one goes on and fails as an unreadable file.
        if (IsDirectory(path)) {
            ShowMessage(this, Strings::DropFolderRefused, MessageIcon::Information);
            return;
        }
        if (!PathExists(path)) {
            ShowMessage(this, Strings::DropFileMissing, MessageIcon::Information);
            return;
        }
        batch.push_back(TransferItem{-1, path, {}, 0});
    }
    if (!batch.empty())
        StartUpload(batch);
}

void CFilelistDlg::StartUpload(const std::vector<TransferItem>& batch) {
    const QString& first = batch.front().path;
    m_store.SetLastUploadFolder(first.left(first.lastIndexOf(u'/') + 1));
    qint64 sum = 0;
    for (const TransferItem& item : batch) {
        // Regular files only, sized without an open that could block (a FIFO) or read forever (a device).
        const quint64 size = GetFileSize64(item.path);
        if (size == kUnknownFileSize) {
            ShowMessage(this, Strings::UploadUnreadable, MessageIcon::Warning);
            return;
        }
        sum += static_cast<qint64>(size);
    }
    sum += m_store.PendingUploadTotal();
    if (sum > static_cast<qint64>(m_store.QuotaFree())) {
        if (ShowMessage(this, Strings::UploadSpaceQuestion, MessageIcon::Warning, MessageButtons::YesNo) !=
                MessageAnswer::Yes ||
            !Idle())
            return;
    }
    StartTransfer(TransferRequest{true, batch, {}, false});
}

void CFilelistDlg::StartTransfer(const TransferRequest& request) {
    QWidget* dialog = m_desktop.startTransfer(this, request);
    if (dialog && !m_store.TransferDialogs().contains(dialog))
        m_store.AddTransferDialog(dialog);
}

void CFilelistDlg::OnTransferDone(bool upload, QObject* dialog) {
    if (dialog) {
        m_store.RemoveTransferDialog(dialog);
        if (dialog != this)
            dialog->deleteLater();
    }
    if (upload && !m_store.ExitPending())
        RefreshList();
    if (!m_store.AnyTransferActive() && m_store.ExitPending() && m_mainWindow)
        QMetaObject::invokeMethod(m_mainWindow, &QWidget::close, Qt::QueuedConnection);
}

void CFilelistDlg::StartDragOut() {
    if (!Idle())
        return;
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    auto drag = std::make_unique<DragOut>();
    for (int row : rows) {
        const std::optional<FileRow> file = m_store.FileAt(row);
        if (!file || file->idx == -1)
            return;
        drag->batch.push_back(TransferItem{file->idx, file->name, {}, 0});
    }
    // Each drag offers a marker of its own (same name, own folder, own contents), so a drag started
    // while an earlier one is still watched takes nothing from it.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(base);
    // Folders of drags no longer watched (a killed earlier run) go; one copy runs at a time.
    const QFileInfoList earlier = QDir(base).entryInfoList({QStringLiteral("drag-*")}, QDir::Dirs | QDir::Hidden);
    for (const QFileInfo& old : earlier) {
        if (std::none_of(m_dragOuts.begin(), m_dragOuts.end(),
                         [&old](const auto& d) { return QFileInfo(d->sourceFolder) == old; }))
            QDir(old.absoluteFilePath()).removeRecursively();
    }
    QTemporaryDir folder(QDir(base).filePath(QStringLiteral("drag-XXXXXX")));
    folder.setAutoRemove(false);
    const QString marker = folder.filePath(QString::fromLatin1(kMarkerName));
    const QByteArray contents =
        "quorvane drag-out " + QByteArray::number(QRandomGenerator::global()->generate64(), 16) + '\n';
    {
        QFile file(marker);
        if (!folder.isValid() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(contents) != contents.size() || !file.flush()) {
            if (folder.isValid())
                QDir(folder.path()).removeRecursively();
            ShowMessage(this, Strings::DragOutUnavailable, MessageIcon::Warning);
            return;
        }
    }
    drag->sourceFolder = folder.path();
    auto* finder = new DropTargetFinder(m_desktop.dragRoots.isEmpty() ? DropTargetFinder::DefaultRoots()
                                                                      : m_desktop.dragRoots,
                                        QString::fromLatin1(kMarkerName), this);
    if (m_desktop.dragRoots.isEmpty())
        finder->SetOtherFileSystems([] { return WritableMountPoints(); });
    drag->finder = finder;
    connect(finder, &DropTargetFinder::found, this, [this, finder](const QString& target) {
        const auto it = std::find_if(m_dragOuts.begin(), m_dragOuts.end(),
                                     [finder](const auto& d) { return d->finder == finder; });
        if (it == m_dragOuts.end())
            return;
        m_store.SetDownloadFolder(target);
        m_store.SaveSettingsNow();
        PostPrivate(this, DragOutTarget{(*it)->batch, target});
        EndDragOut(finder);
    });
    connect(finder, &DropTargetFinder::gaveUp, this, [this, finder] {
        EndDragOut(finder);
        // Queued: the finder's own signal is not the place for a modal question.
        QMetaObject::invokeMethod(
            this, [this] { ShowMessage(this, Strings::DragOutNotCompleted, MessageIcon::Warning); },
            Qt::QueuedConnection);
    });
    finder->Arm(marker);
    m_dragOuts.push_back(std::move(drag));
    const QUrl url = QUrl::fromLocalFile(marker);
    m_dragSelection->Serve(url.toEncoded() + "\r\n");
    auto* data = new QMimeData;
    data->setUrls({url});
    const Qt::DropAction action = m_desktop.runDrag(this, data);
    if (std::none_of(m_dragOuts.begin(), m_dragOuts.end(),
                     [finder](const auto& d) { return d->finder == finder; }))
        return; // found while the drag ran
    // File managers copy after they accepted the drop: the offered marker stays until the copy is
    // found or the watch gives up, and goes then.
    if (action == Qt::IgnoreAction)
        EndDragOut(finder);
    else if (m_desktop.dragWatch)
        finder->Finish(static_cast<int>(m_desktop.dragWatch->count()));
    else
        finder->Finish();
}

void CFilelistDlg::EndDragOut(DropTargetFinder* finder) {
    const auto it = std::find_if(m_dragOuts.begin(), m_dragOuts.end(),
                                 [finder](const auto& d) { return d->finder == finder; });
    if (it == m_dragOuts.end())
        return;
    finder->Stop();
    QDir((*it)->sourceFolder).removeRecursively();
    m_dragOuts.erase(it);
    finder->deleteLater();
    if (m_dragOuts.empty())
        m_dragSelection->Withdraw();
    else
        m_dragSelection->Serve(
            QUrl::fromLocalFile(QDir(m_dragOuts.back()->sourceFolder).filePath(QString::fromLatin1(kMarkerName)))
                .toEncoded() +
            "\r\n");
}

void CFilelistDlg::OnDragTargetFound(const DragOutTarget& target) {
    if (!Idle())
        return;
    StartTransfer(TransferRequest{false, target.batch, target.folder, false});
}

bool CFilelistDlg::event(QEvent* event) {
    const auto type = event->type();
    if (type < QEvent::User || type > QEvent::MaxUser)
        return QWidget::event(event);
    if (RecordOf<ListChange>(event)) {
        if (m_list) {
            m_list->RefreshRows();
            m_list->AutoSizeDateColumn();
        }
        return true;
    }
    if (auto* record = RecordOf<ShowMessageRecord>(event)) {
        // What a call says after the window was told to close is not shown over the ending program.
        if (!m_closeSeen)
            ShowMessage(this, record->text, record->icon);
        if (record->shown)
            record->shown->set();
        return true;
    }
    if (const auto* sort = RecordOf<SortRequest>(event)) {
        m_store.SortFiles(sort->column, sort->ascending);
        PostPrivate(this, ListChange{});
        return true;
    }
    if (auto* dropped = RecordOf<DroppedFiles>(event)) {
        QStringList paths = std::move(dropped->paths);
        // A drop that lands while a call or a question waits is taken once it is over.
        if (m_calling || !QuestionGate::Free())
            QuestionGate::WhenFree(this, [this, paths] {
                if (!m_closeSeen)
                    UploadPaths(paths);
            });
        else
            UploadPaths(paths);
        return true;
    }
    if (const auto* done = RecordOf<TransferFinished>(event)) {
        OnTransferDone(done->direction == 1, done->dialog);
        return true;
    }
    if (const auto* target = RecordOf<DragOutTarget>(event)) {
        OnDragTargetFound(*target);
        return true;
    }
    return QWidget::event(event);
}

bool CFilelistDlg::eventFilter(QObject* watched, QEvent* event) {
    if (m_list && watched == m_list && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            Delete();
            return true;
        }
        if (key->matches(QKeySequence::SelectAll)) {
            m_list->selectAll();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape)
            return true;
    }
    if (m_list && watched == m_list->viewport()) {
        // The list's own drag would move rows; a drag of stored files starts the drag-out instead.
        if (event->type() == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            m_pressed = mouse->button() == Qt::LeftButton;
            m_pressPos = mouse->position().toPoint();
        } else if (event->type() == QEvent::MouseButtonRelease) {
            m_pressed = false;
        } else if (event->type() == QEvent::MouseMove && m_pressed) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if ((mouse->position().toPoint() - m_pressPos).manhattanLength() >=
                QApplication::startDragDistance()) {
                m_pressed = false;
                StartDragOut();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CFilelistDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
