#pragma once
// The web configuration file in the format Prometheus's own exporters read: TLS (certificate
// and key) and basic-auth users with bcrypt hashes.
#include <map>
#include <string>

namespace vorl::exporter {

struct WebConfig {
    std::map<std::string, std::string> users;  // name -> bcrypt hash; empty: no authentication
    // tls_server_config: both empty when the exporter speaks plain HTTP. Relative paths in the
    // file are resolved against the file's folder.
    std::string certFile;
    std::string keyFile;
    bool tls13Only = false;  // min_version: TLS13 (the default minimum is TLS 1.2)
    bool tls() const { return !certFile.empty(); }
};

// Reads `path`; false with "PATH:LINE: reason" in `error`.
bool loadWebConfig(const std::string& path, WebConfig& config, std::string& error);

// True when `password` matches the bcrypt `hash` ($2a$, $2b$ or $2y$).
bool checkPassword(const std::string& password, const std::string& hash);

// Checks an "Authorization: Basic ..." header value against `config.users`.
bool checkBasicAuth(const WebConfig& config, const char* header);

}  // namespace vorl::exporter
