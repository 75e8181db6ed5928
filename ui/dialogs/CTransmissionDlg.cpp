#include "ui/dialogs/CTransmissionDlg.h"

#include "app/Log.h"
#include "app/SessionStore.h"
#include "app/Utils.h"
#include "app/platform/FileManager.h"
#include "app/platform/ManualResetEvent.h"
#include "app/platform/PrivateEvents.h"
#include "res/DialogTemplates.h"
#include "res/Skin.h"
#include "res/Strings.h"
#include "transfer/TransferExchange.h"
#include "ui/Attached.h"
#include "ui/DialogBuilder.h"
#include "ui/MessageBox.h"
#include "ui/controls/CTransparentLabel.h"
#include "ui/dialogs/CConfirmReplacefileDlg.h"
#include "ui/dialogs/QuestionGate.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QUrl>

#include <memory>
#include <system_error>

namespace {

const QEvent::Type kWorkerEndedEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kBatchStartedEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

struct FileStartedRecord {
    static constexpr PrivateMessage kMessage = PrivateMessage::TransferFileStarted;
    QString name;
    int ordinal = 0;
    int count = 0;
};

// printf-like filling of "%s" and "%d" in order, for the table's formats.
QString Fill(const QString& format, const QStringList& args) {
    QString out;
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && (format[i + 1] == u's' || format[i + 1] == u'd')) {
            if (next < args.size())
                out += args[next++];
            ++i;
            continue;
        }
        out += format[i];
    }
    return out;
}

// Counts the modal windows our handlers have open, so the end of the batch waits for them.
class ModalScope {
public:
    explicit ModalScope(int& depth) : m_depth(depth) { ++m_depth; }
    ~ModalScope() { --m_depth; }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    int& m_depth;
};

} // namespace

struct CTransmissionDlg::WaitedRecord {
    QString text;
    int number = 0;
    std::shared_ptr<ManualResetEvent> handled;
};
struct CTransmissionDlg::ErrorRecord : WaitedRecord {
    static constexpr PrivateMessage kMessage = PrivateMessage::TransferError;
};
struct CTransmissionDlg::NoticeRecord : WaitedRecord {
    static constexpr PrivateMessage kMessage = PrivateMessage::TransferNotice;
};

CTransmissionDlg::CTransmissionDlg(SessionStore& store, const TransferSettings& settings, int direction,
                                   QWidget* parent)
    : QDialog(parent), m_store(store), m_direction(direction), m_job(store, settings) {
    setPalette(Skin::Palette());
    const BuiltDialog built = DialogBuilder::Build(this, DialogTemplates::Get(DialogTemplates::TransferDialog));
    m_fileLabel = built.get<CTransparentLabel>(IdCurrentFile);
    if (m_fileLabel)
        m_fileLabel->SetElideMode(Qt::ElideMiddle); // the extension stays in sight
    m_countLabel = built.get<CTransparentLabel>(IdCount);
    m_bytesLabel = built.get<CTransparentLabel>(IdBytes);
    m_bar = built.get<QProgressBar>(IdProgress);
    m_cancelButton = built.get<QPushButton>(IdCancel);
    m_pauseButton = built.get<QPushButton>(IdPause);
    m_pauseButton->hide(); // present, as the product has it, but never offered

    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    setWindowTitle(direction == Upload ? Strings::TransferUploading : Strings::TransferDownloading);
    m_fileLabel->SetText(QString());
    m_countLabel->SetText(QString());
    m_bytesLabel->SetText(QString());
    connect(m_cancelButton, &QPushButton::clicked, this, &CTransmissionDlg::onCancelClicked);
}

CTransmissionDlg::~CTransmissionDlg() {
    // Never leave the worker behind: stop it and wait for it, it closes its own handles.
    m_shuttingDown = true;
    if (m_worker.joinable()) {
        m_job.cancel();
        m_job.runEvent.set();
        m_worker.join();
    }
    m_store.RemoveTransferDialog(this);
}

