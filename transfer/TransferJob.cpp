#include "transfer/TransferJob.h"

#include "app/SessionStore.h"
#include "app/Utils.h"
#include "res/Strings.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

TransferJob::TransferJob(SessionStore& store, const TransferSettings& settings)
    : store(store), baseUrl(settings.baseUrl), caFile(settings.caFile) {}

TransferJob::~TransferJob() = default;

void TransferJob::answerReplace(ReplaceAnswer answer) {
    switch (answer) {
    case ReplaceAnswer::Replace:
        replaceChoice = 0;
        break;
    case ReplaceAnswer::ReplaceAll:
        replaceChoice = 0;
        applyToAll = true;
        break;
    case ReplaceAnswer::Skip:
        replaceChoice = 1;
        break;
    case ReplaceAnswer::Cancel:
        replaceChoice = 1;
        cancelled = true;
        break;
    }
    runEvent.set();
}

void TransferJob::cancel() {
    cancelled = true;
}

bool TransferJob::waitRun() {
    if (runEvent.isSet())
        return !cancelled;
    // Bounded waits, so a cancel during a pause is seen; the connection is told the idle time is ours.
    while (!runEvent.waitFor(std::chrono::milliseconds(50))) {
        if (cancelled)
            return false;
    }
    return !cancelled;
}

void TransferJob::reportError(const QString& text, int number) const {
    if (reporter)
        reporter->error(text, number);
}

void TransferJob::reportNotice(const QString& text) const {
    if (reporter)
        reporter->notice(text);
}

void TransferJob::reportProgress(qint64 done, qint64 total) {
    m_progressDone = done;
    m_progressTotal = total;
    m_progressPending = true;
    // Coalesced (every 64th block, at most every progressInterval) so a fast transfer cannot flood the window.
    // Reading the clock for every block costs more than the block itself.
    if ((++m_progressCalls & 63) != 0 && done != total)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_progressLast >= progressInterval)
        flushProgress();
}

void TransferJob::flushProgress() {
    if (!m_progressPending)
        return;
    m_progressPending = false;
    m_progressLast = std::chrono::steady_clock::now();
    if (reporter)
        reporter->progress(m_progressDone, m_progressTotal);
}

QString SetUploadUrl(int mode) { return u"/Cloffa/File/Set.aspx?mode=%1"_s.arg(mode); }

QString GetDownloadUrl(qint32 index) { return u"/Cloffa/File/Get.aspx?Idx=%1"_s.arg(index); }

QString StatusMessage(int direction, int statusCode) {
    switch (statusCode) {
    case 400:
        return Strings::Status400;
    case 401:
        return Strings::Status401;
    case 402:
        return Strings::Status402;
    case 403:
        return Strings::Status403;
    case 404:
        return Strings::Status404;
    case 405:
        return direction == 1 ? Strings::Status405Upload : Strings::Status405Download;
    case 408:
        return Strings::Status408;
    case 500:
        return QString(Strings::Status500)
            .replace(u"%s"_s, direction == 1 ? Strings::WordUpload : Strings::WordDownload);
    default:
        return Strings::StatusOther;
    }
}

QString CtimeText(std::chrono::system_clock::time_point when) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const time_t t = std::chrono::system_clock::to_time_t(when);
    struct tm local {};
    if (!localtime_r(&t, &local) || local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 || local.tm_mon > 11)
        return {};
    // Written out by hand: the C library pads the day with a blank, and locale-aware formatting would
    // translate the names.
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d", kDays[local.tm_wday], kMonths[local.tm_mon],
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, local.tm_year + 1900);
    return QString::fromLatin1(text);
}

QString CtimeNow() { return CtimeText(std::chrono::system_clock::now()); }

namespace {

// Header values never carry line breaks.
QString HeaderValue(const QString& value) {
    QString v = value;
    v.remove(u'\r');
    v.remove(u'\n');
    return v;
}

QString SessionHeaderLines(TransferJob& job, int nNo, int aNo) {
    const QByteArray digest = job.store.GetAuthDigest();
    job.etagValue = QString::fromLatin1(digest.left(3)) + u'-' + QString::fromLatin1(digest.mid(3, 8));
    return u"nNo: %1\r\n"_s.arg(nNo) + u"aNo: %1\r\n"_s.arg(aNo) + u"userSession: "_s +
           HeaderValue(job.sessionValue) + u"\r\n"_s + u"User-Agent: Tavirun\r\n"_s + u"If-Modified-Since: "_s +
           CtimeText(job.clock ? job.clock() : std::chrono::system_clock::now()) + u"\r\n"_s + u"If-None-Match: "_s + job.etagValue + u"\r\n"_s;
}

} // namespace

