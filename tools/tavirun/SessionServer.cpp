#include "tools/tavirun/SessionServer.h"

#include <QDBusConnection>
#include <QDBusError>

SessionServer::SessionServer(const Values& values, Fail fail, QObject* parent)
    : QObject(parent), m_values(values), m_fail(fail) {}

QByteArray SessionServer::BuildBlob(const Values& values, int& decodedLength) {
    QByteArray plain;
    auto add = [&plain](const char* key, const QString& value) {
        plain.append(key);
        plain.append('\0');
        plain.append(value.toUtf8());
        plain.append('\0');
    };
    add("userid", values.userId);
    add("userpwd", values.password);
    add("userkey", values.userKey);
    add("sessionkey", values.sessionKey);
    decodedLength = static_cast<int>(plain.size());
    return plain.toBase64();
}

QString SessionServer::GetSessionBlob(int& length) {
    length = 0;
    switch (m_fail) {
    case Fail::Error:
        sendErrorReply(QDBusError::Failed, QStringLiteral("session unavailable"));
        return {};
    case Fail::Timeout:
        setDelayedReply(true);
        m_unanswered.append(message());
        return {};
    default:
        break;
    }
    Values v = m_values;
    if (m_fail == Fail::WrongUser)
        v.userId += QStringLiteral("-other");
    if (m_fail == Fail::EmptyKey)
        v.sessionKey.clear();
    return QString::fromLatin1(BuildBlob(v, length));
}
