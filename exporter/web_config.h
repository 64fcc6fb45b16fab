#pragma once
// The web configuration file in the format Prometheus's own exporters read: basic-auth users
// with bcrypt hashes. TLS settings are refused with a reason: Debian's CivetWeb 1.15 crashes on
// the first TLS handshake with OpenSSL 3, so TLS is left to a proxy in front.
#include <map>
#include <string>

namespace vorl::exporter {

struct WebConfig {
    std::map<std::string, std::string> users;  // name -> bcrypt hash; empty: no authentication
};

// Reads `path`; false with "PATH:LINE: reason" in `error`.
bool loadWebConfig(const std::string& path, WebConfig& config, std::string& error);

// True when `password` matches the bcrypt `hash` ($2a$, $2b$ or $2y$).
bool checkPassword(const std::string& password, const std::string& hash);

// Checks an "Authorization: Basic ..." header value against `config.users`.
bool checkBasicAuth(const WebConfig& config, const char* header);

}  // namespace vorl::exporter
