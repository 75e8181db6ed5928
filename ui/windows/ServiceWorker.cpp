#include "ui/windows/ServiceWorker.h"

#include "app/SessionStore.h"
#include "res/Strings.h"
#include "service/FileService.h"
#include "ui/MessageBox.h"
#include "ui/windows/CFilelistDlg.h"

#include <QCoreApplication>

using namespace std::chrono_literals;

void ReceiverToken::Revoke() {
    std::lock_guard<std::mutex> l(m_mutex);
    m_alive = false;
}

bool ReceiverToken::Alive() const {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_alive;
}

void ReceiverToken::PostCloseMain() {
    std::lock_guard<std::mutex> l(m_mutex);
    if (m_alive && m_mainWindow)
        QMetaObject::invokeMethod(m_mainWindow, &QWidget::close, Qt::QueuedConnection);
}

void ReceiverToken::ShowMessageAndWait(const QString& text, MessageIcon icon) {
    auto shown = std::make_shared<ManualResetEvent>();
    {
        std::lock_guard<std::mutex> l(m_mutex);
        if (!m_alive)
            return;
        PostPrivate(m_window, ShowMessageRecord{text, icon, shown});
    }
    while (!shown->waitFor(50ms)) {
        if (!Alive())
            return;
    }
}

ServiceWorker::ServiceWorker(std::shared_ptr<FileService> service, SessionStore& store,
                             std::shared_ptr<ReceiverToken> token, ServiceOperation operation)
    : m_service(std::move(service)), m_store(store), m_token(std::move(token)), m_operation(operation) {}

ServiceWorker::~ServiceWorker() {
    if (!m_thread.joinable())
        return;
    // Every call is bounded by the proxy's time-outs; past a short wait the thread finishes on its own
    // with shared ownership of all it touches.
    if (m_state->done.waitFor(2s))
        m_thread.join();
    else
        m_thread.detach();
}

bool ServiceWorker::Start() {
    try {
        // The store outlives the thread even when the thread outlives this object.
        auto hold = std::make_shared<SessionStore::Hold>(m_store);
        m_thread =
            std::thread(&ServiceWorker::Run, m_service, &m_store, m_token, m_operation, m_state, std::move(hold));
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

QString ShortRegDate(const QString& regDate) {
    if (regDate.size() < 3)
        return {};
    return regDate.mid(2, 8);
}

namespace {

void FetchList(FileService& service, SessionStore& store, ReceiverToken& token) {
    // The rows go into the store while the service lock is held, beside the quota.
    const FileListResult result = service.GetUserFiles(store, [&store](const FileListResult& answer) {
        std::vector<FileRow> rows;
        rows.reserve(answer.files.size());
        for (const ServiceFileEntry& entry : answer.files) {
            FileRow row;
            row.idx = entry.idx;
            row.name = entry.fileName;
            row.size = entry.fileSize;
            row.regDate = ShortRegDate(entry.regDate);
            rows.push_back(row);
        }
        store.AppendFiles(rows);
    });
    if (result.error != 0) {
        token.ShowMessageAndWait(WithNumber(Strings::FileListFetchFailed, result.error), MessageIcon::Error);
        return;
    }
    if (!result.hasFileArray) {
        token.ShowMessageAndWait(Strings::ServiceAnswerInvalid, MessageIcon::Error);
        return;
    }
    token.Post(QuotaChange{}, true);
    token.Post(ListChange{});
}

void CheckVersion(FileService& service, SessionStore& store, ReceiverToken& token) {
    const BoolResult result = service.NeedUpdate(store);
    if (result.error != 0) {
        store.SetServiceReady(false);
        token.ShowMessageAndWait(WithNumber(Strings::UpdateCheckFailed, result.error), MessageIcon::Error);
        token.PostCloseMain();
        return;
    }
    store.SetVersionCheckResult(result.value ? 1 : 0);
    store.SetServiceReady(true);
}

void DeleteQueued(FileService& service, SessionStore& store, ReceiverToken& token) {
    if (store.FileCount() == 0)
        return;
    for (qint32 idx : store.DeleteQueue()) {
        const std::optional<FileRow> row = store.FindFileByIdx(idx);
        if (row && store.IsNameInProgress(row->name)) {
            token.ShowMessageAndWait(Strings::DeleteBusyFile, MessageIcon::Information);
            continue;
        }
        const BoolResult result = service.DelFile(store, idx);
        if (result.error != 0) {
            token.ShowMessageAndWait(WithNumber(Strings::DeleteFailed, result.error), MessageIcon::Error);
            return;
        }
    }
}

} // namespace

void ServiceWorker::Run(std::shared_ptr<FileService> service, SessionStore* store,
                        std::shared_ptr<ReceiverToken> token, ServiceOperation operation,
                        std::shared_ptr<State> state, std::shared_ptr<void> storeHold) {
    switch (operation) {
    case ServiceOperation::List:
        FetchList(*service, *store, *token);
        break;
    case ServiceOperation::VersionCheck:
        CheckVersion(*service, *store, *token);
        break;
    case ServiceOperation::Delete:
        DeleteQueued(*service, *store, *token);
        break;
    }
    // Everything else of ours goes before the store may.
    service.reset();
    token.reset();
    state->done.set();
    state.reset();
    storeHold.reset();
}
