#include "web/tls_context.h"

#include <openssl/err.h>

namespace vorl::web {

std::string takeTlsErrors() {
    std::string reasons;
    while (const unsigned long code = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        reasons += (reasons.empty() ? "" : "; ") + std::string(text);
    }
    return reasons;
}

TlsContext makeTlsContext(const WebConfig& web, std::string& error) {
    ERR_clear_error();
    TlsContext context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    if (!context) {
        error = "cannot start TLS: " + takeTlsErrors();
        return nullptr;
    }
    SSL_CTX* ctx = context.get();
    SSL_CTX_set_min_proto_version(ctx, web.tls13Only ? TLS1_3_VERSION : TLS1_2_VERSION);
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE |
                                 SSL_OP_NO_COMPRESSION | SSL_OP_IGNORE_UNEXPECTED_EOF);
    // Partial writes and a moving buffer: the connection writes what the socket takes and
    // retries with the rest from wherever its queue then holds it.
    SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS | SSL_MODE_ENABLE_PARTIAL_WRITE |
                              SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // A handshake flood must not grow the session cache without end.
    SSL_CTX_sess_set_cache_size(ctx, 1024);
    const auto reason = [] {
        const std::string text = takeTlsErrors();
        return text.empty() ? std::string("unknown reason") : text;
    };
    if (SSL_CTX_use_certificate_chain_file(ctx, web.certFile.c_str()) != 1) {
        error = "cannot use the certificate " + web.certFile + ": " + reason();
        return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(ctx, web.keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        error = "cannot use the key " + web.keyFile + ": " + reason();
        return nullptr;
    }
    if (SSL_CTX_check_private_key(ctx) != 1) {
        ERR_clear_error();
        error = "the key " + web.keyFile + " does not belong to the certificate " + web.certFile;
        return nullptr;
    }
    return context;
}

}  // namespace vorl::web
