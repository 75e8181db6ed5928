// The request side of the exchanges: the header blocks and the multipart framing of an upload's body.
#include "transfer/TransferJob.h"

#include "app/SessionStore.h"
#include "app/Utils.h"
#include "res/Strings.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

QString CtimeText(std::chrono::system_clock::time_point when) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const time_t t = std::chrono::system_clock::to_time_t(when);
    struct tm local {};
    if (!localtime_r(&t, &local) || local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 ||
        local.tm_mon > 11)
        return {};
    // Written out by hand: the C library pads the day with a blank, and locale-aware formatting would
    // translate the names.
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d", kDays[local.tm_wday], kMonths[local.tm_mon],
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, local.tm_year + 1900);
    return QString::fromLatin1(text);
}

QString CtimeNow() {
    return CtimeText(std::chrono::system_clock::now());
}

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
           CtimeText(job.clock ? job.clock() : std::chrono::system_clock::now()) + u"\r\n"_s +
           u"If-None-Match: "_s + job.etagValue + u"\r\n"_s;
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
    job.totalLength =
        static_cast<quint64>(job.bodyPrefix.size()) + static_cast<quint64>(job.bodySuffix.size()) + size;
    return static_cast<qint64>(job.totalLength);
}
