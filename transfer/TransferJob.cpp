#include "transfer/TransferJob.h"

#include "app/Deployment.h"
#include "app/SessionStore.h"
#include "app/Utils.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

TransferJob::TransferJob() {
    baseUrl = Deployment::TransferBaseUrl();
    caFile = Deployment::ExtraCaFile();
    const QUrl url(baseUrl);
    host = url.host();
    port = static_cast<quint16>(url.port(443));
}

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
        return u"invalid syntax..."_s;
    case 401:
        return u"access denied..."_s;
    case 402:
        return u"payment required..."_s;
    case 403:
        return u"request forbidden..."_s;
    case 404:
        return u"요청하신 파일은 바이러스로 분류되어 자동 삭제되었습니다."_s;
    case 405:
        return direction == 1 ? u"저장공간이 부족합니다..."_s : u"허락되지 않은 요청입니다..."_s;
    case 408:
        return u"요청을 기다리는 동안 타임 아웃이 발생했습니다..."_s;
    case 500:
        return u"%1를 완료할 수가 없습니다.\n잠시후 다시 시도해 보신후\n문제가 지속될 경우 고객센터로 문의하십시오."_s.arg(
            direction == 1 ? u"업로드"_s : u"다운로드"_s);
    default:
        return u"요청하신 명령을 수행할 수가 없습니다.\n문제가 지속될 경우 고객센터로 문의하십시오."_s;
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
    return WithTrailingSeparator(folder) + kPartPrefix + u"%1"_s.arg(n, kPartDigits, 16, QChar(u'0'));
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
