#include "ui/dialogs/BatchAnnouncer.h"

#include "app/platform/DesktopNotifier.h"
#include "res/Strings.h"

#include <QApplication>
#include <QWidget>

BatchAnnouncer::~BatchAnnouncer() {
    if (m_notifier && !m_ended)
        m_notifier->BatchEnded(this);
}

void BatchAnnouncer::FileStarted(int ordinal, int count) {
    // The worker starts a file only after the one before it was moved.
    if (m_fileOpen)
        ++m_moved;
    m_fileOpen = true;
    m_ordinal = ordinal;
    m_count = count;
    if (m_notifier)
        m_notifier->BatchProgress(this, ordinal - 1, count, 0.0);
}

void BatchAnnouncer::Progress(qint64 done, qint64 total) {
    if (m_notifier && m_ordinal > 0 && total > 0)
        m_notifier->BatchProgress(this, m_ordinal - 1, m_count, double(done) / double(total));
}

void BatchAnnouncer::Failed(const QString& text) {
    // The batch stops at its first error; the file it was moving is not counted.
    if (m_failure.isEmpty())
        m_failure = text;
    m_fileOpen = false;
}

void BatchAnnouncer::Ended(bool cancelled, const QWidget* mainWindow) {
    if (m_ended)
        return;
    m_ended = true;
    if (m_fileOpen && !cancelled && m_failure.isEmpty())
        ++m_moved;
    m_fileOpen = false;
    if (!m_notifier)
        return;
    m_notifier->BatchEnded(this);
    // A cancel is the user's own doing, seen as it happened.
    if (cancelled || !Away(mainWindow))
        return;
    QString number = QString::number(m_moved);
    if (!m_failure.isEmpty())
        m_notifier->Notify(m_upload ? Strings::NotifyUploadFailed : Strings::NotifyDownloadFailed, m_failure);
    else if (m_moved > 0)
        m_notifier->Notify(m_upload ? Strings::NotifyUploadDone : Strings::NotifyDownloadDone,
                           QString(m_upload ? Strings::NotifyUploadDoneFormat : Strings::NotifyDownloadDoneFormat)
                               .replace(QStringLiteral("%d"), number));
}

bool BatchAnnouncer::Away(const QWidget* mainWindow) {
    if (!mainWindow)
        return false;
    const QWidget* main = mainWindow->window();
    if (!main->isVisible() || main->isMinimized())
        return true;
    for (const QWidget* w = QApplication::activeWindow(); w;
         w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
        if (w == main)
            return false;
    }
    return true;
}
