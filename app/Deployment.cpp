#include "app/Deployment.h"

#include <QtGlobal>

namespace {
QString fromEnv(const char* name, const QString& fallback) {
    const QString v = qEnvironmentVariable(name);
    return v.isEmpty() ? fallback : v;
}
QString withoutTrailingSlash(QString s) {
    while (s.endsWith(u'/'))
        s.chop(1);
    return s;
}
} // namespace

namespace Deployment {

QString ServiceBaseUrl() {
    return withoutTrailingSlash(fromEnv("CLOFFA_SERVICE_URL", QStringLiteral("https://file.cloffa.example")));
}
QString TransferBaseUrl() {
    return withoutTrailingSlash(fromEnv("CLOFFA_TRANSFER_URL", ServiceBaseUrl()));
}
QString ExtraCaFile() {
    return qEnvironmentVariable("CLOFFA_CA_FILE");
}
QString ServiceNamespace() {
    return QStringLiteral("http://file.cloffa.example/");
}
QString MemoNamespace() {
    return QStringLiteral("http://memo.cloffa.example/");
}

} // namespace Deployment
