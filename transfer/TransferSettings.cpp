#include "transfer/TransferSettings.h"

#include "app/Deployment.h"

TransferSettings TransferSettings::FromDeployment() {
    TransferSettings s;
    s.baseUrl = Deployment::TransferBaseUrl();
    s.caFile = Deployment::ExtraCaFile();
    return s;
}
