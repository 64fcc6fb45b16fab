#pragma once
// The daemons' HTTP(S) server: Boost.Beast's parser over Asio, one or two IO threads for every
// connection, no thread per client. Each connection has one deadline at a time (the TLS
// handshake and the request head from their first byte, the body, an idle keep-alive, each
// write), and the server caps open connections, head and body sizes (see limits.h). Handlers
// answer through a Responder, from any thread.
//
//     web::Server server({.listenAddresses = {"localhost:9577"}}, handler);
//     if (!server.start(error)) ...   // "cannot listen on localhost:9577: address in use"
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "web/clock.h"
#include "web/http_message.h"
#include "web/limits.h"
#include "web/responder.h"
#include "web/tls_context.h"

namespace vorl::web {

// How much body one request may send, and how long it may take.
struct BodyLimit {
    size_t maxBytes;
    Milliseconds timeout;
};
// Chooses the body limit of a request from its head (its `body` is still empty), so that one
// route may take a firmware image while every other keeps a small cap. Runs on an IO thread.
using BodyLimitHook = std::function<BodyLimit(const Request& head, const Limits& limits)>;

struct ServerSettings {
    std::vector<std::string> listenAddresses;  // listen_address.h forms; port 0 picks a free one
    Limits limits;
    TlsContext tls;  // null: plain HTTP
    unsigned ioThreads = 2;
    BodyLimitHook bodyLimit;       // null: limits.maxBodyBytes and bodyTimeout for all
    std::shared_ptr<Clock> clock;  // null: the steady clock (tests pass one moved by hand)
};

struct ServerStats {
    size_t open = 0;           // connections open now
    size_t idle = 0;           // of which waiting for a request
    uint64_t accepted = 0;     // since start
    uint64_t evicted = 0;      // closed to make room for a new one
    uint64_t refused = 0;      // closed at once: every connection busy
    uint64_t timedOut = 0;     // closed by a deadline
    uint64_t tlsFailures = 0;  // handshakes that failed
};

class Server {
public:
    Server(ServerSettings settings, Handler handler);
    // Stops. Every Responder of this server must be gone by then.
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds every address and starts the IO threads. False with the reason in `error`
    // ("cannot listen on ADDRESS: address in use"). Raises the soft limit of open files to the
    // hard one, and lowers maxConnections below it if need be (with a warning in the log).
    bool start(std::string& error);
    // Stops accepting and serving; connections are closed when the server is destroyed.
    void stop();

    ServerStats stats() const;
    // The port bound for the listen address at `index` (after start; useful with port 0).
    uint16_t port(size_t index = 0) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vorl::web
