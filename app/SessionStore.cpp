#include "app/SessionStore.h"

#include "app/CodePage.h"
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
    return m_files;
}
int SessionStore::FileCount() const {
    Lock l(m_lock);
    return static_cast<int>(m_files.size());
}
std::optional<FileRow> SessionStore::FileAt(int row) const {
    Lock l(m_lock);
    if (row < 0 || row >= static_cast<int>(m_files.size()))
        return std::nullopt;
    return m_files[static_cast<size_t>(row)];
}
void SessionStore::ClearFiles() {
    Lock l(m_lock);
    m_files.clear();
}
void SessionStore::AppendFile(const FileRow& row) {
    Lock l(m_lock);
    m_files.push_back(row);
}
void SessionStore::AppendFiles(const std::vector<FileRow>& rows) {
    Lock l(m_lock);
    m_files.insert(m_files.end(), rows.begin(), rows.end());
}
std::optional<FileRow> SessionStore::FindFileByIdx(qint32 idx) const {
    Lock l(m_lock);
    for (const FileRow& r : m_files)
        if (r.idx == idx)
            return r;
    return std::nullopt;
}
std::optional<FileRow> SessionStore::FindFileByName(const QString& name) const {
    Lock l(m_lock);
    for (const FileRow& r : m_files)
        if (r.name == name)
            return r;
    return std::nullopt;
}

namespace {

// A row's sort key, computed once per sort: the first units of its text (or its size) in three numbers that
// compare as the text does, how many units the text has (one more than fit for longer texts), and its place
// before the sort, which keeps the sort stable. Twelve UTF-16 units fit; 24 when every text's first units
// are below 256 and take 8 bits each, so dates and most Latin names need no comparison of whole texts.
struct SortKey {
    quint64 word[3] = {0, 0, 0};
    quint32 length = 0;
    quint32 row = 0;
};
constexpr qsizetype kWideUnits = 12;
constexpr qsizetype kNarrowUnits = 24;

bool FitsNarrow(const QString& text) {
    const qsizetype n = std::min<qsizetype>(text.size(), kNarrowUnits);
    const char16_t* units = reinterpret_cast<const char16_t*>(text.constData());
    for (qsizetype i = 0; i < n; ++i)
        if (units[i] > 0xff)
            return false;
    return true;
}

SortKey TextKey(const QString& text, quint32 row, bool narrow) {
    const qsizetype fit = narrow ? kNarrowUnits : kWideUnits;
    const int bits = narrow ? 8 : 16;
    const int perWord = 64 / bits;
    SortKey key;
    key.row = row;
    key.length = quint32(std::min<qsizetype>(text.size(), fit + 1));
    const qsizetype n = std::min<qsizetype>(text.size(), fit);
    const char16_t* units = reinterpret_cast<const char16_t*>(text.constData());
    for (qsizetype i = 0; i < n; ++i)
        key.word[i / perWord] |= quint64(units[i]) << (64 - bits - bits * int(i % perWord));
    return key;
}

// -1, 0 or 1 by the keys alone. Equal keys of texts that both fit in them (`fit` units) are equal texts but
// for trailing zero units, where the shorter text comes first.
int KeyOrder(const SortKey& a, const SortKey& b, qsizetype fit, int words) {
    for (int i = 0; i < words; ++i)
        if (a.word[i] != b.word[i])
            return a.word[i] < b.word[i] ? -1 : 1;
    if (a.length != b.length && (a.length <= fit || b.length <= fit))
        return a.length < b.length ? -1 : 1;
    return 0;
}

} // namespace

void SessionStore::SortFiles(int column, bool ascending) {
    Lock l(m_lock);
    m_sortColumn = column;
    const size_t count = m_files.size();
    auto textOf = [&](size_t row) -> const QString& {
        return column == 2 ? m_files[row].regDate : m_files[row].name;
    };
    bool narrow = column != 1;
    for (size_t i = 0; narrow && i < count; ++i)
        narrow = FitsNarrow(textOf(i));
    const qsizetype fit = narrow ? kNarrowUnits : kWideUnits;
    // Only the words some text reaches are compared (one for dates).
    qsizetype longest = column == 1 ? 1 : 0;
    for (size_t i = 0; column != 1 && i < count && longest < fit; ++i)
        longest = std::max(longest, textOf(i).size());
    const qsizetype perWord = narrow ? 8 : 4;
    const int words = int((std::min(longest, fit) + perWord - 1) / perWord);
    std::vector<SortKey> keys(count);
    for (size_t i = 0; i < count; ++i) {
        if (column == 1) {
            keys[i].word[0] = quint64(qint64(m_files[i].size) + (qint64(1) << 31)); // signed order as unsigned
            keys[i].row = quint32(i);
        } else {
            keys[i] = TextKey(textOf(i), quint32(i), narrow);
        }
    }
    // First by the keys alone, without touching the rows; equal rows keep their order either way.
    std::sort(keys.begin(), keys.end(), [ascending, fit, words](const SortKey& a, const SortKey& b) {
        const int c = KeyOrder(a, b, fit, words);
        if (c != 0)
            return ascending ? c < 0 : c > 0;
        return a.row < b.row;
    });
    // Then each run of equal keys of longer texts by the whole texts.
    if (column != 1) {
        for (size_t begin = 0; begin < count;) {
            size_t end = begin + 1;
            while (end < count && KeyOrder(keys[begin], keys[end], fit, words) == 0)
                ++end;
            if (end - begin > 1 && keys[begin].length > quint32(fit)) {
                std::sort(keys.begin() + qsizetype(begin), keys.begin() + qsizetype(end),
                          [&](const SortKey& a, const SortKey& b) {
                              const int c = QString::compare(textOf(a.row), textOf(b.row), Qt::CaseSensitive);
                              if (c != 0)
                                  return ascending ? c < 0 : c > 0;
                              return a.row < b.row;
                          });
            }
            begin = end;
        }
    }
    std::vector<FileRow> sorted;
    sorted.reserve(count);
    for (const SortKey& k : keys)
        sorted.push_back(std::move(m_files[k.row]));
    m_files.swap(sorted);
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
