#pragma once
// The URIs the service answers: each pattern ("/redfish/v1/Managers/{}/LogServices") with the
// methods it allows, the privileges each needs and its handler. A resource family registers its
// own routes; the service finds the route of a path and its {} parts.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vorl::redfish {

class Exchange;

using Handler = std::function<void(Exchange&)>;

struct Method {
    std::string name;     // "GET", "PATCH", "POST", "DELETE"
    unsigned privileges;  // all of these are needed; 0: no login at all
    Handler handler;
    size_t maxBodyBytes = 0;  // 0: the web layer's cap; more for a route that takes an upload
};

struct Route {
    std::string pattern;
    std::vector<std::string> segments;
    std::vector<Method> methods;

    const Method* method(std::string_view name) const;
    // "GET, HEAD, PATCH": the Allow header (HEAD wherever GET is).
    std::string allow() const;
};

class Router {
public:
    // `maxBodyBytes` above 0 lets this method's requests carry that much body (an upload); the
    // rest keep the web layer's small cap.
    void add(const std::string& pattern, const std::string& method, unsigned privileges,
             Handler handler, size_t maxBodyBytes = 0);

    struct Found {
        const Route* route = nullptr;  // null: no such URI
        std::vector<std::string> params;
    };
    // `path` without a trailing slash (except the root "/").
    Found find(std::string_view path) const;

private:
    std::vector<Route> routes_;
};

// The path split at its slashes, empty parts dropped.
std::vector<std::string> splitPath(std::string_view path);

}  // namespace vorl::redfish
