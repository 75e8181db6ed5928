#pragma once
// One upload or download batch: its settings, the state of the current file and the pause gate.
// Owned by whoever starts the batch; the worker thread uses it while it runs.
#include "app/platform/ManualResetEvent.h"
#include "transfer/TransferReporter.h"
#include "transfer/TransferSettings.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <functional>
#include <vector>

class DownloadDisk;
class HttpConnection;
class SessionStore;

struct TransferItem {
    qint32 index = -1;   // stored file's index for a download, -1 for an upload
    QString path;        // stored name (download) or full local path (upload)
    QString displayName; // upload: the name to store under, when not the path
    qint32 size = 0;     // stored size, filled when a name conflict is found
};

enum TransferResult { TransferFailed = 0, TransferDone = 1, TransferCancelled = 2 };

class TransferJob {
public:
    // The store holds the session digest and the shared lists the batch updates; it outlives the job.
    TransferJob(SessionStore& store, const TransferSettings& settings);
    ~TransferJob();
    TransferJob(const TransferJob&) = delete;
    TransferJob& operator=(const TransferJob&) = delete;

    // Stores the answer of a replace question and releases the waiting worker; any thread.
    void answerReplace(ReplaceAnswer answer);
    // The dialog's cancel: the worker notices within a short time and closes its own handles.
    void cancel();
    // Pause gate: reset holds the worker at its next block, set releases it.
    void pause() { runEvent.reset(); }
    void resume() { runEvent.set(); }

    // Worker side.
    bool waitRun(); // false when cancelled while waiting
    void reportError(const QString& text, int number) const;
    void reportNotice(const QString& text) const;
    void reportProgress(qint64 done, qint64 total); // coalesced
    void flushProgress();

    SessionStore& store;
    QString baseUrl; // "https://host[:port]"
    QString caFile;  // extra trusted CA, empty = none
    QString sessionValue;
    quint64 totalLength = 0;
    std::vector<TransferItem> items;
    QByteArray bodyPrefix;
    QByteArray bodySuffix;
    QString uploadHeaders;
    QString downloadHeaders;
    QString destFolder; // made to end in "/" where a download starts
    QString etagValue;
    TransferReporter* reporter = nullptr; // none = silent
    std::atomic<bool> cancelled{false};
    std::atomic<bool> applyToAll{false};
    std::atomic<int> replaceChoice{0}; // 0 replace, 1 skip
    bool replaceApproved = false;      // the current download may take an existing file's place
    HttpConnection* connection = nullptr;
    DownloadDisk* disk = nullptr; // the file operations of downloads; none = the system's
    ManualResetEvent runEvent;
    std::chrono::milliseconds progressInterval{40};
    // Where the request date comes from; the system clock unless a test sets its own.
    std::function<std::chrono::system_clock::time_point()> clock = [] { return std::chrono::system_clock::now(); };

private:
    qint64 m_progressDone = -1;
    qint64 m_progressTotal = 0;
    bool m_progressPending = false;
    unsigned m_progressCalls = 0;
    std::chrono::steady_clock::time_point m_progressLast;
};

// Wire helpers and the exchanges.
QString SetUploadUrl(int mode);
QString GetDownloadUrl(qint32 index);
QString StatusMessage(int direction, int statusCode); // 1 upload, 0 download
bool BuildDownloadHeaders(TransferJob& job, int nNo, int aNo);
bool BuildUploadHeaders(TransferJob& job, int nNo, int aNo, const TransferItem& item);
constexpr qint64 kUnknownBodyLength = -1;
qint64 BuildMultipartParts(TransferJob& job, const TransferItem& item);

// A local time in the C library's ctime form ("Wed Dec 09 14:05:09 2026"): English names whatever the
// locale, the day as two digits, no trailing line feed.
QString CtimeText(std::chrono::system_clock::time_point when);
QString CtimeNow();
// A stored name that may be created inside the destination folder.
bool IsSafeStoredName(const QString& name);
// A new hidden file name in `folder` (ending in "/") for a download to be written to before it takes its name; its
// length does not depend on the stored name.
QString NewPartialDownloadPath(const QString& folder);
// A name such temporaries have (also those of earlier versions, ".<name>.quorvane-part").
bool IsPartialDownloadName(const QString& name);

inline constexpr char kMultipartBoundary[] = "----VAPRE-9e2a467076f3470ca4e6051e031afaab-";
