#include "service/FileService.h"

#include "app/SessionStore.h"

#include <mutex>

FileService::FileService(FileServiceSettings settings) : m_proxy(std::move(settings)) {}

FileListResult FileService::GetUserFiles(SessionStore& store, const ListCopy& copyFiles) {
    const std::lock_guard lock(SessionStore::serviceLock());
    FileListResult result = m_proxy.CallGetUserFiles(store.GetAuthDigest(), store.GetSessionKey().toUtf8());
    if (result.error == 0 && result.hasFileArray) {
        if (result.quota.present)
            store.SetQuota(result.quota.userSize, result.quota.userFree);
        if (copyFiles)
            copyFiles(result);
    }
    return result;
}

BoolResult FileService::DelFile(SessionStore& store, qint32 idx) {
    const std::lock_guard lock(SessionStore::serviceLock());
    return m_proxy.CallDelFile(store.GetAuthDigest(), store.GetSessionKey().toUtf8(), idx);
}

BoolResult FileService::NeedUpdate(SessionStore& store) {
    const std::lock_guard lock(SessionStore::serviceLock());
    return m_proxy.CallNeedUpdate(store.GetAuthDigest());
}
