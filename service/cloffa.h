// gSOAP input header of the Cloffa file service messages (document/literal, SOAP 1.1).
// The namespace URIs below are placeholders: the client installs the deployment's table at run time.

//gsoap ns3 service name: FileServiceSoap
//gsoap ns3 service type: FileServiceSoap
//gsoap ns3 service port: https://file.cloffa.example/Cloffa/File/FileService.asmx
//gsoap ns3 service namespace: http://file.cloffa.example/FileServiceSoap
//gsoap ns3 service transport: http://schemas.xmlsoap.org/soap/http

//gsoap ns1 schema namespace: http://file.cloffa.example/
//gsoap ns1 schema form: qualified
//gsoap ns4 schema namespace: http://file.cloffa.example/FileServiceSoap12
//gsoap ns5 schema namespace: http://memo.cloffa.example/MemoServiceSoap
//gsoap ns2 schema namespace: http://memo.cloffa.example/
//gsoap ns2 schema form: qualified
//gsoap ns6 schema namespace: http://memo.cloffa.example/MemoServiceSoap12

#import "stlvector.h"

class ns1__UserCredentials {
public:
    char *strAuth 0;
    @char *__anyAttribute;
    struct soap *soap;
};

class ns2__UserCredentials {
public:
    char *strAuth 0;
    @char *__anyAttribute;
    struct soap *soap;
};

class _ns1__GetUserFiles {
public:
    char *strSession 0;
    struct soap *soap;
};

class ns1__FileInfoes {
public:
    int Idx 1;
    char *FileName 0;
    int FileSize 1;
    char *RegDate 0;
    int Sidx 1;
    struct soap *soap;
};

class ns1__ArrayOfFileInfoes {
public:
    std::vector<ns1__FileInfoes *> FileInfoes 0;
    struct soap *soap;
};

class ns1__UserInfo {
public:
    int UserNo 1;
    int UserSize 1;
    int UserFree 1;
    struct soap *soap;
};

class _ns1__GetUserFilesResponse {
public:
    int GetUserFilesResult 1;
    ns1__ArrayOfFileInfoes *fileinfoes 0;
    ns1__UserInfo *userInfo 0;
    struct soap *soap;
};

class _ns1__DelFile {
public:
    char *strSession 0;
    int Idx 1;
    struct soap *soap;
};

class _ns1__DelFileResponse {
public:
    bool DelFileResult 1;
    struct soap *soap;
};

class _ns1__NeedUpdate {
public:
    char *strNowVersion 0;
    struct soap *soap;
};

class _ns1__NeedUpdateResponse {
public:
    bool NeedUpdateResult 1;
    struct soap *soap;
};

struct SOAP_ENV__Header {
    mustUnderstand ns1__UserCredentials *ns1__UserCredentials_;
    mustUnderstand ns2__UserCredentials *ns2__UserCredentials_;
};

//gsoap ns3 service method-style: GetUserFiles document
//gsoap ns3 service method-encoding: GetUserFiles literal
//gsoap ns3 service method-action: GetUserFiles http://file.cloffa.example/GetUserFiles
//gsoap ns3 service method-input-header-part: GetUserFiles ns1__UserCredentials
int __ns3__GetUserFiles(_ns1__GetUserFiles *ns1__GetUserFiles, _ns1__GetUserFilesResponse &ns1__GetUserFilesResponse);

//gsoap ns3 service method-style: DelFile document
//gsoap ns3 service method-encoding: DelFile literal
//gsoap ns3 service method-action: DelFile http://file.cloffa.example/DelFile
//gsoap ns3 service method-input-header-part: DelFile ns1__UserCredentials
int __ns3__DelFile(_ns1__DelFile *ns1__DelFile, _ns1__DelFileResponse &ns1__DelFileResponse);

//gsoap ns3 service method-style: NeedUpdate document
//gsoap ns3 service method-encoding: NeedUpdate literal
//gsoap ns3 service method-action: NeedUpdate http://file.cloffa.example/NeedUpdate
//gsoap ns3 service method-input-header-part: NeedUpdate ns1__UserCredentials
int __ns3__NeedUpdate(_ns1__NeedUpdate *ns1__NeedUpdate, _ns1__NeedUpdateResponse &ns1__NeedUpdateResponse);