bool BuildDownloadHeaders(TransferJob& job, int nNo, int aNo) {
    job.downloadHeaders = SessionHeaderLines(job, nNo, aNo);
    return true;
}

bool BuildUploadHeaders(TransferJob& job, int nNo, int aNo, const TransferItem& item) {
    QString block = u"Accept: */*\r\n"_s + u"Content-Type: multipart/form-data;boundary="_s +
                    QLatin1String(kMultipartBoundary) + u"\r\n"_s + SessionHeaderLines(job, nNo, aNo);
    const qint64 length = BuildMultipartParts(job, item);
    if (length == kUnknownBodyLength) {
        job.uploadHeaders.clear();
        return false;
    }
    // The length fields of the exchange are 32-bit signed: such a body cannot be announced.
    if (length >= (qint64(1) << 31)) {
        job.reportError(Strings::UploadTooLarge, 223);
        job.uploadHeaders.clear();
        return false;
    }
    block += u"Content-Length: %1\r\n"_s.arg(static_cast<qint32>(static_cast<quint32>(job.totalLength)));
    job.uploadHeaders = block;
    return true;
}

qint64 BuildMultipartParts(TransferJob& job, const TransferItem& item) {
    QFile file(item.path);
    if (!file.open(QIODevice::ReadOnly) || QFileInfo(item.path).isDir()) {
        const int number = errno != 0 ? errno : 2;
        job.reportError(Strings::UnknownFileSize, number);
        return kUnknownBodyLength;
    }
    const quint64 size = static_cast<quint64>(file.size());
    file.close();
    if (size == kUnknownFileSize) {
        job.reportError(Strings::UnknownFileSize, 0);
        return kUnknownBodyLength;
    }
    const QString name = item.displayName.isEmpty() ? item.path : item.displayName;
    // The name goes into a quoted header parameter as it is: characters that would break it out are refused.
    if (name.contains(u'"') || name.contains(u'\r') || name.contains(u'\n')) {
        job.reportError(Strings::UploadNameRefused, 123);
        return kUnknownBodyLength;
    }
    const QByteArray boundary(kMultipartBoundary);
    job.bodyPrefix = "--" + boundary + "\r\n" + "Content-Disposition: form-data;name=\"\";filename=\"" +
                     name.toUtf8() + "\"\r\n" + "Content-Type: text/plain\r\n\r\n";
    job.bodySuffix = "\r\n--" + boundary + "--";
    job.totalLength = static_cast<quint64>(job.bodyPrefix.size()) + static_cast<quint64>(job.bodySuffix.size()) + size;
    return static_cast<qint64>(job.totalLength);
}

bool IsSafeStoredName(const QString& name) {
    if (name.isEmpty() || name == u"."_s || name == u".."_s)
        return false;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || u == u'/' || u == u'\\')
            return false;
    }
    return true;
}

namespace {
const QString kPartPrefix = u".quorvane-part-"_s;
const QString kOldPartSuffix = u".quorvane-part"_s;
constexpr int kPartDigits = 16;
} // namespace

QString NewPartialDownloadPath(const QString& folder) {
    const quint64 n = QRandomGenerator::system()->generate64();
    return folder + kPartPrefix + u"%1"_s.arg(n, kPartDigits, 16, QChar(u'0'));
}

bool IsPartialDownloadName(const QString& name) {
    if (name.startsWith(kPartPrefix) && name.size() == kPartPrefix.size() + kPartDigits) {
        for (qsizetype i = kPartPrefix.size(); i < name.size(); ++i) {
            const char16_t c = name.at(i).unicode();
            if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
                return false;
        }
        return true;
    }
    return name.size() > kOldPartSuffix.size() + 1 && name.startsWith(u'.') && name.endsWith(kOldPartSuffix) &&
           !name.startsWith(kPartPrefix);
}
