#include "redfish/router.h"

namespace vorl::redfish {

std::vector<std::string> splitPath(std::string_view path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = path.find('/', start);
        const size_t end = slash == std::string_view::npos ? path.size() : slash;
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return parts;
}

const Method* Route::method(std::string_view name) const {
    for (const Method& m : methods)
        if (m.name == name || (name == "HEAD" && m.name == "GET")) return &m;
    return nullptr;
}

std::string Route::allow() const {
    std::string text;
    for (const Method& m : methods) {
        text += (text.empty() ? "" : ", ") + m.name;
        if (m.name == "GET") text += ", HEAD";
    }
    return text;
}

void Router::add(const std::string& pattern, const std::string& method, unsigned privileges,
                 Handler handler, size_t maxBodyBytes) {
    for (Route& route : routes_) {
        if (route.pattern == pattern) {
            route.methods.push_back({method, privileges, std::move(handler), maxBodyBytes});
            return;
        }
    }
    routes_.push_back(
        {pattern, splitPath(pattern), {{method, privileges, std::move(handler), maxBodyBytes}}});
}

Router::Found Router::find(std::string_view path) const {
    const std::vector<std::string> parts = splitPath(path);
    for (const Route& route : routes_) {
        if (route.segments.size() != parts.size()) continue;
        Found found;
        bool same = true;
        for (size_t i = 0; i < parts.size() && same; ++i) {
            if (route.segments[i] == "{}")
                found.params.push_back(parts[i]);
            else
                same = route.segments[i] == parts[i];
        }
        if (same) {
            found.route = &route;
            return found;
        }
    }
    return {};
}

}  // namespace vorl::redfish
