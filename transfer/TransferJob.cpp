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

QString SetUploadUrl(int mode) {
    return u"/Cloffa/File/Set.aspx?mode=%1"_s.arg(mode);
}

QString GetDownloadUrl(qint32 index) {
    return u"/Cloffa/File/Get.aspx?Idx=%1"_s.arg(index);
}

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
