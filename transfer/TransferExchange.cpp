#include "transfer/TransferExchange.h"

#include "app/Log.h"
#include "app/SessionStore.h"
#include "app/Utils.h"
#include "app/platform/DownloadDisk.h"
#include "app/platform/FileLock.h"
#include "res/Strings.h"
#include "transfer/DownloadFinisher.h"
#include "transfer/DownloadTarget.h"
#include "transfer/HttpConnection.h"
#include "transfer/UploadBody.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kBlock = 1024;
constexpr int kErrUnrecognizedScheme = 12006;
constexpr int kErrInvalidName = 123;

bool PathTaken(const QString& path) {
    struct stat st;
    return lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// The batch's connection, or one made for a single call outside a batch.
HttpConnection* ConnectionFor(TransferJob& job, std::unique_ptr<HttpConnection>& own) {
    if (job.connection)
        return job.connection;
    own = std::make_unique<HttpConnection>(job.baseUrl, job.caFile);
    own->setCancelCheck([&job] { return job.cancelled.load(); });
    return own.get();
}

// Resets the gate, asks, and waits until the answer is stored. False when the batch is to stop.
bool AskReplace(TransferJob& job, int count, const QString& text) {
    job.runEvent.reset();
    std::optional<ReplaceAnswer> answer = ReplaceAnswer::Skip; // nobody to ask: never replace unasked
    if (job.reporter)
        answer = job.reporter->askReplace(count, text);
    if (answer)
        job.answerReplace(*answer);
    return job.waitRun();
}

bool WaitGate(TransferJob& job, HttpConnection* conn) {
    if (job.runEvent.isSet())
        return !job.cancelled;
    const bool go = job.waitRun();
    conn->noteIdle();
    return go;
}

// Passes everything on to the job's reporter and keeps the error number for the log line.
class RecordingReporter : public TransferReporter {
public:
    explicit RecordingReporter(TransferReporter* inner) : m_inner(inner) {}
    void fileStarted(const QString& name, int ordinal, int count) override {
        if (m_inner)
            m_inner->fileStarted(name, ordinal, count);
    }
    void progress(qint64 done, qint64 total) override {
        if (m_inner)
            m_inner->progress(done, total);
    }
    std::optional<ReplaceAnswer> askReplace(int count, const QString& text) override {
        if (m_inner)
            return m_inner->askReplace(count, text);
        return ReplaceAnswer::Skip;
    }
    void error(const QString& text, int number) override {
        errorNumber = number;
        reported = true;
        if (m_inner)
            m_inner->error(text, number);
    }
    void notice(const QString& text) override {
        reported = true;
        if (m_inner)
            m_inner->notice(text);
    }
    int errorNumber = 0;
    bool reported = false;

private:
    TransferReporter* m_inner;
};

// One log line per file moved: direction, name, status, error number, time and bytes, nothing else
// (the request headers carry the session key and the digest).
class TransferLog {
public:
    TransferLog(TransferJob& job, const char* direction, const QString& name)
        : m_job(job), m_direction(direction), m_name(name), m_recorder(job.reporter),
          m_started(std::chrono::steady_clock::now()) {
        m_saved = job.reporter;
        job.reporter = &m_recorder;
    }
    ~TransferLog() { m_job.reporter = m_saved; }
    TransferLog(const TransferLog&) = delete;
    TransferLog& operator=(const TransferLog&) = delete;

    TransferResult finish(TransferResult result) {
        m_job.reporter = m_saved;
        const qint64 ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_started)
                .count();
        // The line is made only when it goes somewhere: by default only failures are written.
        const bool failed = result == TransferFailed;
        if (failed ? !lcTransfer().isWarningEnabled() : !lcTransfer().isInfoEnabled())
            return result;
        const char* outcome = result == TransferDone        ? "done"
                              : result == TransferCancelled ? "cancelled"
                                                            : "failed";
        const QString line = QStringLiteral("%1 \"%2\" %3 status=%4 error=%5 ms=%6 bytes=%7")
                                 .arg(QLatin1String(m_direction), m_name, QLatin1String(outcome))
                                 .arg(status)
                                 .arg(m_recorder.errorNumber)
                                 .arg(ms)
                                 .arg(bytes);
        if (failed)
            qCWarning(lcTransfer).noquote() << line;
        else
            qCInfo(lcTransfer).noquote() << line;
        return result;
    }

    int status = 0;
    qint64 bytes = 0;

private:
    TransferJob& m_job;
    const char* m_direction;
    QString m_name;
    RecordingReporter m_recorder;
    TransferReporter* m_saved = nullptr;
    std::chrono::steady_clock::time_point m_started;
};

