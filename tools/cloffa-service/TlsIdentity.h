#pragma once
// The service's own CA and the server certificates it can present: a good one, one for another host,
// an expired one and a self-signed one that the CA never issued.
#include <filesystem>
#include <string>

#include "tools/cloffa-service/LocalService.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace cloffa {

class TlsIdentity {
public:
    TlsIdentity() = default;
    ~TlsIdentity();
    TlsIdentity(const TlsIdentity&) = delete;
    TlsIdentity& operator=(const TlsIdentity&) = delete;

    // Loads the CA and the good certificate from `dir`, making them on first use.
    bool load(const std::filesystem::path& dir, std::string* error);
    std::filesystem::path caFile() const { return m_caFile; }
    SSL_CTX* context(Certificate cert) const;

private:
    std::filesystem::path m_caFile;
    SSL_CTX* m_contexts[4] = {nullptr, nullptr, nullptr, nullptr};
};

} // namespace cloffa
