#include "web/web_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <yaml-cpp/yaml.h>

#include <cerrno>
#include <cstring>
#include <set>

namespace vorl::web {
namespace {

std::string where(const std::string& path, const YAML::Mark& mark) {
    return path + ":" + std::to_string(mark.line < 0 ? 1 : mark.line + 1) + ": ";
}

// A path from the file, relative to the file's folder unless absolute.
std::string besideFile(const std::string& path, const std::string& name) {
    if (name.empty() || name[0] == '/') return name;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

// The file whole, opened without blocking so that a FIFO or a device named by mistake is
// refused rather than waited on.
bool readSmallFile(const std::string& path, std::string& text, std::string& error) {
    constexpr off_t kMaxBytes = 1 << 20;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat status {};
    bool ok = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= kMaxBytes;
    if (!ok) error = "cannot read " + path + ": not a regular file of at most 1 MiB";
    text.assign(static_cast<size_t>(ok ? status.st_size : 0), '\0');
    size_t done = 0;
    while (ok && done < text.size()) {
        const ssize_t got = ::read(fd, text.data() + done, text.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            error = "cannot read " + path + ": " + (got < 0 ? std::strerror(errno) : "cut short");
            ok = false;
            break;
        }
        done += static_cast<size_t>(got);
    }
    ::close(fd);
    return ok;
}

// `node`'s text; `key` places the message when the node is empty (YAML gives an empty value
// the position of whatever follows it).
bool scalar(const std::string& path, const YAML::Node& node, const YAML::Node& key,
            const std::string& what, std::string& value, std::string& error) {
    if (!node.IsScalar()) {
        error = where(path, node.IsNull() ? key.Mark() : node.Mark()) + what + " must be a text";
        return false;
    }
    value = node.Scalar();
    return true;
}

// tls_server_config: cert_file and key_file (both needed), min_version. Settings this layer
// does not implement are refused rather than silently ignored.
bool readTls(const std::string& path, const YAML::Node& key, const YAML::Node& node,
             WebConfig& config, std::string& error) {
    if (!node.IsMap()) {
        error = where(path, key.Mark()) + "tls_server_config must be a mapping";
        return false;
    }
    for (const auto& setting : node) {
        const std::string key = setting.first.as<std::string>();
        std::string value;
        if (!scalar(path, setting.second, setting.first, key, value, error)) return false;
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

bool readUsers(const std::string& path, const YAML::Node& key, const YAML::Node& node,
               WebConfig& config, std::string& error) {
    // An empty list would otherwise mean "no authentication": the opposite of what its writer
    // asked for.
    if (!node.IsMap() || node.size() == 0) {
        error = where(path, key.Mark()) +
                "basic_auth_users needs at least one user (leave the key out for no "
                "authentication)";
        return false;
    }
    std::set<std::string> seen;
    for (const auto& user : node) {
        std::string name, hash, reason;
        if (!scalar(path, user.first, user.first, "a user name", name, error)) return false;
        if (name.empty() || name.find(':') != std::string::npos) {
            error = where(path, user.first.Mark()) + "user name '" + name +
                    "' cannot be sent in basic authentication (empty or with ':')";
            return false;
        }
        if (!seen.insert(name).second) {
            error = where(path, user.first.Mark()) + "user " + name + " is given twice";
            return false;
        }
        if (!scalar(path, user.second, user.first, "the password hash of " + name, hash, error))
            return false;
        if (!isBcryptHash(hash, reason)) {
            error = where(path, user.second.Mark()) + "the password hash of " + name + " " + reason;
            return false;
        }
        config.users[name] = hash;
    }
    return true;
}

}  // namespace

bool isBcryptHash(std::string_view hash, std::string& reason) {
    static const std::string_view kAlphabet =
        "./ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    if (hash.size() < 7 || hash[0] != '$' || hash[1] != '2' ||
        (hash[2] != 'a' && hash[2] != 'b' && hash[2] != 'y') || hash[3] != '$') {
        reason = "is not a bcrypt hash ($2a$, $2b$ or $2y$; htpasswd -nbB makes one)";
        return false;
    }
    const bool digits = hash[4] >= '0' && hash[4] <= '9' && hash[5] >= '0' && hash[5] <= '9';
    const int cost = digits ? (hash[4] - '0') * 10 + (hash[5] - '0') : 0;
    if (!digits || hash[6] != '$' || cost < 4 || cost > 31) {
        reason = "has no bcrypt cost from 04 to 31";
        return false;
    }
    if (hash.size() != 60) {
        reason = "is " + std::to_string(hash.size()) + " characters long, not 60";
        return false;
    }
    if (hash.substr(7).find_first_not_of(kAlphabet) != std::string_view::npos) {
        reason = "holds characters bcrypt does not use";
        return false;
    }
    return true;
}

bool parseWebConfig(const std::string& text, const std::string& path, WebConfig& config,
                    std::string& error) {
    WebConfig fresh;
    try {
        const YAML::Node root = YAML::Load(text);
        if (root.IsNull()) {
            config = fresh;  // an empty file: plain HTTP without authentication
            return true;
        }
        if (!root.IsMap()) {
            error = where(path, root.Mark()) + "the web configuration must be a mapping";
            return false;
        }
        std::set<std::string> seen;
        for (const auto& entry : root) {
            const std::string key = entry.first.as<std::string>();
            if (!seen.insert(key).second) {
                error = where(path, entry.first.Mark()) + key + " is given twice";
                return false;
            }
            if (key == "tls_server_config") {
                if (!readTls(path, entry.first, entry.second, fresh, error)) return false;
            } else if (key == "basic_auth_users") {
                if (!readUsers(path, entry.first, entry.second, fresh, error)) return false;
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

bool loadWebConfig(const std::string& path, WebConfig& config, std::string& error) {
    std::string text;
    if (!readSmallFile(path, text, error)) return false;
    return parseWebConfig(text, path, config, error);
}

}  // namespace vorl::web
