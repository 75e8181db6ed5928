#pragma once
// A short-lived service worker: runs one operation on its own thread against the shared proxy and
// reports to its window only through a guarded token, so a window that is gone is never touched.
#include "app/platform/ManualResetEvent.h"
#include "app/platform/PrivateEvents.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <mutex>
#include <thread>

class FileService;
class SessionStore;
enum class MessageIcon;

enum class ServiceOperation : int { List = 0, VersionCheck = 1, Delete = 2 };

// Shared by a window and its workers; the window clears it when it goes away.
class ReceiverToken {
public:
    ReceiverToken(QWidget* window, QWidget* mainWindow) : m_window(window), m_mainWindow(mainWindow) {}
    void Revoke();
    bool Alive() const;
    // PostMessage to the window (or the main window); dropped when the token was revoked.
    template <typename Record> void Post(Record record, bool toMain = false) {
        // Held while posting, so the window cannot finish going away in between.
        std::lock_guard<std::mutex> l(m_mutex);
        if (m_alive)
            PostPrivate(toMain ? m_mainWindow : m_window, std::move(record));
    }
    void PostCloseMain();
    // A message box the worker waits for; returns at once when the window goes away meanwhile.
    void ShowMessageAndWait(const QString& text, MessageIcon icon);

private:
    mutable std::mutex m_mutex;
    bool m_alive = true;
    QWidget* m_window;
    QWidget* m_mainWindow;
};

class ServiceWorker {
public:
    ServiceWorker(std::shared_ptr<FileService> service, SessionStore& store, std::shared_ptr<ReceiverToken> token,
                  ServiceOperation operation);
    ~ServiceWorker(); // never kills: waits for the thread or leaves it to finish on its own
    bool Start();
    bool WaitFor(std::chrono::milliseconds timeout) { return m_state->done.waitFor(timeout); }
    bool Finished() const { return m_state->done.isSet(); }
    ServiceOperation Operation() const { return m_operation; }

private:
    struct State {
        ManualResetEvent done;
    };
    static void Run(std::shared_ptr<FileService> service, SessionStore* store,
                    std::shared_ptr<ReceiverToken> token, ServiceOperation operation, std::shared_ptr<State> state,
                    std::shared_ptr<void> storeHold);
    std::shared_ptr<FileService> m_service;
    SessionStore& m_store;
    std::shared_ptr<ReceiverToken> m_token;
    ServiceOperation m_operation;
    std::shared_ptr<State> m_state = std::make_shared<State>();
    std::thread m_thread;
};

// What a ShowMessage event carries; the handler sets `shown` once the box was closed.
struct ShowMessageRecord {
    static constexpr PrivateMessage kMessage = PrivateMessage::ShowMessage;
    QString text;
    MessageIcon icon;
    std::shared_ptr<ManualResetEvent> shown;
};

// The date column: the 8 characters from the third one on ("2008-05-21 ..." -> "08-05-21").
QString ShortRegDate(const QString& regDate);