void CTransmissionDlg::SetDestFolder(const QString& folder) {
    m_destFolder = folder;
}

QWidget* CTransmissionDlg::control(int id) const {
    switch (id) {
    case IdCurrentFile:
        return m_fileLabel;
    case IdCount:
        return m_countLabel;
    case IdBytes:
        return m_bytesLabel;
    case IdProgress:
        return m_bar;
    case IdCancel:
        return m_cancelButton;
    case IdPause:
        return m_pauseButton;
    default:
        return nullptr;
    }
}

bool CTransmissionDlg::Start() {
    if (m_started)
        return false;
    m_started = true;
    if (QWidget* p = parentWidget()) {
        const QRect area = p->window()->frameGeometry();
        QPoint at = area.center() - QPoint(width() / 2, height() / 2);
        // A second running transfer cascades below and right of the first instead of hiding it.
        const int step = qMax(16, style()->pixelMetric(QStyle::PM_TitleBarHeight));
        const QList<CTransmissionDlg*> others =
            p->findChildren<CTransmissionDlg*>(QString(), Qt::FindDirectChildrenOnly);
        for (bool taken = true; taken;) {
            taken = false;
            for (const CTransmissionDlg* other : others) {
                if (other != this && other->isVisible() && other->pos() == at) {
                    at += QPoint(step, step);
                    taken = true;
                }
            }
        }
        move(at);
    }
    show();
    m_lastShownPercent = 0;
    m_store.AddTransferDialog(this);
    try {
        m_worker = std::thread([this] { runWorker(); });
    } catch (const std::system_error&) {
        m_store.RemoveTransferDialog(this);
        hide();
        {
            ModalScope scope(m_modalDepth);
            ShowMessage(this, Strings::TransferThreadFailed, MessageIcon::Error);
        }
        m_workerEnded = true;
        m_joined = true;
        sendDone();
        return false;
    }
    return true;
}

void CTransmissionDlg::runWorker() {
    m_job.sessionValue = m_store.GetSessionKey();
    m_job.reporter = this;
    m_job.items = m_items;
    m_job.destFolder = m_destFolder;
    if (m_direction == Upload)
        RunUploadBatch(m_job);
    else
        RunDownloadBatch(m_job);
    m_job.reporter = nullptr;
    QCoreApplication::postEvent(this, new QEvent(kWorkerEndedEvent));
}

bool CTransmissionDlg::isActive() const {
    return m_started && !m_joined;
}

void CTransmissionDlg::CancelTransfer() {
    if (!m_cancelRequested) {
        m_cancelRequested = true;
        m_job.cancel();
        m_job.runEvent.set(); // a worker held at the gate sees the flag at once
    }
    if (!m_started) {
        m_started = true;
        m_workerEnded = true;
        m_joined = true;
    }
    finishIfEnded();
}

// --- worker side -------------------------------------------------------------------------------

void CTransmissionDlg::batchStarted() {
    QCoreApplication::postEvent(this, new QEvent(kBatchStartedEvent));
}

void CTransmissionDlg::fileStarted(const QString& name, int ordinal, int count) {
    PostPrivate(this, FileStartedRecord{name, ordinal, count});
}

void CTransmissionDlg::progress(qint64 done, qint64 total) {
    {
        std::lock_guard lock(m_progressMutex);
        m_progressDone = done;
        m_progressTotal = total;
    }
    // One event in the queue at a time; its handler reads the latest pair.
    if (!m_progressQueued.exchange(true))
        PostPrivate(this, ProgressReady{});
}

std::optional<ReplaceAnswer> CTransmissionDlg::askReplace(int count, const QString& text) {
    // The worker waits on its run event; the dialog stores the answer through the job.
    PostPrivate(this, ReplaceQuestion{count, text});
    return std::nullopt;
}

void CTransmissionDlg::error(const QString& text, int number) {
    postAndWait(true, text, number);
}

void CTransmissionDlg::notice(const QString& text) {
    postAndWait(false, text, 0);
}

