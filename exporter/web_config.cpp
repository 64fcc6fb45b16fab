#include "exporter/web_config.h"

#include <crypt.h>
#include <yaml-cpp/yaml.h>

#include <cstring>
#include <memory>

namespace vorl::exporter {
namespace {

std::string base64Decode(const std::string& text) {
    static const std::string kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') break;
        const size_t value = kAlphabet.find(c);
        if (value == std::string::npos) return {};
        bits = bits << 6 | static_cast<uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::string where(const std::string& path, const YAML::Mark& mark) {
    return path + ":" + std::to_string(mark.line < 0 ? 1 : mark.line + 1) + ": ";
}

// A path from the file, relative to the file's folder unless absolute.
std::string besideFile(const std::string& path, const std::string& name) {
    if (name.empty() || name[0] == '/') return name;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

// tls_server_config: cert_file and key_file (both needed), min_version. Settings this exporter
// does not implement are refused rather than silently ignored.
bool readTls(const std::string& path, const YAML::Node& node, WebConfig& config,
             std::string& error) {
    if (!node.IsMap()) {
        error = where(path, node.Mark()) + "tls_server_config must be a mapping";
        return false;
    }
    for (const auto& setting : node) {
        const std::string key = setting.first.as<std::string>();
        const std::string value = setting.second.as<std::string>();
        if (key == "cert_file") {
            config.certFile = besideFile(path, value);
        } else if (key == "key_file") {
            config.keyFile = besideFile(path, value);
        } else if (key == "min_version" && (value == "TLS12" || value == "TLS13")) {
            config.tls13Only = value == "TLS13";
        } else if (key == "min_version") {
            error = where(path, setting.second.Mark()) + "min_version must be TLS12 or TLS13";
            return false;
        } else {
            error = where(path, setting.first.Mark()) + "tls_server_config: '" + key +
                    "' is not supported (cert_file, key_file, min_version)";
            return false;
        }
    }
    if (config.certFile.empty() || config.keyFile.empty()) {
        error = where(path, node.Mark()) + "tls_server_config needs cert_file and key_file";
        return false;
    }
    return true;
}

}  // namespace

bool loadWebConfig(const std::string& path, WebConfig& config, std::string& error) {
    WebConfig fresh;
    try {
        const YAML::Node root = YAML::LoadFile(path);
        if (!root.IsMap()) {
            error = where(path, root.Mark()) + "the web configuration must be a mapping";
            return false;
        }
        for (const auto& entry : root) {
            const std::string key = entry.first.as<std::string>();
            if (key == "tls_server_config") {
                if (!readTls(path, entry.second, fresh, error)) return false;
            } else if (key == "basic_auth_users") {
                for (const auto& user : entry.second) {
                    const std::string hash = user.second.as<std::string>();
                    if (hash.rfind("$2", 0) != 0) {
                        error = where(path, user.second.Mark()) + "the password of " +
                                user.first.as<std::string>() + " is not a bcrypt hash";
                        return false;
                    }
                    fresh.users[user.first.as<std::string>()] = hash;
                }
            } else {
                error = where(path, entry.first.Mark()) + "unknown key '" + key + "'";
                return false;
            }
        }
    } catch (const YAML::Exception& e) {
        error = where(path, e.mark) + e.msg;
        return false;
    }
    config = std::move(fresh);
    return true;
}

bool checkPassword(const std::string& password, const std::string& hash) {
    auto data = std::make_unique<crypt_data>();
    const char* result = crypt_r(password.c_str(), hash.c_str(), data.get());
    // A failed crypt_r returns a text starting with '*', never equal to a hash.
    return result != nullptr && result[0] != '*' && hash.size() == std::strlen(result) &&
           std::memcmp(result, hash.data(), hash.size()) == 0;
}

bool checkBasicAuth(const WebConfig& config, const char* header) {
    if (header == nullptr || std::strncmp(header, "Basic ", 6) != 0) return false;
    const std::string decoded = base64Decode(std::string(header + 6));
    const size_t colon = decoded.find(':');
    if (colon == std::string::npos) return false;
    const auto user = config.users.find(decoded.substr(0, colon));
    return user != config.users.end() && checkPassword(decoded.substr(colon + 1), user->second);
}

}  // namespace vorl::exporter
