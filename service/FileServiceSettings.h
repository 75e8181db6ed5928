#pragma once
// Transport settings of the file service proxy, handed in by the caller.
#include <QString>

#include <chrono>

struct FileServiceSettings {
    QString baseUrl;          // scheme, host and optional port, no trailing slash
    QString caFile;           // extra trusted CA (PEM) besides the system's; empty = system CAs only
    QString serviceNamespace; // ends with "/"
    QString memoNamespace;    // ends with "/"
    std::chrono::seconds connectTimeout{8};
    std::chrono::seconds sendTimeout{12};
    std::chrono::seconds receiveTimeout{12};
    // The whole call, connect to last byte: a server that trickles its answer never trips the per-read
    // time-outs.
    std::chrono::milliseconds callTimeout{60000};

    // The deployment's endpoint, CA file and namespaces with the standard time-outs.
    static FileServiceSettings FromDeployment();
    QString Endpoint() const; // baseUrl + the service path
};
