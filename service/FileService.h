#pragma once
// The calls the windows make: each takes the service lock, reads the session values from the store and
// runs one proxy call. Safe to call from worker threads.
#include "service/FileServiceSoap.h"
#include "service/ServiceResults.h"

#include <functional>

class SessionStore;

class FileService {
public:
    explicit FileService(FileServiceSettings settings = FileServiceSettings::FromDeployment());

    // Called with a valid answer (one that carries the file array) while the service lock is still held,
    // after the quota went into the store, so that no other call's answer lands in between.
    using ListCopy = std::function<void(const FileListResult&)>;
    // A valid answer's quota goes into the store; one without quota leaves the store's as it was.
    FileListResult GetUserFiles(SessionStore& store, const ListCopy& copyFiles = {});
    BoolResult DelFile(SessionStore& store, qint32 idx);
    BoolResult NeedUpdate(SessionStore& store); // value true = this version may no longer be used

    // From any thread: the running call ends at once with a transport error, and every later one fails
    // without connecting. For a window that is going away.
    void Stop() { m_proxy.Stop(); }

    // For tests and diagnostics; use only while holding SessionStore::serviceLock().
    FileServiceSoap& Proxy() { return m_proxy; }

private:
    FileServiceSoap m_proxy;
};