// Temporaries of downloads that ended without cleaning up (killed, crashed, power lost) are removed;
// one that a running transfer, here or in another copy, holds locked is left alone.
void RemoveStalePartials(const QString& folder) {
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral(".quorvane-part-*"), QStringLiteral(".*.quorvane-part")},
                      QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!IsPartialDownloadName(name))
            continue;
        if (FileLock::RemoveIfUnlocked(dir.filePath(name)))
            qCInfo(lcTransfer).noquote() << QStringLiteral("removed the leftover \"%1\"").arg(name);
    }
}

TransferResult DownloadFileLogged(TransferJob& job, const QString& name, int nNo, int aNo, qint32 fileIndex,
                                  TransferLog& log, DownloadFinisher* finisher);
TransferResult UploadFileLogged(TransferJob& job, const TransferItem& item, int nNo, int aNo, int mode,
                                TransferLog& log);

} // namespace

TransferResult DownloadFile(TransferJob& job, const QString& name, int nNo, int aNo, qint32 fileIndex) {
    job.destFolder = WithTrailingSlash(job.destFolder);
    // Outside a batch the call cleans up after earlier downloads itself.
    if (!job.connection)
        RemoveStalePartials(job.destFolder);
    TransferLog log(job, "download", name);
    return log.finish(DownloadFileLogged(job, name, nNo, aNo, fileIndex, log, nullptr));
}

namespace {

// A download of a batch whose flush and naming `finisher` takes over once its bytes are in.
TransferResult DownloadFileFinishedBeside(TransferJob& job, const QString& name, int nNo, int aNo,
                                          qint32 fileIndex, DownloadFinisher& finisher) {
    TransferLog log(job, "download", name);
    return log.finish(DownloadFileLogged(job, name, nNo, aNo, fileIndex, log, &finisher));
}

// The message for a file that failed at its flush or its naming.
void ReportFinishFailure(TransferJob& job, const FinishFailure& failure) {
    qCWarning(lcTransfer).noquote() << QStringLiteral("download \"%1\" failed at its %2 error=%3")
                                           .arg(failure.name,
                                                failure.step == FinishStep::Flush ? u"flush"_s : u"naming"_s)
                                           .arg(failure.error);
    if (failure.step == FinishStep::Flush)
        job.reportError(Strings::DownloadWriteFailed, failure.error);
    else
        job.reportError(Strings::DownloadCreateFailed, failure.error);
}

} // namespace

TransferResult UploadFile(TransferJob& job, const TransferItem& item, int nNo, int aNo, int mode) {
    const QString storedName = item.displayName.isEmpty() ? QFileInfo(item.path).fileName() : item.displayName;
    TransferLog log(job, "upload", storedName);
    return log.finish(UploadFileLogged(job, item, nNo, aNo, mode, log));
}

