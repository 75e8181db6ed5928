#pragma once
// The toolbar's session server: answers GetSessionBlob with the logged-in user's values.
#include <QByteArray>
#include <QDBusContext>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QString>

class SessionServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.brellow.TaviRun.ToolbarSessionServer")

public:
    enum class Fail { None, Error, Timeout, WrongUser, EmptyKey };

    struct Values {
        QString userId;
        QString password;
        QString userKey;
        QString sessionKey;
    };

    SessionServer(const Values& values, Fail fail, QObject* parent = nullptr);

    // Base64 of "userid\0ID\0userpwd\0P\0userkey\0K\0sessionkey\0KEY\0" and its decoded length.
    static QByteArray BuildBlob(const Values& values, int& decodedLength);

public Q_SLOTS:
    Q_SCRIPTABLE QString GetSessionBlob(int& length);

private:
    Values m_values;
    Fail m_fail;
    QList<QDBusMessage> m_unanswered; // held so the caller waits until its time-out
};
