#pragma once
// The calls the windows make: each takes the service lock, reads the session values from the store and
// runs one proxy call. Safe to call from worker threads.
#include "service/FileServiceSoap.h"
#include "service/ServiceResults.h"

class SessionStore;

class FileService {
public:
    explicit FileService(FileServiceSettings settings = FileServiceSettings::FromDeployment());

    FileListResult GetUserFiles(SessionStore& store);
    BoolResult DelFile(SessionStore& store, qint32 idx);
    BoolResult NeedUpdate(SessionStore& store);  // value true = this version may no longer be used

    // For tests and diagnostics; use only while holding SessionStore::serviceLock().
    FileServiceSoap& Proxy() { return m_proxy; }

private:
    FileServiceSoap m_proxy;
};