void CTransmissionDlg::postAndWait(bool isError, const QString& text, int number) {
    auto handled = std::make_shared<ManualResetEvent>();
    if (isError)
        PostPrivate(this, ErrorRecord{{text, number, handled}});
    else
        PostPrivate(this, NoticeRecord{{text, number, handled}});
    while (!handled->waitFor(std::chrono::milliseconds(50))) {
        if (m_job.cancelled || m_shuttingDown)
            return;
    }
}

// --- dialog side -------------------------------------------------------------------------------

bool CTransmissionDlg::event(QEvent* e) {
    if (e->type() == kWorkerEndedEvent) {
        onWorkerEnded();
        return true;
    }
    if (e->type() == kBatchStartedEvent) {
        // Another program may have the focus now (a drag-out download starts while the file manager
        // has it): the progress comes to the front.
        if (!m_workerEnded && m_modalDepth == 0) {
            show();
            raise();
            activateWindow();
        }
        return true;
    }
    if (const auto* r = RecordOf<FileStartedRecord>(e)) {
        onFileStarted(r->name, r->ordinal, r->count);
        return true;
    }
    if (RecordOf<ProgressReady>(e)) {
        m_progressQueued = false;
        onProgress();
        return true;
    }
    if (const auto* question = RecordOf<ReplaceQuestion>(e)) {
        const int count = question->count;
        const QString name = question->text;
        // Never inside another wait or question: it would hold that one open until this is answered.
        if (!QuestionGate::Free()) {
            QuestionGate::WhenFree(this, [this, count, name] {
                if (!m_cancelRequested)
                    onAskReplace(count, name);
            });
            return true;
        }
        onAskReplace(count, name);
        return true;
    }
    if (const auto* r = RecordOf<ErrorRecord>(e)) {
        queueWaited(*r, true);
        return true;
    }
    if (const auto* r = RecordOf<NoticeRecord>(e)) {
        queueWaited(*r, false);
        return true;
    }
    return QDialog::event(e);
}

void CTransmissionDlg::queueWaited(const WaitedRecord& record, bool isError) {
    if (!QuestionGate::Free()) {
        QuestionGate::WhenFree(this, [this, record, isError] {
            // A batch stopped meanwhile (the program ends) asks nothing any more.
            if (m_cancelRequested) {
                record.handled->set();
                finishIfEnded();
                return;
            }
            showWaited(record, isError);
        });
        return;
    }
    showWaited(record, isError);
}

void CTransmissionDlg::showWaited(const WaitedRecord& r, bool isError) {
    if (isError) {
        hide();
        const QString text = Fill(Strings::TransferErrorFormat, {r.text, QString::number(r.number)});
        m_announcer.Failed(text);
        {
            ModalScope scope(m_modalDepth);
            ShowMessage(this, text, MessageIcon::Error);
        }
    } else {
        ModalScope scope(m_modalDepth);
        ShowMessage(this, r.text, MessageIcon::Information);
    }
    r.handled->set();
    finishIfEnded();
}

void CTransmissionDlg::onFileStarted(const QString& name, int ordinal, int count) {
    m_currentName = name.mid(name.lastIndexOf(u'/') + 1);
    m_fileLabel->SetText(m_currentName);
    m_countLabel->SetText(Fill(Strings::TransferCountFormat, {QString::number(ordinal), QString::number(count)}));
    m_lastShownPercent = 0;
    m_announcer.FileStarted(ordinal, count);
}

void CTransmissionDlg::onProgress() {
    qint64 done = 0;
    qint64 total = 0;
    {
        std::lock_guard lock(m_progressMutex);
        done = m_progressDone;
        total = m_progressTotal;
    }
    const int percent = total > 0 ? int(double(done) / double(total) * 100.0) : 0;
    m_bar->setValue(percent);
    m_announcer.Progress(done, total);
    if (percent - m_lastShownPercent > 2) {
        m_bytesLabel->SetText(Fill(Strings::TransferBytesFormat, {FormatKbyte(done), FormatKbyte(total)}));
        m_lastShownPercent = m_bar->value();
    }
}

