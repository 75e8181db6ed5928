#include "service/FileServiceSettings.h"

#include "app/Deployment.h"

FileServiceSettings FileServiceSettings::FromDeployment() {
    FileServiceSettings s;
    s.baseUrl = Deployment::ServiceBaseUrl();
    s.caFile = Deployment::ExtraCaFile();
    s.serviceNamespace = Deployment::ServiceNamespace();
    s.memoNamespace = Deployment::MemoNamespace();
    return s;
}

QString FileServiceSettings::Endpoint() const {
    return baseUrl + u"/Cloffa/File/FileService.asmx";
}
