#pragma once
// An HTTP request and its answer as plain data: what the daemons' handlers see, whatever the
// connection underneath (plain or TLS) and whatever library parses the bytes.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorl::web {

// Header fields in the order they came; names compare without regard to case.
class Headers {
public:
    // The first value of `name`; nullptr when absent.
    const std::string* find(std::string_view name) const {
        for (const auto& [key, value] : fields_)
            if (sameName(key, name)) return &value;
        return nullptr;
    }
    // The first value of `name`, or `fallback` when absent.
    std::string_view get(std::string_view name, std::string_view fallback = {}) const {
        const std::string* value = find(name);
        return value ? std::string_view(*value) : fallback;
    }
    void add(std::string name, std::string value) {
        fields_.emplace_back(std::move(name), std::move(value));
    }
    // Replaces every field of `name` by one.
    void set(std::string name, std::string value) {
        erase(name);
        add(std::move(name), std::move(value));
    }
    void erase(std::string_view name) {
        std::erase_if(fields_, [&](const auto& field) { return sameName(field.first, name); });
    }
    const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }

    static bool sameName(std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i) {
            const char x = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] + 32) : a[i];
            const char y = b[i] >= 'A' && b[i] <= 'Z' ? char(b[i] + 32) : b[i];
            if (x != y) return false;
        }
        return true;
    }

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

struct Request {
    std::string method;  // "GET", "POST", ... as sent
    std::string target;  // path and query as sent ("/probe?target=127.0.0.1")
    std::string path;    // the target before '?', not decoded
    std::string query;   // the target after '?', not decoded; empty when none
    Headers headers;
    std::string body;
    std::string peer;  // the client's address and port, for logs
    bool tls = false;
};

struct Response {
    int status = 200;
    Headers headers;  // Content-Length is set by the server from `body`
    std::string body;
};

}  // namespace vorl::web
