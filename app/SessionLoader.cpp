#include "app/SessionLoader.h"

#include "app/CodePage.h"
#include "app/SessionStore.h"
#include "app/platform/ToolbarSessionClient.h"

bool AcceptSession(SessionStore& store, const SessionMap& map) {
    QString userId, userPwd, userKey, sessionKey;
    GetSessionValue(map, QStringLiteral("userid"), userId, true);
    // Read as the toolbar hands them over, not used here.
    GetSessionValue(map, QStringLiteral("userpwd"), userPwd, true);
    GetSessionValue(map, QStringLiteral("userkey"), userKey, true);
    GetSessionValue(map, QStringLiteral("sessionkey"), sessionKey, true);
    if (store.GetLaunchUserId() != userId || sessionKey.isEmpty())
        return false;
    store.SetSessionKey(sessionKey);
    return true;
}

bool LoadSession(SessionStore& store, const ToolbarSessionClient& client) {
    QString blob;
    qint32 length = 0;
    if (!client.GetSessionBlob(blob, length))
        return false;
    SessionMap map;
    DecodeSessionBlob(length, ToAnsi(blob), map);
    return AcceptSession(store, map);
}

bool LoadSession(SessionStore& store) {
    return LoadSession(store, ToolbarSessionClient());
}
