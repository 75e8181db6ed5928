#include "app/platform/ToolbarSessionClient.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMetaType>

ToolbarSessionClient::ToolbarSessionClient(std::chrono::milliseconds timeout) : m_timeout(timeout) {}

bool ToolbarSessionClient::GetSessionBlob(QString& blob, qint32& length) const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kToolbarSessionService), QLatin1String(kToolbarSessionPath),
                                       QLatin1String(kToolbarSessionInterface), QStringLiteral("GetSessionBlob"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, static_cast<int>(m_timeout.count()));
    if (reply.type() != QDBusMessage::ReplyMessage)
        return false;
    const QList<QVariant> args = reply.arguments();
    if (args.size() != 2 || args.at(0).metaType().id() != QMetaType::QString ||
        args.at(1).metaType().id() != QMetaType::Int)
        return false;
    blob = args.at(0).toString();
    length = args.at(1).toInt();
    return true;
}
