#include "web/router.h"

namespace vorl::web {

Response textResponse(int status, std::string body) {
    Response response;
    response.status = status;
    response.headers.add("Content-Type", "text/plain; charset=utf-8");
    response.headers.add("Cache-Control", "no-store");
    response.body = std::move(body);
    return response;
}

Router& Router::add(std::string method, std::string path, Handler handler) {
    routes_[std::move(path)].emplace_back(std::move(method), std::move(handler));
    return *this;
}

Handler Router::handler() const {
    return [this](Request request, Responder responder) {
        route(std::move(request), std::move(responder));
    };
}

void Router::route(Request request, Responder responder) const {
    const auto found = routes_.find(request.path);
    if (found == routes_.end()) {
        responder.send(textResponse(404, "not found\n"));
        return;
    }
    const std::string& method = request.method == "HEAD" ? std::string("GET") : request.method;
    std::string allow;
    for (const auto& [routeMethod, handler] : found->second) {
        if (routeMethod == method) {
            handler(std::move(request), std::move(responder));
            return;
        }
        allow += (allow.empty() ? "" : ", ") + routeMethod;
    }
    Response refusal = textResponse(405, "method not allowed: use " + allow + "\n");
    refusal.headers.add("Allow", allow);
    responder.send(std::move(refusal));
}

}  // namespace vorl::web
