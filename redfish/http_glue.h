#pragma once
// vorl_redfish on the web layer: listens (TLS always), hands every request to the service on a
// bounded pool of worker threads (a card exchange, a bcrypt check must never run on the web
// layer's IO threads), and caps the requests in flight for one card so that a slow or dead
// card holds few workers.
#include <memory>
#include <string>

#include "web/limits.h"

namespace vorl::redfish {

class RedfishService;

struct HttpOptions {
    std::string listenAddress = ":443";
    std::string webConfigFile;  // tls_server_config; empty: a self-signed certificate
    std::string stateDir;       // where that certificate is kept
    web::Limits limits;
    unsigned ioThreads = 1;
    size_t workers = 16;         // requests handled at once
    size_t queued = 512;         // requests waiting for a worker; more get 503 at once
    size_t perCardInFlight = 4;  // requests for one card, handled or waiting; more get 503
};

class HttpServer {
public:
    virtual ~HttpServer() = default;
    // A short description for the start-up line ("https on 0.0.0.0:443").
    virtual std::string describe() const = 0;
    // Stops taking requests and waits up to `grace` for the ones being handled; false when some
    // still run (each ends by its card deadline).
    virtual bool stop(std::chrono::milliseconds grace) = 0;
};

// Starts serving `service`; null with the reason in `error`. The server must be stopped (or
// destroyed) before the service goes.
std::unique_ptr<HttpServer> startHttpServer(RedfishService& service, const HttpOptions& options,
                                            std::string& error);

}  // namespace vorl::redfish
