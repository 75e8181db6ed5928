#include "app/SessionStore.h"

#include "app/CodePage.h"
#include "app/FileOrder.h"
#include "app/Settings.h"
#include "app/Utils.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {
using Lock = std::lock_guard<std::mutex>;
} // namespace

SessionStore::SessionStore(Settings settings) : m_settings(settings) {
    if (m_settings == Settings::LoadAndSave)
        LoadSettings();
}

SessionStore::~SessionStore() {
    bool released = true;
    {
        // A worker past its window's wait still reads and writes here. Its window ended its call, so it
        // is gone at once, unless it is stuck where nothing can reach it.
        std::unique_lock l(m_lock);
        released = m_holdsReleased.wait_for(l, kHoldWait, [this] { return m_holds == 0; });
    }
    if (m_settings == Settings::LoadAndSave && !m_settingsFinished)
        SaveSettings();
    if (!released) {
        // The store cannot go while a thread still uses it, and the process must not outlive its window
        // (it would hold the single-instance name): the settings are written, the process ends here.
        std::fflush(nullptr);
        std::_Exit(0);
    }
}

std::mutex& SessionStore::serviceLock() {
    static std::mutex lock;
    return lock;
}

void SessionStore::SetLaunchUserId(const QString& id) {
    Lock l(m_lock);
    m_launchUserId = id;
}
QString SessionStore::GetLaunchUserId() const {
    Lock l(m_lock);
    return m_launchUserId;
}

void SessionStore::SetSessionKey(const QString& key) {
    const QByteArray digest = Md5Hex(ToAnsi(key) + QByteArrayLiteral("7391"));
    Lock l(m_lock);
    m_sessionKey = key;
    m_authDigest = digest;
}
QString SessionStore::GetSessionKey() const {
    Lock l(m_lock);
    return m_sessionKey;
}
QByteArray SessionStore::GetAuthDigest() const {
    Lock l(m_lock);
    return m_authDigest;
}

QString SessionStore::GetDownloadFolder() const {
    Lock l(m_lock);
    return m_downloadFolder;
}
bool SessionStore::SetDownloadFolder(const QString& folder) {
    if (folder.isEmpty())
        return false;
    Lock l(m_lock);
    m_downloadFolder = WithTrailingSlash(folder);
    return true;
}
QString SessionStore::GetDocumentsFolder() const {
    Lock l(m_lock);
    return m_documentsFolder;
}
int SessionStore::GetAlwaysOnTop() const {
    Lock l(m_lock);
    return m_alwaysOnTop;
}
void SessionStore::SetAlwaysOnTop(int value) {
    Lock l(m_lock);
    m_alwaysOnTop = value;
}
int SessionStore::ToggleAlwaysOnTop() {
    Lock l(m_lock);
    m_alwaysOnTop = m_alwaysOnTop ? 0 : 1;
    return m_alwaysOnTop;
}
QString SessionStore::GetLastUploadFolder() const {
    Lock l(m_lock);
    return m_lastUploadFolder;
}
void SessionStore::SetLastUploadFolder(const QString& folder) {
    Lock l(m_lock);
    m_lastUploadFolder = folder;
}

void SessionStore::SetQuota(qint32 total, qint32 free) {
    Lock l(m_lock);
    m_quotaTotal = total;
    m_quotaFree = free;
    // Wrapping 32-bit arithmetic, as the service's values are 32-bit signed.
    m_quotaUsed = static_cast<qint32>(static_cast<quint32>(total) - static_cast<quint32>(free));
}
void SessionStore::AdjustQuotaFree(qint32 delta) {
    Lock l(m_lock);
    m_quotaFree = static_cast<qint32>(static_cast<quint32>(m_quotaFree) + static_cast<quint32>(delta));
    m_quotaUsed = static_cast<qint32>(static_cast<quint32>(m_quotaTotal) - static_cast<quint32>(m_quotaFree));
}
qint32 SessionStore::QuotaTotal() const {
    Lock l(m_lock);
    return m_quotaTotal;
}
qint32 SessionStore::QuotaFree() const {
    Lock l(m_lock);
    return m_quotaFree;
}
qint32 SessionStore::QuotaUsed() const {
    Lock l(m_lock);
    return m_quotaUsed;
}

std::vector<FileRow> SessionStore::Files() const {
    Lock l(m_lock);
    std::vector<FileRow> files;
    files.reserve(m_order.size());
    for (quint32 row : m_order)
        files.push_back(m_files[row]);
    return files;
}
int SessionStore::FileCount() const {
    Lock l(m_lock);
    return static_cast<int>(m_order.size());
}
std::optional<FileRow> SessionStore::FileAt(int row) const {
    Lock l(m_lock);
    if (row < 0 || row >= static_cast<int>(m_order.size()))
        return std::nullopt;
    return m_files[m_order[static_cast<size_t>(row)]];
}
void SessionStore::ClearFiles() {
    Lock l(m_lock);
    m_files.clear();
    m_order.clear();
}
void SessionStore::AppendFile(const FileRow& row) {
    Lock l(m_lock);
    m_order.push_back(quint32(m_files.size()));
    m_files.push_back(row);
}
void SessionStore::AppendFiles(const std::vector<FileRow>& rows) {
    Lock l(m_lock);
    for (size_t i = 0; i < rows.size(); ++i)
        m_order.push_back(quint32(m_files.size() + i));
    m_files.insert(m_files.end(), rows.begin(), rows.end());
}
std::optional<FileRow> SessionStore::FindFileByIdx(qint32 idx) const {
    Lock l(m_lock);
    for (quint32 row : m_order)
        if (m_files[row].idx == idx)
            return m_files[row];
    return std::nullopt;
}
std::optional<FileRow> SessionStore::FindFileByName(const QString& name) const {
    Lock l(m_lock);
    for (quint32 row : m_order)
        if (m_files[row].name == name)
            return m_files[row];
    return std::nullopt;
}

