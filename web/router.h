#pragma once
// Requests to handlers by method and exact path. An unknown path gets 404, a known path with
// another method 405 with the methods it takes in Allow; HEAD is served by the GET handler
// (the server leaves the body out).
#include <map>
#include <string>
#include <vector>

#include "web/responder.h"

namespace vorl::web {

class Router {
public:
    Router& add(std::string method, std::string path, Handler handler);
    // Serves every request; the router must outlive the server it is given to.
    Handler handler() const;
    void route(Request request, Responder responder) const;

private:
    std::map<std::string, std::vector<std::pair<std::string, Handler>>>
        routes_;  // path -> by method
};

// A plain-text answer ("text/plain; charset=utf-8"), with Cache-Control: no-store.
Response textResponse(int status, std::string body);

}  // namespace vorl::web