namespace {

// What happened to a download's body on the way to its file.
struct DownloadProgress {
    qint64 contentLength = -1;
    qint64 received = 0;
    bool noLength = false;
    bool createFailed = false;
    bool writeFailed = false;
    bool stopped = false;
    int fileError = 0;
};

// The message for an exchange that did not end with the whole body, or none when it did.
std::optional<TransferResult> ExchangeFailure(TransferJob& job, const HttpResult& res, const DownloadProgress& p,
                                              DownloadTarget& target) {
    if (p.stopped || (job.cancelled && !res.ok)) {
        target.drop();
        return TransferCancelled;
    }
    if (p.noLength) {
        job.reportError(Strings::DownloadNoLength, 12150);
        return TransferFailed;
    }
    if (p.createFailed) {
        job.reportError(Strings::DownloadCreateFailed, p.fileError);
        return TransferFailed;
    }
    if (p.writeFailed) {
        target.drop();
        job.reportError(Strings::DownloadWriteFailed, p.fileError);
        return TransferFailed;
    }
    if (!res.ok) {
        target.drop();
        if (!res.headersDone) {
            if (res.error == 12037)
                job.reportError(Strings::DownloadCertDateFailed, res.error);
            else
                job.reportError(Strings::DownloadRequestFailed, res.error);
        } else {
            job.reportError(Strings::DownloadReadFailed, res.error);
        }
        return TransferFailed;
    }
    return std::nullopt;
}

// The message for an answer that is not a complete file to be named, or none when it is.
std::optional<TransferResult> AnswerFailure(TransferJob& job, const HttpResult& res, const DownloadProgress& p,
                                            const QString& finalPath, DownloadTarget& target) {
    std::optional<std::pair<QString, int>> message;
    if (res.status == 0)
        message = {Strings::DownloadNoStatus, 12150};
    else if (res.status != 200)
        message = {StatusMessage(0, res.status), res.status};
    // A body that ended early is a failure, never a finished file.
    else if (p.received != p.contentLength)
        message = {Strings::DownloadReadFailed, 12030};
    // The old file gives way only now, when the new one is complete.
    else if (PathTaken(finalPath) && !job.replaceApproved)
        message = {Strings::DownloadCreateFailed, EEXIST};
    if (!message)
        return std::nullopt;
    target.drop();
    job.reportError(message->first, message->second);
    return TransferFailed;
}

// Runs the exchange, the body going into `target`; what happened on the way is in `p`.
HttpResult ReceiveBody(TransferJob& job, HttpConnection* conn, qint32 fileIndex, const QString& finalPath,
                       DownloadTarget& target, DownloadFinisher* finisher, DownloadProgress& p) {
    const HttpConnection::HeadersSeen onHeaders = [&](int, qint64 length) -> bool {
        if (length < 0) {
            p.noLength = true;
            return false;
        }
        p.contentLength = length;
        if (PathTaken(finalPath) && !job.replaceApproved) {
            p.createFailed = true;
            p.fileError = EEXIST;
            return false;
        }
        if (!target.isOpen() && !target.create()) {
            p.createFailed = true;
            p.fileError = target.error();
            return false;
        }
        return true;
    };
    const HttpConnection::Sink onBody = [&](const char* data, size_t size) -> bool {
        if (!target.isOpen())
            return false;
        size_t offset = 0;
        while (offset < size) {
            // An earlier file that failed at its flush or naming ends the batch here too.
            if (job.cancelled || (finisher && finisher->failed()) || !WaitGate(job, conn)) {
                p.stopped = true;
                return false;
            }
            const size_t take = std::min<size_t>(kBlock, size - offset);
            if (!target.append(data + offset, take)) {
                p.writeFailed = true;
                p.fileError = target.error();
                return false;
            }
            offset += take;
            p.received += qint64(take);
            job.reportProgress(p.received, p.contentLength);
        }
        return true;
    };
    // The temporary is made while the server answers (making a file costs about as long as the answer
    // takes to come over a fast network); it goes again if the answer brings no file.
    const HttpConnection::Awaiting awaiting = [&] { target.create(); };
    return conn->get(GetDownloadUrl(fileIndex).toLatin1(), job.downloadHeaders.toUtf8(), onHeaders, onBody,
                     awaiting);
}

TransferResult DownloadFileLogged(TransferJob& job, const QString& name, int nNo, int aNo, qint32 fileIndex,
                                  TransferLog& log, DownloadFinisher* finisher) {
    // A stored name must never lead outside the destination folder.
    if (!IsSafeStoredName(name)) {
        job.reportError(Strings::DownloadCreateFailed, kErrInvalidName);
        return TransferFailed;
    }
    std::unique_ptr<HttpConnection> own;
    HttpConnection* conn = ConnectionFor(job, own);
    if (!conn->isValid()) {
        job.reportError(Strings::DownloadOpenFailed, kErrUnrecognizedScheme);
        return TransferFailed;
    }
    BuildDownloadHeaders(job, nNo, aNo);

    DownloadDisk& disk = job.disk ? *job.disk : DownloadDisk::System();
    const QString finalPath = job.destFolder + name;
    DownloadTarget target(disk, job.destFolder);
    DownloadProgress p;
    const HttpResult res = ReceiveBody(job, conn, fileIndex, finalPath, target, finisher, p);
    log.status = res.status;
    log.bytes = p.received;
    // Ended because an earlier file failed at its flush or naming: that failure is the one reported.
    if (finisher && finisher->failed() && !res.ok)
        p.stopped = true;
    if (target.isOpen() && !p.writeFailed && !p.stopped && !target.writeBuffer()) {
        p.writeFailed = true;
        p.fileError = target.error();
    }
    if (const std::optional<TransferResult> failed = ExchangeFailure(job, res, p, target))
        return *failed;
    job.reportProgress(p.received, p.contentLength);
    job.flushProgress();
    if (const std::optional<TransferResult> failed = AnswerFailure(job, res, p, finalPath, target))
        return *failed;
    FinishedDownload done = target.handOver(name, QFile::encodeName(finalPath), job.replaceApproved);
    if (finisher) {
        finisher->add(std::move(done));
        return TransferDone;
    }
    if (const std::optional<FinishFailure> failure = FinishDownload(disk, done)) {
        ReportFinishFailure(job, *failure);
        return TransferFailed;
    }
    return TransferDone;
}

// The message for an upload that did not end with its file stored, or none when it did.
std::optional<TransferResult> UploadFailure(TransferJob& job, const HttpResult& res, const UploadBody& body) {
    if (body.stop() == UploadBody::Stop::ByCaller || (job.cancelled && !res.ok))
        return TransferCancelled;
    if (body.stop() == UploadBody::Stop::ReadFailed) {
        job.reportError(Strings::UploadReadFailed, body.readError());
        return TransferFailed;
    }
    if (body.stop() == UploadBody::Stop::QuotaShort) {
        job.reportNotice(Strings::UploadNoSpace);
        return TransferFailed;
    }
    job.flushProgress();
    if (res.headersDone && res.status != 200) {
        job.reportError(StatusMessage(1, res.status), res.status);
        return TransferFailed;
    }
    // A 200 counts only for a body that went out whole: an early answer before a cut body is no success.
    if (!res.bodySent || (!res.ok && !(res.headersDone && res.status == 200))) {
        if (!res.connected)
            job.reportError(Strings::UploadRequestFailed, res.error);
        else if (!res.bodySent)
            job.reportError(Strings::UploadWriteFailed, res.error);
        else if (!res.headersDone)
            job.reportError(Strings::UploadEndFailed, res.error);
        else
            job.reportError(Strings::UploadNoStatus, res.error);
        return TransferFailed;
    }
    if (res.status == 0) {
        job.reportError(Strings::UploadNoStatus, 12150);
        return TransferFailed;
    }
    return std::nullopt;
}

TransferResult UploadFileLogged(TransferJob& job, const TransferItem& item, int nNo, int aNo, int mode,
                                TransferLog& log) {
    std::unique_ptr<HttpConnection> own;
    HttpConnection* conn = ConnectionFor(job, own);
    if (!conn->isValid()) {
        job.reportError(Strings::UploadOpenFailed, kErrUnrecognizedScheme);
        return TransferFailed;
    }
    if (!BuildUploadHeaders(job, nNo, aNo, item))
        return TransferFailed;
    const int fd = OpenRegularFileForReading(item.path);
    if (fd < 0) {
        job.reportError(QString(Strings::UploadFileOpenFailed).replace(u"%s"_s, item.path), errno);
        return TransferFailed;
    }
    // The size the body was announced with; the file must give exactly that many bytes.
    const qint64 size = qint64(job.totalLength) - job.bodyPrefix.size() - job.bodySuffix.size();
    const QString storedName = item.displayName.isEmpty() ? QFileInfo(item.path).fileName() : item.displayName;
    UploadBody::Hooks hooks;
    hooks.fileStarts = [&] {
        FileRow row;
        // Named by its stored name, not its path: that is what the list is looked up by.
        row.name = storedName;
        row.size = static_cast<qint32>(size);
        job.store.AppendPendingUpload(row);
    };
    hooks.mayGoOn = [&] { return !job.cancelled && WaitGate(job, conn); };
    hooks.roomFor = [&job](qint64 left) { return job.store.QuotaFree() >= static_cast<qint32>(left); };
    hooks.sent = [&](qint64 sent) { job.reportProgress(sent, size); };
    UploadBody body(fd, job.bodyPrefix, job.bodySuffix, size, std::move(hooks));
    const HttpConnection::Source source = [&](char* out, size_t max) { return body.produce(out, max); };

    // The status decides; the answer's body is never read (a body that is cut or stalls changes nothing).
    const HttpConnection::HeadersSeen onAnswer = [](int, qint64 length) { return length == 0; };
    const HttpResult res = conn->post(SetUploadUrl(mode).toLatin1(), job.uploadHeaders.toUtf8(),
                                      qint64(job.totalLength), source, onAnswer);
    ::close(fd);
    log.status = res.status;
    log.bytes = body.fileBytesSent();
    if (const std::optional<TransferResult> failed = UploadFailure(job, res, body))
        return *failed;
    job.store.AdjustQuotaFree(-static_cast<qint32>(size));
    return TransferDone;
}

} // namespace

