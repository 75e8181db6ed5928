#pragma once
// Deployment values: compiled defaults, overridable by the environment for tests and demos.
#include <QString>

namespace Deployment {

// e.g. "https://files.cloffa.example:443"; no trailing slash.
QString ServiceBaseUrl();  // CLOFFA_SERVICE_URL
QString TransferBaseUrl(); // CLOFFA_TRANSFER_URL (defaults to the service URL)
QString ExtraCaFile();     // CLOFFA_CA_FILE, empty when unset
// Namespace URIs of the SOAP messages; both end with "/".
QString ServiceNamespace();
QString MemoNamespace();

} // namespace Deployment
