#include "tools/cloffa-service/TlsIdentity.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace cloffa {
namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;

KeyPtr newKey() {
    return KeyPtr(EVP_EC_gen("P-256"), &EVP_PKEY_free);
}

bool addExt(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

// Makes a certificate for `key`; signed by issuerKey (itself when issuer is null).
CertPtr makeCert(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, bool isCa,
                 const char* san, long notBeforeSecs, long notAfterSecs) {
    CertPtr cert(X509_new(), &X509_free);
    if (!cert)
        return cert;
    X509_set_version(cert.get(), 2);
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7f;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), notBeforeSecs);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), notAfterSecs);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Local Cloffa"), -1,
                               -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1,
                               -1, 0);
    X509* signer = issuer ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    bool ok = true;
    if (isCa) {
        ok = ok && addExt(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        ok = ok && addExt(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        ok = ok && addExt(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        ok = ok && addExt(cert.get(), signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
        ok = ok && addExt(cert.get(), signer, NID_ext_key_usage, "serverAuth");
    }
    ok = ok && addExt(cert.get(), signer, NID_subject_key_identifier, "hash");
    if (san)
        ok = ok && addExt(cert.get(), signer, NID_subject_alt_name, san);
    if (!ok || X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()) <= 0)
        cert.reset();
    return cert;
}

bool writePem(const std::filesystem::path& path, X509* cert, EVP_PKEY* key) {
    const std::filesystem::path tmp = path.string() + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        return false;
    bool ok = cert ? PEM_write_X509(f, cert) == 1
                   : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    ok = std::fclose(f) == 0 && ok;
    std::error_code ec;
    if (ok)
        std::filesystem::rename(tmp, path, ec);
    return ok && !ec;
}

CertPtr readCert(const std::filesystem::path& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return CertPtr(nullptr, &X509_free);
    CertPtr c(PEM_read_X509(f, nullptr, nullptr, nullptr), &X509_free);
    std::fclose(f);
    return c;
}

KeyPtr readKey(const std::filesystem::path& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return KeyPtr(nullptr, &EVP_PKEY_free);
    KeyPtr k(PEM_read_PrivateKey(f, nullptr, nullptr, nullptr), &EVP_PKEY_free);
    std::fclose(f);
    return k;
}

SSL_CTX* makeContext(X509* cert, EVP_PKEY* key, X509* chain) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx)
        return nullptr;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    if (SSL_CTX_use_certificate(ctx, cert) != 1 || SSL_CTX_use_PrivateKey(ctx, key) != 1) {
        SSL_CTX_free(ctx);
        return nullptr;
    }
    if (chain) {
        X509_up_ref(chain);
        SSL_CTX_add_extra_chain_cert(ctx, chain);
    }
    return ctx;
}

constexpr long kDay = 24 * 3600;
constexpr const char* kGoodSan = "IP:127.0.0.1,DNS:localhost,IP:::1";

} // namespace

TlsIdentity::~TlsIdentity() {
    for (SSL_CTX*& ctx : m_contexts) {
        SSL_CTX_free(ctx);
        ctx = nullptr;
    }
}

bool TlsIdentity::load(const std::filesystem::path& dir, std::string* error) {
    auto fail = [error](const char* what) {
        if (error)
            *error = what;
        return false;
    };
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    m_caFile = dir / "ca.pem";
    const auto caKeyFile = dir / "ca-key.pem", certFile = dir / "server.pem", keyFile = dir / "server-key.pem";

    CertPtr ca = readCert(m_caFile), server = readCert(certFile);
    KeyPtr caKey = readKey(caKeyFile), serverKey = readKey(keyFile);
    if (!ca || !caKey || !server || !serverKey) {
        caKey = newKey();
        serverKey = newKey();
        if (!caKey || !serverKey)
            return fail("cannot make TLS keys");
        ca = makeCert(caKey.get(), "Local Cloffa CA", nullptr, nullptr, true, nullptr, -kDay, 3650 * kDay);
        if (!ca)
            return fail("cannot make the CA certificate");
        server = makeCert(serverKey.get(), "localhost", ca.get(), caKey.get(), false, kGoodSan, -kDay, 825 * kDay);
        if (!server)
            return fail("cannot make the server certificate");
        // Keys first, the CA last: a store without ca.pem is made again as a whole.
        if (!writePem(caKeyFile, nullptr, caKey.get()) || !writePem(keyFile, nullptr, serverKey.get()) ||
            !writePem(certFile, server.get(), nullptr) || !writePem(m_caFile, ca.get(), nullptr))
            return fail("cannot write the TLS files");
        std::filesystem::permissions(caKeyFile,
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, ec);
        std::filesystem::permissions(keyFile,
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, ec);
    }

    CertPtr wrongHost = makeCert(serverKey.get(), "wrong.invalid", ca.get(), caKey.get(), false,
                                 "DNS:wrong.invalid", -kDay, 825 * kDay);
    CertPtr expired =
        makeCert(serverKey.get(), "localhost", ca.get(), caKey.get(), false, kGoodSan, -30 * kDay, -2 * kDay);
    KeyPtr strangerKey = newKey();
    CertPtr untrusted = strangerKey ? makeCert(strangerKey.get(), "localhost", nullptr, nullptr, false, kGoodSan,
                                               -kDay, 825 * kDay)
                                    : CertPtr(nullptr, &X509_free);
    if (!wrongHost || !expired || !untrusted)
        return fail("cannot make the test certificates");

    m_contexts[int(Certificate::Good)] = makeContext(server.get(), serverKey.get(), nullptr);
    m_contexts[int(Certificate::WrongHost)] = makeContext(wrongHost.get(), serverKey.get(), nullptr);
    m_contexts[int(Certificate::Expired)] = makeContext(expired.get(), serverKey.get(), nullptr);
    m_contexts[int(Certificate::Untrusted)] = makeContext(untrusted.get(), strangerKey.get(), nullptr);
    for (SSL_CTX* ctx : m_contexts)
        if (!ctx)
            return fail("cannot set up the TLS contexts");
    return true;
}

SSL_CTX* TlsIdentity::context(Certificate cert) const {
    return m_contexts[int(cert)];
}

} // namespace cloffa
