#pragma once
// Files sent from a file manager wait here until the window could take a drop of them (no service call
// running, no question open), then go to it one send at a time, in the order they came.
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>

class SentFilesInbox : public QObject {
    Q_OBJECT
public:
    using Ready = std::function<bool()>;
    using Deliver = std::function<void(const QStringList& paths)>;
    static constexpr int kMaxPending = 16; // sends waiting at once; more are refused
    static constexpr std::chrono::milliseconds kPollInterval{200};

    SentFilesInbox(Ready ready, Deliver deliver, QObject* parent = nullptr);

    // False when too many sends already wait.
    bool Add(const QStringList& paths);
    int Pending() const { return static_cast<int>(m_pending.size()); }

private:
    void Poll();

    Ready m_ready;
    Deliver m_deliver;
    std::deque<QStringList> m_pending;
    QTimer m_timer;
};
