#include "exporter/tls_context.h"

#include <openssl/err.h>

namespace vorl::exporter {
namespace {

std::string openSslReason() {
    char text[256] = "unknown reason";
    if (const unsigned long code = ERR_get_error(); code != 0)
        ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return text;
}

}  // namespace

bool setUpTls(SSL_CTX& context, const WebConfig& web, std::string& error) {
    SSL_CTX_set_min_proto_version(&context, web.tls13Only ? TLS1_3_VERSION : TLS1_2_VERSION);
    SSL_CTX_set_options(&context, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    if (SSL_CTX_use_certificate_chain_file(&context, web.certFile.c_str()) != 1) {
        error = "cannot use the certificate " + web.certFile + ": " + openSslReason();
        return false;
    }
    if (SSL_CTX_use_PrivateKey_file(&context, web.keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        error = "cannot use the key " + web.keyFile + ": " + openSslReason();
        return false;
    }
    if (SSL_CTX_check_private_key(&context) != 1) {
        error = "the key " + web.keyFile + " does not belong to the certificate " + web.certFile;
        return false;
    }
    return true;
}

}  // namespace vorl::exporter