namespace {

// Common start of both batches; null when the connection cannot be set up (already reported).
std::unique_ptr<HttpConnection> StartBatch(TransferJob& job) {
    job.runEvent.set();
    auto conn = std::make_unique<HttpConnection>(job.baseUrl, job.caFile);
    if (!conn->isValid()) {
        job.reportError(Strings::InternetSetupFailed, kErrUnrecognizedScheme);
        return nullptr;
    }
    conn->setCancelCheck([&job] { return job.cancelled.load(); });
    job.connection = conn.get();
    if (job.reporter)
        job.reporter->batchStarted();
    return conn;
}

void EndBatch(TransferJob& job) {
    job.items.clear();
    job.connection = nullptr;
}

} // namespace

void RunDownloadBatch(TransferJob& job) {
    const std::unique_ptr<HttpConnection> conn = StartBatch(job);
    if (!conn) {
        EndBatch(job);
        return;
    }
    // Made a folder path once here; every path below is the folder and a name.
    job.destFolder = WithTrailingSlash(job.destFolder);
    RemoveStalePartials(job.destFolder);
    SessionStore& store = job.store;
    // A file's name stays in progress until it is named or dropped.
    DownloadFinisher finisher(job.disk ? *job.disk : DownloadDisk::System(),
                              [&store](const QString& name) { store.RemoveNameInProgress(name); });
    // A failure there ends the transfer under way at once, even one that is waiting for the server.
    conn->setCancelCheck([&job, &finisher] { return job.cancelled.load() || finisher.failed(); });
    const int count = static_cast<int>(job.items.size());
    int nNo = 1;
    int aNo = count;
    for (int i = 0; i < count; ++i) {
        if (!job.waitRun() || finisher.failed())
            break;
        const TransferItem item = job.items[size_t(i)];
        const QString localPath = job.destFolder + item.path;
        // The same name twice in a batch: the second waits until the first has taken its name.
        if (finisher.isWaiting(item.path))
            finisher.drain();
        if (finisher.failed())
            break;
        if (store.IsNameInProgress(item.path)) {
            job.reportNotice(Strings::DownloadBusyFile);
            --aNo;
            continue;
        }
        if (!IsSafeStoredName(item.path)) {
            job.reportError(Strings::DownloadCreateFailed, kErrInvalidName);
            break;
        }
        job.replaceApproved = false;
        if (PathTaken(localPath)) {
            if (!job.applyToAll && !AskReplace(job, count, localPath))
                break;
            if (job.replaceChoice != 0) {
                --aNo;
                continue;
            }
            // The old file is removed only when the new one takes its place.
            job.replaceApproved = true;
        }
        if (job.reporter)
            job.reporter->fileStarted(item.path, i + 1, count);
        if (job.cancelled)
            break;
        store.AddNameInProgress(item.path);
        const TransferResult result = DownloadFileFinishedBeside(job, item.path, nNo, aNo, item.index, finisher);
        if (result != TransferDone) {
            store.RemoveNameInProgress(item.path);
            break;
        }
        ++nNo;
    }
    // The batch ends when every file is named or dropped.
    finisher.drain();
    conn->setCancelCheck([&job] { return job.cancelled.load(); });
    if (const std::optional<FinishFailure> failure = finisher.takeFailure())
        ReportFinishFailure(job, *failure);
    EndBatch(job);
}

