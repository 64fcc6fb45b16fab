#pragma once
// The daemons' TLS settings on an OpenSSL context: the certificate chain and key of the web
// configuration, TLS 1.2 at least, no renegotiation, and buffers released between records so
// that an idle TLS connection costs a few KB.
#include <openssl/ssl.h>

#include <memory>
#include <string>

#include "web/web_config.h"

namespace vorl::web {

using TlsContext = std::shared_ptr<SSL_CTX>;

// A context for `web` (which must name a certificate), or null with the reason (the file and
// OpenSSL's words) in `error`. Reads the certificate and key files now.
TlsContext makeTlsContext(const WebConfig& web, std::string& error);

// The reasons in OpenSSL's error queue of this thread, emptied ("" when none).
std::string takeTlsErrors();

}  // namespace vorl::web
