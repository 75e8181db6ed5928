#include "ui/windows/BatchRunner.h"

#include "app/Deployment.h"
#include "app/SessionStore.h"
#include "app/platform/PrivateEvents.h"
#include "transfer/TransferExchange.h"

#include <mutex>

namespace {

// No window to ask: replace questions take "replace", failures go to the log.
class LogReporter : public TransferReporter {
public:
    void fileStarted(const QString&, int, int) override {}
    void progress(qint64, qint64) override {}
    std::optional<ReplaceAnswer> askReplace(int, const QString&) override { return ReplaceAnswer::Replace; }
    void error(const QString& text, int number) override { qWarning("transfer: %s (%d)", qPrintable(text), number); }
    void notice(const QString& text) override { qWarning("transfer: %s", qPrintable(text)); }
};

} // namespace

struct BatchRunner::Shared {
    LogReporter reporter;
    TransferJob job;
    std::mutex mutex;
    QWidget* self = nullptr;   // cleared when the runner goes away
    QWidget* owner = nullptr;
};

BatchRunner::BatchRunner(CFilelistDlg* owner, const CFilelistDlg::TransferRequest& request)
    : QWidget(owner, Qt::Tool), m_owner(owner), m_upload(request.upload), m_shared(std::make_shared<Shared>()) {
    TransferJob& job = m_shared->job;
    job.baseUrl = Deployment::TransferBaseUrl();
    job.caFile = Deployment::ExtraCaFile();
    job.sessionValue = SessionStore::instance().GetSessionKey();
    job.items = request.items;
    job.destFolder = request.folder;
    job.reporter = &m_shared->reporter;
    job.resume();  // the gate starts closed
    m_shared->self = this;
    m_shared->owner = owner;
}

BatchRunner::~BatchRunner() {
    {
        std::lock_guard<std::mutex> l(m_shared->mutex);
        m_shared->self = nullptr;
    }
    m_shared->job.cancel();
    if (m_thread.joinable())
        m_thread.join();
}

bool BatchRunner::Start() {
    try {
        m_thread = std::thread([shared = m_shared, upload = m_upload] {
            if (upload)
                RunUploadBatch(shared->job);
            else
                RunDownloadBatch(shared->job);
            std::lock_guard<std::mutex> l(shared->mutex);
            if (shared->self)
                PostPrivate(shared->owner, PrivateMessage::TransferDone, upload ? 1 : 0,
                            reinterpret_cast<qintptr>(shared->self));
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

QWidget* BatchRunner::Create(CFilelistDlg* owner, const CFilelistDlg::TransferRequest& request) {
    auto* runner = new BatchRunner(owner, request);
    SessionStore::instance().AddTransferDialog(runner);
    if (!runner->Start()) {
        SessionStore::instance().RemoveTransferDialog(runner);
        delete runner;
        return nullptr;
    }
    return runner;
}