void SessionStore::SortFiles(int column, bool ascending) {
    Lock l(m_lock);
    m_sortColumn = column;
    SortFileOrder(m_files, m_order, column, ascending);
}

int SessionStore::SortColumn() const {
    Lock l(m_lock);
    return m_sortColumn;
}

void SessionStore::ClearPendingUploads() {
    Lock l(m_lock);
    m_pendingUploads.clear();
}
void SessionStore::AppendPendingUpload(const FileRow& row) {
    Lock l(m_lock);
    m_pendingUploads.push_back(row);
}
std::optional<FileRow> SessionStore::FindPendingUploadByName(const QString& name) const {
    Lock l(m_lock);
    for (const FileRow& r : m_pendingUploads)
        if (r.name == name)
            return r;
    return std::nullopt;
}
qint64 SessionStore::PendingUploadTotal() const {
    Lock l(m_lock);
    qint64 sum = 0;
    for (const FileRow& r : m_pendingUploads)
        sum += r.size;
    return sum;
}

void SessionStore::AddNameInProgress(const QString& name) {
    Lock l(m_lock);
    m_namesInProgress.append(name);
}
void SessionStore::RemoveNameInProgress(const QString& name) {
    Lock l(m_lock);
    m_namesInProgress.removeOne(name);
}
bool SessionStore::IsNameInProgress(const QString& name) const {
    Lock l(m_lock);
    return m_namesInProgress.contains(name);
}

void SessionStore::SetDeleteQueue(const std::vector<qint32>& idx) {
    Lock l(m_lock);
    m_deleteQueue = idx;
}
std::vector<qint32> SessionStore::DeleteQueue() const {
    Lock l(m_lock);
    return m_deleteQueue;
}

void SessionStore::AddTransferDialog(QObject* dialog) {
    Lock l(m_lock);
    m_transferDialogs.append(dialog);
}
void SessionStore::RemoveTransferDialog(QObject* dialog) {
    Lock l(m_lock);
    m_transferDialogs.removeAll(dialog);
}
bool SessionStore::AnyTransferActive() const {
    Lock l(m_lock);
    return !m_transferDialogs.isEmpty();
}
QList<QObject*> SessionStore::TransferDialogs() const {
    Lock l(m_lock);
    return m_transferDialogs;
}
SessionStore::Hold::Hold(SessionStore& store) : m_store(&store) {
    Lock l(store.m_lock);
    ++store.m_holds;
}

SessionStore::Hold::~Hold() {
    Release();
}

SessionStore::Hold& SessionStore::Hold::operator=(Hold&& other) noexcept {
    if (this != &other) {
        Release();
        m_store = std::exchange(other.m_store, nullptr);
    }
    return *this;
}

void SessionStore::Hold::Release() {
    SessionStore* store = std::exchange(m_store, nullptr);
    if (!store)
        return;
    Lock l(store->m_lock);
    if (--store->m_holds == 0)
        store->m_holdsReleased.notify_all();
}

void SessionStore::AddWorker(const void* worker) {
    Lock l(m_lock);
    m_workers.push_back(worker);
}
void SessionStore::RemoveWorker(const void* worker) {
    Lock l(m_lock);
    m_workers.erase(std::remove(m_workers.begin(), m_workers.end(), worker), m_workers.end());
}
int SessionStore::WorkerCount() const {
    Lock l(m_lock);
    return static_cast<int>(m_workers.size());
}

void SessionStore::SetExitPending(bool on) {
    Lock l(m_lock);
    m_exitPending = on;
}
bool SessionStore::ExitPending() const {
    Lock l(m_lock);
    return m_exitPending;
}
bool SessionStore::TestAndSetExitPending() {
    Lock l(m_lock);
    const bool was = m_exitPending;
    m_exitPending = true;
    return was;
}
void SessionStore::SetServiceReady(bool on) {
    Lock l(m_lock);
    m_serviceReady = on;
}
bool SessionStore::ServiceReady() const {
    Lock l(m_lock);
    return m_serviceReady;
}
void SessionStore::SetVersionCheckResult(int value) {
    Lock l(m_lock);
    m_versionCheckResult = value;
}
int SessionStore::VersionCheckResult() const {
    Lock l(m_lock);
    return m_versionCheckResult;
}
void SessionStore::SetMainWindow(QObject* window) {
    Lock l(m_lock);
    m_mainWindow = window;
}
QObject* SessionStore::MainWindow() const {
    Lock l(m_lock);
    return m_mainWindow;
}

void SessionStore::FinishSettings(bool writeBack) {
    if (m_settings != Settings::LoadAndSave || m_settingsFinished)
        return;
    m_settingsFinished = true;
    if (writeBack)
        SaveSettings();
}

void SessionStore::SaveSettingsNow() const {
    if (m_settings == Settings::LoadAndSave && !m_settingsFinished)
        SaveSettings();
}

void SessionStore::LoadSettings() {
    QString path;
    ReadDownloadPath(path);
    int top = 0;
    ReadAlwaysTop(top);
    // A new user's default: the documents folder where the desktop has one, otherwise home.
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QFileInfo(documents).isDir())
        documents = QDir::homePath();
    Lock l(m_lock);
    m_documentsFolder = documents;
    m_downloadFolder = path.isEmpty() ? documents : path;
    m_alwaysOnTop = top;
}

void SessionStore::SaveSettings() const {
    QString path;
    int top = 0;
    {
        Lock l(m_lock);
        path = m_downloadFolder;
        top = m_alwaysOnTop;
    }
    WriteDownloadPath(path);
    WriteAlwaysTop(top);
}
