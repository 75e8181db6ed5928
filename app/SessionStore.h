#pragma once
// The process-wide shared state: session values, settings, quota, the shared lists and the bookkeeping
// of running transfers and workers. Every accessor takes the one lock, copies, and releases it.
#include "app/FileRow.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

class QObject;

class SessionStore {
public:
    enum class Settings { LoadAndSave, None };
    // How long the destruction waits for holds still taken.
    static constexpr std::chrono::milliseconds kHoldWait{2000};
    explicit SessionStore(Settings settings = Settings::LoadAndSave);
    ~SessionStore();
    SessionStore(const SessionStore&) = delete;
    SessionStore& operator=(const SessionStore&) = delete;

    // Serialises SOAP calls across threads; taken before the store's own lock, never inside it.
    static std::mutex& serviceLock();

    void SetLaunchUserId(const QString& id);
    QString GetLaunchUserId() const;
    void SetSessionKey(const QString& key); // also recomputes the auth digest
    QString GetSessionKey() const;
    QByteArray GetAuthDigest() const;

    QString GetDownloadFolder() const;
    bool SetDownloadFolder(const QString& folder); // appends "/" when missing; empty is refused
    QString GetDocumentsFolder() const;
    int GetAlwaysOnTop() const;
    void SetAlwaysOnTop(int value);
    int ToggleAlwaysOnTop(); // returns the new value
    QString GetLastUploadFolder() const;
    void SetLastUploadFolder(const QString& folder);

    void SetQuota(qint32 total, qint32 free);
    // Free space moved by `delta` in one step under the lock, so that two transfers never lose an update.
    void AdjustQuotaFree(qint32 delta);
    qint32 QuotaTotal() const;
    qint32 QuotaFree() const;
    qint32 QuotaUsed() const;

    // Shared file list.
    std::vector<FileRow> Files() const;
    int FileCount() const;
    std::optional<FileRow> FileAt(int row) const;
    void ClearFiles();
    void AppendFile(const FileRow& row);
    void AppendFiles(const std::vector<FileRow>& rows);
    std::optional<FileRow> FindFileByIdx(qint32 idx) const;
    std::optional<FileRow> FindFileByName(const QString& name) const;
    void SortFiles(int column, bool ascending); // stable; column 0 name, 1 size, 2 date
    int SortColumn() const;

    // Files uploaded since the list was last fetched.
    void ClearPendingUploads();
    void AppendPendingUpload(const FileRow& row);
    std::optional<FileRow> FindPendingUploadByName(const QString& name) const;
    qint64 PendingUploadTotal() const;

    // Names of files in transfer.
    void AddNameInProgress(const QString& name);
    void RemoveNameInProgress(const QString& name);
    bool IsNameInProgress(const QString& name) const;

    // Delete queue of file indices.
    void SetDeleteQueue(const std::vector<qint32>& idx);
    std::vector<qint32> DeleteQueue() const;

    // Running transfer dialogs and service workers (opaque identities; the windows own them).
    void AddTransferDialog(QObject* dialog);
    void RemoveTransferDialog(QObject* dialog);
    bool AnyTransferActive() const;
    QList<QObject*> TransferDialogs() const;
    // Keeps the store alive for a worker thread that may outlive its window: the store's destruction
    // waits until every hold is released. Taken on the thread that starts the worker, released by the
    // worker as the last thing it does.
    class Hold {
    public:
        Hold() = default;
        explicit Hold(SessionStore& store);
        ~Hold();
        Hold(Hold&& other) noexcept : m_store(std::exchange(other.m_store, nullptr)) {}
        Hold& operator=(Hold&& other) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        void Release();

    private:
        SessionStore* m_store = nullptr;
    };
    void AddWorker(const void* worker);
    void RemoveWorker(const void* worker);
    int WorkerCount() const;

    void SetExitPending(bool on);
    bool ExitPending() const;
    // Sets the flag and returns its previous value, in one step.
    bool TestAndSetExitPending();
    void SetServiceReady(bool on);
    bool ServiceReady() const;
    void SetVersionCheckResult(int value);
    int VersionCheckResult() const;
    void SetMainWindow(QObject* window);
    QObject* MainWindow() const;

    void LoadSettings();
    void SaveSettings() const;
    // Settles the write-back of a LoadAndSave store now instead of at its destruction: written at once
    // (the running copy, while it still owns the single-instance name), or never (a copy that never ran,
    // whose values could only be stale).
    void FinishSettings(bool writeBack);
    // Writes the settings at once, besides the write-back at the end: called by the running copy's
    // windows when the user changes one, so a session that ends under the program (its display gone,
    // the process ended without a word) keeps it. Nothing for a store that is not saved or is settled.
    void SaveSettingsNow() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_holdsReleased;
    int m_holds = 0;
    Settings m_settings;
    bool m_settingsFinished = false;
    QString m_launchUserId;
    QString m_sessionKey;
    QByteArray m_authDigest;
    QString m_downloadFolder;
    QString m_documentsFolder;
    QString m_lastUploadFolder;
    int m_alwaysOnTop = 0;
    qint32 m_quotaTotal = 0;
    qint32 m_quotaFree = 0;
    qint32 m_quotaUsed = 0;
    std::vector<FileRow> m_files; // as they came; sorting changes only m_order
    std::vector<quint32> m_order; // places in m_files, as shown
    int m_sortColumn = 0;
    std::vector<FileRow> m_pendingUploads;
    QStringList m_namesInProgress;
    std::vector<qint32> m_deleteQueue;
    QList<QObject*> m_transferDialogs;
    std::vector<const void*> m_workers;
    bool m_exitPending = false;
    bool m_serviceReady = false;
    int m_versionCheckResult = 0;
    QObject* m_mainWindow = nullptr;
};
