// Wall time and peak memory of decoding GetUserFiles answers of 1,000 and 100,000 entries through the
// proxy against the local service.
#include "app/Deployment.h"
#include "service/FileServiceSoap.h"
#include "tools/cloffa-service/LocalService.h"

#include <sys/resource.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

std::string listAnswer(int entries) {
    std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
                       "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                       "<soap:Body><GetUserFilesResponse xmlns=\"" +
                       Deployment::ServiceNamespace().toStdString() +
                       "\"><GetUserFilesResult>1</GetUserFilesResult><fileinfoes>";
    body.reserve(body.size() + size_t(entries) * 170);
    for (int i = 0; i < entries; ++i) {
        body += "<FileInfoes><Idx>" + std::to_string(i + 1) + "</Idx><FileName>\xeb\xac\xb8\xec\x84\x9c_" +
                std::to_string(i) + ".txt</FileName><FileSize>" + std::to_string(1000 + i) +
                "</FileSize><RegDate>2008-05-21 \xec\x98\xa4\xed\x9b\x84 3:04:05</RegDate><Sidx>" +
                std::to_string(i % 7) + "</Sidx></FileInfoes>";
    }
    body += "</fileinfoes><userInfo><UserNo>1</UserNo><UserSize>104857600</UserSize><UserFree>52428800</UserFree>"
            "</userInfo></GetUserFilesResponse></soap:Body></soap:Envelope>";
    return body;
}

long peakKib() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    cloffa::ServiceOptions options;
    options.storeDir = dir.path().toStdString();
    cloffa::LocalService service(options);
    std::string error;
    if (!service.start(&error)) {
        std::fprintf(stderr, "local service: %s\n", error.c_str());
        return 1;
    }
    FileServiceSettings settings = FileServiceSettings::FromDeployment();
    settings.baseUrl = QString::fromStdString(service.baseUrl());
    settings.caFile = QString::fromStdString(service.caFile().string());
    FileServiceSoap proxy(settings);
    const QByteArray digest = QByteArray::fromStdString(cloffa::AuthDigestFor(options.sessionKey));

    for (const int entries : {1000, 100000}) {
        cloffa::Fault answer;
        answer.kind = cloffa::Fault::Kind::Raw;
        answer.body = listAnswer(entries);
        const size_t answerBytes = answer.body.size();
        // The service keeps its own copy; this one would only add to the figure.
        service.injectFault(cloffa::Endpoint::Soap, std::move(answer));
        const long before = peakKib();
        const auto start = std::chrono::steady_clock::now();
        const FileListResult r = proxy.CallGetUserFiles(digest, QByteArray::fromStdString(options.sessionKey));
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf(
            "GetUserFiles %6d entries (%7.1f KiB answer): error %d, %zu decoded, %8.1f ms, peak RSS %ld KiB "
            "(+%ld KiB)\n",
            entries, answerBytes / 1024.0, r.error, r.files.size(), ms, peakKib(), peakKib() - before);
    }
    return 0;
}