void CTransmissionDlg::onAskReplace(int count, const QString& text) {
    hide();
    CConfirmReplacefileDlg ask(this);
    ask.SetSeveralFiles(count != 1 ? 1 : 0);
    ask.SetFileName(text);
    int result = 0;
    {
        ModalScope scope(m_modalDepth);
        result = ask.exec();
    }
    if (result != QDialog::Accepted || m_cancelRequested) {
        CancelTransfer();
        return;
    }
    if (ask.Skip())
        m_job.answerReplace(ReplaceAnswer::Skip);
    else if (ask.ReplaceAll())
        m_job.answerReplace(ReplaceAnswer::ReplaceAll);
    else
        m_job.answerReplace(ReplaceAnswer::Replace);
    if (!m_workerEnded)
        show();
    finishIfEnded();
}

void CTransmissionDlg::onCancelClicked() {
    if (!isActive() || m_cancelRequested)
        return;
    if (!QuestionGate::Free()) {
        // Asked once the wait or question on the stack is over.
        QuestionGate::WhenFree(this, [this] { onCancelClicked(); });
        return;
    }
    m_job.pause(); // the worker halts at its next block while we ask
    MessageAnswer answer = MessageAnswer::No;
    {
        ModalScope scope(m_modalDepth);
        answer = ShowMessage(this, Strings::TransferCancelQuestion, MessageIcon::Question);
    }
    if (answer == MessageAnswer::Yes)
        CancelTransfer();
    else
        m_job.resume();
    finishIfEnded();
}

void CTransmissionDlg::reject() {
    onCancelClicked();
}

void CTransmissionDlg::closeEvent(QCloseEvent* e) {
    e->ignore(); // the parent destroys the dialog once the batch is over
    onCancelClicked();
}

void CTransmissionDlg::onWorkerEnded() {
    m_workerEnded = true;
    finishIfEnded();
}

void CTransmissionDlg::finishIfEnded() {
    // Only from the outermost level: the parent may destroy us on the message.
    if (!m_workerEnded || m_modalDepth > 0 || m_doneSent)
        return;
    if (m_worker.joinable())
        m_worker.join();
    m_joined = true;
    m_store.RemoveTransferDialog(this);
    if (m_direction == Download && m_openFolderAfter && !m_job.cancelled) {
        // The batch's own folder: the stored one may since have been changed by another batch.
        const QString folder = m_destFolder;
        // The downloaded files selected in the user's file manager where the desktop offers one,
        // otherwise the folder opened. A folder that cannot be shown is not a failed transfer.
        QStringList landed;
        for (const TransferItem& item : m_items) {
            const QString path = QDir(folder).filePath(item.path);
            if (QFileInfo(path).isFile())
                landed << path;
        }
        // Shown only: no "associations changed" refresh follows, as nothing on Linux needs one.
        if (FolderShower* shower = FindAttached<FolderShower>(this))
            shower->Show(folder, landed);
        else
            FileManager().ShowItems(landed, [folder](FileManager::Outcome outcome) {
                // An unanswered request may still be shown: opening the folder too would give two windows.
                if (outcome == FileManager::Outcome::Unanswered)
                    qCWarning(lcTransfer,
                              "the file manager did not answer in time; the folder is not opened besides");
                else if (outcome == FileManager::Outcome::Failed &&
                         !QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
                    qCWarning(lcTransfer,
                              "the download folder could not be opened: no desktop opener (xdg-open) answered");
            });
    }
    m_announcer.Ended(m_job.cancelled, parentWidget());
    sendDone();
}

void CTransmissionDlg::sendDone() {
    if (m_doneSent)
        return;
    m_doneSent = true;
    hide();
    QObject* receiver = parent();
    PostPrivate(receiver, TransferFinished{m_direction, this});
}
