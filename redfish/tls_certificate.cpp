#include "redfish/tls_certificate.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace vorl::redfish {
namespace {

constexpr long kValidDays = 3650;

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;

std::string openSslReason() {
    char text[256] = "unknown reason";
    if (const unsigned long code = ERR_get_error(); code != 0)
        ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return text;
}

bool exists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (extension == nullptr) return false;
    const bool added = X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

CertPtr makeCertificate(EVP_PKEY* key, const std::string& host) {
    CertPtr cert(X509_new());
    if (!cert) return nullptr;
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1) return nullptr;
    serial[0] &= 0x7F;  // a positive number
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool serialSet = number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get()));
    BN_free(number);
    X509_NAME* name = X509_get_subject_name(cert.get());
    const bool ok =
        serialSet && X509_set_version(cert.get(), 2) == 1 &&
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) != nullptr &&
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), kValidDays * 86400) != nullptr &&
        X509_set_pubkey(cert.get(), key) == 1 &&
        X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("vorl_redfish"), -1, -1,
                                   0) == 1 &&
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(host.c_str()), -1, -1,
                                   0) == 1 &&
        X509_set_issuer_name(cert.get(), name) == 1 &&
        addExtension(cert.get(), NID_subject_alt_name,
                     ("DNS:" + host + ",DNS:localhost,IP:127.0.0.1").c_str()) &&
        addExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") &&
        addExtension(cert.get(), NID_ext_key_usage, "serverAuth") &&
        X509_sign(cert.get(), key, EVP_sha256()) > 0;
    return ok ? std::move(cert) : nullptr;
}

// Writes through a new file renamed into place; `mode` applies from the start, so the key is
// never readable by others, not even for a moment.
template <class Write>
bool writeFile(const std::string& path, mode_t mode, Write write) {
    const std::string temporary = path + ".tmp";
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return false;
    FILE* file = ::fdopen(fd, "w");
    if (file == nullptr) {
        ::close(fd);
        return false;
    }
    const bool written = write(file) && std::fflush(file) == 0 && ::fsync(fd) == 0;
    std::fclose(file);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool ensureSelfSignedCertificate(const std::string& stateDir, std::string& certFile,
                                 std::string& keyFile, std::string& error) {
    certFile = stateDir + "/self-signed.crt";
    keyFile = stateDir + "/self-signed.key";
    if (exists(certFile) && exists(keyFile)) return true;
    KeyPtr key(EVP_EC_gen("P-256"));
    if (!key) {
        error = "cannot make a TLS key: " + openSslReason();
        return false;
    }
    char host[256] = "localhost";
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0')
        std::snprintf(host, sizeof host, "localhost");
    const CertPtr cert = makeCertificate(key.get(), host);
    if (!cert) {
        error = "cannot make a TLS certificate: " + openSslReason();
        return false;
    }
    const bool keyWritten = writeFile(keyFile, 0600, [&](FILE* file) {
        return PEM_write_PrivateKey(file, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    });
    const bool certWritten = keyWritten && writeFile(certFile, 0644, [&](FILE* file) {
                                 return PEM_write_X509(file, cert.get()) == 1;
                             });
    if (!certWritten) {
        error = "cannot write the TLS certificate and key under " + stateDir;
        return false;
    }
    std::fprintf(stderr, "vorl_redfish: made a self-signed TLS certificate %s\n", certFile.c_str());
    return true;
}

}  // namespace vorl::redfish
