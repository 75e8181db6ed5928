#pragma once
// Client proxy of the file service: one SOAP engine context, one endpoint, one call per operation.
// Not safe for concurrent use; callers serialise through SessionStore::serviceLock().
#include "service/FileServiceSettings.h"
#include "service/ServiceResults.h"

#include <QByteArray>

#include <memory>
#include <string>
#include <string_view>

struct soap;
class _ns1__GetUserFiles;
class _ns1__GetUserFilesResponse;
class _ns1__DelFile;
class _ns1__DelFileResponse;
class _ns1__NeedUpdate;
class _ns1__NeedUpdateResponse;

class FileServiceSoap {
public:
    enum class Operation { GetUserFiles, DelFile, NeedUpdate };
    struct Impl; // context hooks and the namespace table

    explicit FileServiceSoap(FileServiceSettings settings = FileServiceSettings::FromDeployment());
    virtual ~FileServiceSoap();
    FileServiceSoap(const FileServiceSoap&) = delete;
    FileServiceSoap& operator=(const FileServiceSoap&) = delete;

    // One call each on the message objects, with the header record set by SetCredentials; the result
    // is the shown error number (0 = success). Decoded objects live until the next call.
    virtual int NeedUpdate(_ns1__NeedUpdate& request, _ns1__NeedUpdateResponse& response);
    virtual int GetUserFiles(_ns1__GetUserFiles& request, _ns1__GetUserFilesResponse& response);
    virtual int DelFile(_ns1__DelFile& request, _ns1__DelFileResponse& response);

    // Safe from any thread: ends the running call (its connection is shut down under it) and makes every
    // later call fail before connecting.
    void Stop();
    bool Stopped() const;

    // The UserCredentials header of the following calls; an empty digest clears the header.
    void SetCredentials(const QByteArray& authDigest);

    // Value-level calls: set the header, build the request from UTF-8 texts, call, copy the answer.
    FileListResult CallGetUserFiles(const QByteArray& authDigest, const QByteArray& sessionUtf8);
    BoolResult CallDelFile(const QByteArray& authDigest, const QByteArray& sessionUtf8, qint32 idx);
    BoolResult CallNeedUpdate(const QByteArray& authDigest);

    // The request of one call exactly as it would be sent (header block and chunked body), written
    // without connecting anywhere.
    std::string EncodeRequest(Operation op, const QByteArray& authDigest, const QByteArray& sessionUtf8,
                              qint32 idx = 0);
    // Decodes a whole HTTP response as the answer of `op`, the way a call does after sending.
    FileListResult DecodeGetUserFiles(std::string_view httpResponse);
    BoolResult DecodeBool(Operation op, std::string_view httpResponse);

    bool HasContext() const { return m_soap != nullptr; }
    QByteArray Endpoint() const { return m_endpoint; }
    bool ConnectionOpen() const;
    // True when the open connection's socket has keep-alive probes switched on.
    bool ConnectionKeepAliveProbes() const;
    // The runtime's text of the last failure (fault string or transport reason).
    QString LastErrorText() const;

    // Converts a decoded answer to plain values.
    // Takes the decoded list over, freeing the runtime's copy of each entry as it goes, so a long list is
    // not held twice at once.
    static FileListResult ToResult(struct soap* soap, int error, _ns1__GetUserFilesResponse& response);

private:
    void Configure();
    int Finish(int runtimeCode);
    int BeginCall(Operation op);
    void EndCall();
    QByteArray Action(Operation op) const;

    FileServiceSettings m_settings;
    QByteArray m_endpoint;
    struct soap* m_soap = nullptr;
    std::unique_ptr<Impl> d;
};
