#pragma once
// A self-signed certificate for 127.0.0.1 (an EC P-256 key), written as cert.pem and key.pem
// into a folder, for tests that need a TLS server on loopback.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <string>

namespace vorl::testing {

// False when OpenSSL could not make or write them.
inline bool writeTestCertificate(const std::string& certFile, const std::string& keyFile) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    bool ok = key != nullptr && cert != nullptr;
    if (ok) {
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -60);
        X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
        X509_set_pubkey(cert, key);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("vorl-test"), -1, -1, 0);
        X509_set_issuer_name(cert, name);
        X509V3_CTX context;
        X509V3_set_ctx_nodb(&context);
        X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
        if (X509_EXTENSION* san =
                X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1")) {
            X509_add_ext(cert, san, -1);
            X509_EXTENSION_free(san);
        }
        ok = X509_sign(cert, key, EVP_sha256()) > 0;
    }
    if (ok) {
        FILE* out = std::fopen(certFile.c_str(), "w");
        ok = out != nullptr && PEM_write_X509(out, cert) == 1;
        if (out) std::fclose(out);
    }
    if (ok) {
        FILE* out = std::fopen(keyFile.c_str(), "w");
        ok = out != nullptr &&
             PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
        if (out) std::fclose(out);
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    return ok;
}

}  // namespace vorl::testing
