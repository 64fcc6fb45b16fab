#pragma once
// The exporter's TLS settings on an OpenSSL context: the certificate chain and key of the web
// configuration, TLS 1.2 at least, no renegotiation.
#include <openssl/ssl.h>

#include <string>

#include "exporter/web_config.h"

namespace vorl::exporter {

// False with the reason (the file and OpenSSL's words) in `error`.
bool setUpTls(SSL_CTX& context, const WebConfig& web, std::string& error);

}  // namespace vorl::exporter
