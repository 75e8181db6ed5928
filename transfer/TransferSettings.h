#pragma once
// Transport settings of the transfer pages, handed in by the caller.
#include <QString>

struct TransferSettings {
    QString baseUrl; // "https://host[:port]", no trailing slash
    QString caFile;  // extra trusted CA (PEM) besides the system's; empty = system CAs only

    // The deployment's transfer endpoint and CA file.
    static TransferSettings FromDeployment();
};
