#include "app/platform/FileManager.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QUrl>

#include <memory>

FileManager::FileManager(std::chrono::milliseconds timeout) : m_timeout(timeout) {}

namespace {

using Done = std::shared_ptr<std::function<void(FileManager::Outcome)>>;

// Runs `handle` with the reply once it is there; the watcher is the only thing that waits.
void OnReply(const QDBusPendingCall& call, std::function<void(const QDBusPendingCall&)> handle) {
    auto* watcher = new QDBusPendingCallWatcher(call, QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [handle = std::move(handle)](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         handle(*w);
                     });
}

void Later(Done done, FileManager::Outcome outcome) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QTimer::singleShot(0, app, [done, outcome] { (*done)(outcome); });
}

// Without an answer: a file manager that left the bus failed; one still there may yet show the files.
void AfterNoAnswer(QDBusConnection bus, Done done) {
    const QDBusMessage ask = QDBusMessage::createMethodCall(
                                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"))
                             << QString::fromLatin1(kFileManagerService);
    OnReply(bus.asyncCall(ask, 5000), [done](const QDBusPendingCall& call) {
        const QDBusPendingReply<bool> owned = call;
        (*done)(owned.isValid() && owned.value() ? FileManager::Outcome::Unanswered
                                                 : FileManager::Outcome::Failed);
    });
}

} // namespace

void FileManager::ShowItems(const QStringList& paths, std::function<void(Outcome)> done) const {
    auto shared = std::make_shared<std::function<void(Outcome)>>(std::move(done));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (paths.isEmpty() || !bus.isConnected()) {
        Later(shared, Outcome::Failed);
        return;
    }
    // Most file managers open one window for each item asked for, so a batch of twenty files would give
    // twenty windows: the first file stands for its folder, shown once with it selected.
    const QStringList uris{QUrl::fromLocalFile(paths.constFirst()).toString(QUrl::FullyEncoded)};
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kFileManagerService), QString::fromLatin1(kFileManagerPath),
        QString::fromLatin1(kFileManagerInterface), QStringLiteral("ShowItems"));
    call << uris << QString(); // no start-up notification id
    // No file manager on the bus, none it can start, or one that refuses: an error reply at once.
    OnReply(bus.asyncCall(call, int(m_timeout.count())), [bus, shared](const QDBusPendingCall& reply) {
        if (!reply.isError()) {
            (*shared)(Outcome::Shown);
            return;
        }
        const QDBusError::ErrorType type = reply.error().type();
        if (type == QDBusError::NoReply || type == QDBusError::Timeout || type == QDBusError::TimedOut)
            AfterNoAnswer(bus, shared);
        else
            (*shared)(Outcome::Failed);
    });
}
