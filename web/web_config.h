#pragma once
// The web configuration file in the format Prometheus's exporters read (exporter-toolkit):
// `tls_server_config` (certificate and key) and `basic_auth_users` (bcrypt hashes). Nothing in
// it fails open: a hash that could never match, or `basic_auth_users` without a user, stops the
// daemon at start with the file, line and reason.
#include <map>
#include <string>
#include <string_view>

namespace vorl::web {

struct WebConfig {
    std::map<std::string, std::string> users;  // name -> bcrypt hash; empty: no authentication
    // tls_server_config: both empty when the daemon speaks plain HTTP. Relative paths in the
    // file are resolved against the file's folder.
    std::string certFile;
    std::string keyFile;
    bool tls13Only = false;  // min_version: TLS13 (the default minimum is TLS 1.2)
    bool tls() const { return !certFile.empty(); }
};

// Reads `path`; false with "PATH:LINE: reason" in `error`.
bool loadWebConfig(const std::string& path, WebConfig& config, std::string& error);
// The same for the YAML `text` of a file at `path` (which names it in messages and resolves
// relative certificate paths).
bool parseWebConfig(const std::string& text, const std::string& path, WebConfig& config,
                    std::string& error);

// True when `hash` is a bcrypt hash crypt(3) can check: "$2a$", "$2b$" or "$2y$", a cost from
// 04 to 31, "$" and 53 characters of bcrypt's alphabet (60 in all). Otherwise the reason.
bool isBcryptHash(std::string_view hash, std::string& reason);

}  // namespace vorl::web
