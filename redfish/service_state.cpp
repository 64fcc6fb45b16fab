#include "redfish/service_state.h"

#include <fcntl.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace vorl::redfish {
namespace {

constexpr const char* kFileName = "service.json";

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string randomUuid() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) return {};
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

bool ServiceState::open(const std::string& directory, std::string& error) {
    directory_ = directory;
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create the state directory " + directory + ": " + std::strerror(errno);
        return false;
    }
    const std::string path = directory + "/" + kFileName;
    std::ifstream in(path, std::ios::binary);
    Content content;
    if (in) {
        std::ostringstream text;
        text << in.rdbuf();
        try {
            const auto json = nlohmann::json::parse(text.str());
            content.uuid = json.at("uuid").get<std::string>();
            if (json.contains("session_timeout"))
                content.sessionTimeoutSeconds = json["session_timeout"].get<int>();
            for (const auto& account : json.value("accounts", nlohmann::json::array())) {
                const auto role = parseRole(account.at("role").get<std::string>());
                if (!role) throw std::runtime_error("unknown role");
                content.accounts.push_back({account.at("name").get<std::string>(),
                                            account.at("password_hash").get<std::string>(), *role});
            }
        } catch (const std::exception& e) {
            error = path + " is damaged (" + e.what() + "); move it away to start afresh";
            return false;
        }
    } else {
        content.uuid = randomUuid();
    }
    if (!write(content)) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    content_ = std::move(content);
    return true;
}

bool ServiceState::write(const Content& content) const {
    nlohmann::json json = {{"uuid", content.uuid}};
    if (content.sessionTimeoutSeconds) json["session_timeout"] = *content.sessionTimeoutSeconds;
    json["accounts"] = nlohmann::json::array();
    for (const auto& account : content.accounts)
        json["accounts"].push_back({{"name", account.name},
                                    {"password_hash", account.passwordHash},
                                    {"role", roleName(account.role)}});
    return writeFile(kFileName, json.dump(2) + "\n");
}

bool ServiceState::writeFile(const std::string& name, const std::string& text) const {
    const std::string path = directory_ + "/" + name;
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool written = writeAll(fd, text) && ::fsync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> ServiceState::readFile(const std::string& name, size_t maxBytes,
                                                  std::string& error) const {
    const std::string path = directory_ + "/" + name;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno != ENOENT) error = path + ": cannot be read";
        return std::nullopt;
    }
    std::string text(maxBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > maxBytes) {
        error = path + ": larger than " + std::to_string(maxBytes) + " bytes";
        return std::nullopt;
    }
    return text;
}

std::string ServiceState::uuid() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return content_.uuid;
}

std::optional<int> ServiceState::sessionTimeoutSeconds() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return content_.sessionTimeoutSeconds;
}

std::vector<StoredAccount> ServiceState::accounts() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return content_.accounts;
}

bool ServiceState::setSessionTimeoutSeconds(int seconds) {
    std::lock_guard<std::mutex> guard(mutex_);
    Content next = content_;
    next.sessionTimeoutSeconds = seconds;
    if (!write(next)) return false;
    content_ = std::move(next);
    return true;
}

bool ServiceState::setAccounts(std::vector<StoredAccount> accounts) {
    std::lock_guard<std::mutex> guard(mutex_);
    Content next = content_;
    next.accounts = std::move(accounts);
    if (!write(next)) return false;
    content_ = std::move(next);
    return true;
}

}  // namespace vorl::redfish