void RunUploadBatch(TransferJob& job) {
    const std::unique_ptr<HttpConnection> conn = StartBatch(job);
    if (!conn) {
        EndBatch(job);
        return;
    }
    SessionStore& store = job.store;
    const int count = static_cast<int>(job.items.size());
    int nNo = 1;
    int aNo = count;
    for (int i = 0; i < count; ++i) {
        if (!job.waitRun())
            break;
        TransferItem item = job.items[size_t(i)];
        // Only "/" separates: "\\" is an ordinary character of a file name.
        const QString name = item.path.mid(item.path.lastIndexOf(u'/') + 1);
        if (store.IsNameInProgress(name)) {
            job.reportNotice(Strings::UploadBusyFile);
            --aNo;
            continue;
        }
        int mode = 0;
        std::optional<FileRow> found = store.FindFileByName(name);
        if (!found)
            found = store.FindPendingUploadByName(name);
        if (found) {
            item.size = found->size;
            if (!job.applyToAll && !AskReplace(job, count, name))
                break;
            if (job.replaceChoice != 0) {
                --aNo;
                continue;
            }
            mode = 1;
        }
        const int fd = OpenRegularFileForReading(item.path);
        if (fd < 0) {
            job.reportError(Strings::UnknownFileSize, errno);
            break;
        }
        ::close(fd);
        if (mode == 1)
            store.AdjustQuotaFree(item.size);
        if (job.reporter)
            job.reporter->fileStarted(item.path, i + 1, count);
        if (job.cancelled)
            break;
        store.AddNameInProgress(name);
        const TransferResult result = UploadFile(job, item, nNo, aNo, mode);
        store.RemoveNameInProgress(name);
        if (result != TransferDone)
            break;
        ++nNo;
    }
    EndBatch(job);
}
