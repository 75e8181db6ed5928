#pragma once
// Private window messages as Qt events: one event type per message, QEvent::User + its WM_USER offset.
// Each message carries one typed record, owned by the event, so whoever handles it frees it by letting
// it go.
#include <QCoreApplication>
#include <QEvent>
#include <QString>
#include <QStringList>

#include <utility>

enum class PrivateMessage : int {
    TransferDone = 202,
    QuotaChanged = 203,
    DragTargetFound = 204,
    DragShellNotify = 205,
    FilesDropped = 210,
    TransferFileStarted = 211,
    TransferProgress = 212,
    SortList = 213,
    TransferAskReplace = 214,
    TransferError = 215,
    TransferNotice = 216, // to the transfer dialog
    ShowMessage = 216,    // to the file list window
    ListChanged = 217,
    WaitBox = 218,
    ToolbarLogout = 0x8100 - 0x0400, // WM_APP + 256
};

constexpr QEvent::Type EventTypeOf(PrivateMessage m) {
    return static_cast<QEvent::Type>(QEvent::User + static_cast<int>(m));
}

// The records of the messages whose parts are plain values; a record names its message as kMessage.
// Records holding types of the windows are declared beside the window that reads them.
struct TransferFinished { // the transfer dialog's worker has ended; its parent disposes of the dialog
    static constexpr PrivateMessage kMessage = PrivateMessage::TransferDone;
    int direction = 0; // 1 upload, 0 download
    QObject* dialog = nullptr;
};
struct QuotaChange {
    static constexpr PrivateMessage kMessage = PrivateMessage::QuotaChanged;
};
struct DroppedFiles {
    static constexpr PrivateMessage kMessage = PrivateMessage::FilesDropped;
    QStringList paths; // local paths in drop order
};
struct ProgressReady { // the numbers themselves wait in the dialog, so a burst is one repaint
    static constexpr PrivateMessage kMessage = PrivateMessage::TransferProgress;
};
struct SortRequest {
    static constexpr PrivateMessage kMessage = PrivateMessage::SortList;
    int column = 0; // 0 name, 1 size, 2 date
    bool ascending = true;
};
struct ReplaceQuestion {
    static constexpr PrivateMessage kMessage = PrivateMessage::TransferAskReplace;
    int count = 0; // files in the batch
    QString text;
};
struct ListChange {
    static constexpr PrivateMessage kMessage = PrivateMessage::ListChanged;
};
struct WaitBoxRequest {
    static constexpr PrivateMessage kMessage = PrivateMessage::WaitBox;
    bool show = false;
    QString text; // what the box says while shown
};
struct LogoutRequest {
    static constexpr PrivateMessage kMessage = PrivateMessage::ToolbarLogout;
};

// One private message: its number as the event type and its record, owned by the event.
template <typename Record> class PrivateEvent final : public QEvent {
public:
    explicit PrivateEvent(Record record) : QEvent(EventTypeOf(Record::kMessage)), m_record(std::move(record)) {}
    Record& record() { return m_record; }

private:
    Record m_record;
};

// The record carried by `event` when it is that record's message, otherwise null. Two messages share a
// number (to different windows), so the record's type is checked as well as the number.
template <typename Record> Record* RecordOf(QEvent* event) {
    if (!event || event->type() != EventTypeOf(Record::kMessage))
        return nullptr;
    auto* message = dynamic_cast<PrivateEvent<Record>*>(event);
    return message ? &message->record() : nullptr;
}

// PostMessage: queued to the receiver's thread; the event is deleted after it was handled.
template <typename Record> void PostPrivate(QObject* receiver, Record record) {
    if (receiver)
        QCoreApplication::postEvent(receiver, new PrivateEvent<Record>(std::move(record)));
}

// SendMessage on the receiver's own thread: handled before this returns.
template <typename Record> bool SendPrivate(QObject* receiver, Record record) {
    if (!receiver)
        return false;
    PrivateEvent<Record> event(std::move(record));
    return QCoreApplication::sendEvent(receiver, &event);
}
