#include "ui/windows/SentFilesInbox.h"

SentFilesInbox::SentFilesInbox(Ready ready, Deliver deliver, QObject* parent)
    : QObject(parent), m_ready(std::move(ready)), m_deliver(std::move(deliver)) {
    m_timer.setInterval(kPollInterval);
    connect(&m_timer, &QTimer::timeout, this, &SentFilesInbox::Poll);
}

bool SentFilesInbox::Add(const QStringList& paths) {
    if (Pending() >= kMaxPending)
        return false;
    m_pending.push_back(paths);
    // After the sender has its answer: the drop's questions may open boxes of their own.
    QMetaObject::invokeMethod(this, &SentFilesInbox::Poll, Qt::QueuedConnection);
    m_timer.start();
    return true;
}

void SentFilesInbox::Poll() {
    if (m_pending.empty()) {
        m_timer.stop();
        return;
    }
    if (!m_ready())
        return;
    const QStringList paths = m_pending.front();
    m_pending.pop_front();
    // A question it opens runs its own loop; the next send waits until it is answered.
    m_deliver(paths);
    if (m_pending.empty())
        m_timer.stop();
}
