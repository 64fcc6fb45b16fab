#pragma once
// Internal: what every connection of one server shares. Owned by the Server; connections hold
// a plain pointer, since the Server outlives them (its destructor destroys the io_context,
// and with it every connection still waiting there).
#include <atomic>
#include <cstdint>
#include <memory>

#include "web/connection_registry.h"
#include "web/server.h"

namespace vorl::web::detail {

class Connection;

struct ServerCore {
    ServerCore(ServerSettings& settings, Handler handler)
        : limits(settings.limits),
          handler(std::move(handler)),
          bodyLimit(std::move(settings.bodyLimit)),
          tls(settings.tls),
          clock(settings.clock ? settings.clock : steadyClock()),
          registry(settings.limits.maxConnections) {}

    const Limits limits;
    const Handler handler;
    const BodyLimitHook bodyLimit;
    const TlsContext tls;
    const std::shared_ptr<Clock> clock;
    ConnectionRegistry<Connection> registry;

    std::atomic<uint64_t> accepted{0};
    std::atomic<uint64_t> evicted{0};
    std::atomic<uint64_t> refused{0};
    std::atomic<uint64_t> timedOut{0};
    std::atomic<uint64_t> tlsFailures{0};
};

}  // namespace vorl::web::detail
