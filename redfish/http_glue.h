#pragma once
// What vorl_redfish's main needs of an HTTPS server: listen, hand every request to the
// service, stop. Until the event-driven web layer is merged, http_glue_httplib.cpp implements it
// (temporarily, on cpp-httplib).
#include <memory>
#include <string>

namespace vorl::redfish {

class RedfishService;

struct HttpOptions {
    std::string listenAddress = ":443";
    std::string webConfigFile;   // tls_server_config; empty: a self-signed certificate
    std::string stateDir;        // where that certificate is kept
    size_t threads = 32;         // connections served at once (kept-alive ones included)
    size_t perCardInFlight = 4;  // requests for one card at once; more get 503 at once
};

class HttpServer {
public:
    virtual ~HttpServer() = default;
    // A short description for the start-up line ("https on 0.0.0.0:443").
    virtual std::string describe() const = 0;
};

// Starts serving `service` on its own threads; null with the reason in `error`. Destroying the
// server stops it.
std::unique_ptr<HttpServer> startHttpServer(RedfishService& service, const HttpOptions& options,
                                            std::string& error);

}  // namespace vorl::redfish
