#include "app/platform/FileManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QUrl>

FileManager::FileManager(std::chrono::milliseconds timeout) : m_timeout(timeout) {}

namespace {
bool Offered(const QDBusConnection& bus) {
    const QString name = QString::fromLatin1(kFileManagerService);
    if (bus.interface() && bus.interface()->isServiceRegistered(name))
        return true;
    // A file manager the bus would start on demand counts too.
    const QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListActivatableNames"));
    const QDBusMessage reply = bus.call(ask, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().toStringList().contains(name);
}
}  // namespace

bool FileManager::ShowItems(const QStringList& paths) const {
    if (paths.isEmpty())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !Offered(bus))
        return false;
    QStringList uris;
    for (const QString& path : paths)
        uris << QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kFileManagerService),
                                                       QString::fromLatin1(kFileManagerPath),
                                                       QString::fromLatin1(kFileManagerInterface),
                                                       QStringLiteral("ShowItems"));
    call << uris << QString();  // no start-up notification id
    const QDBusMessage reply = bus.call(call, QDBus::Block, int(m_timeout.count()));
    return reply.type() == QDBusMessage::ReplyMessage;
}
