#pragma once
// Private window messages as Qt events: one event type per message, QEvent::User + its WM_USER offset.
// The event owns its record (std::any), so whoever handles it frees it by letting it go.
#include <QCoreApplication>
#include <QEvent>

#include <any>
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
    TransferNotice = 216,  // to the transfer dialog
    ShowMessage = 216,     // to the file list window
    ListChanged = 217,
    WaitBox = 218,
    ToolbarLogout = 0x8100 - 0x0400,  // WM_APP + 256
};

constexpr QEvent::Type EventTypeOf(PrivateMessage m) {
    return static_cast<QEvent::Type>(QEvent::User + static_cast<int>(m));
}

class PrivateEvent : public QEvent {
public:
    PrivateEvent(PrivateMessage message, qintptr wParam = 0, qintptr lParam = 0, std::any record = {})
        : QEvent(EventTypeOf(message)), m_wParam(wParam), m_lParam(lParam), m_record(std::move(record)) {}

    qintptr wParam() const { return m_wParam; }
    qintptr lParam() const { return m_lParam; }
    std::any& record() { return m_record; }
    template <typename T> T* recordAs() { return std::any_cast<T>(&m_record); }

private:
    qintptr m_wParam;
    qintptr m_lParam;
    std::any m_record;
};

// PostMessage: queued to the receiver's thread; the event is deleted after it was handled.
inline void PostPrivate(QObject* receiver, PrivateMessage message, qintptr wParam = 0, qintptr lParam = 0,
                        std::any record = {}) {
    if (receiver)
        QCoreApplication::postEvent(receiver, new PrivateEvent(message, wParam, lParam, std::move(record)));
}
