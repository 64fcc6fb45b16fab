#pragma once
// What one client may cost the web layer: deadlines for each phase of a request and caps on
// connections and sizes. Set with the --web.* options below; the defaults suit a daemon that
// faces a network it does not control.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace vorl::web {

using Milliseconds = std::chrono::milliseconds;

struct Limits {
    // The whole request head (request line and header fields), from its first byte; and the
    // wait for the first request of a new connection.
    Milliseconds headerTimeout{5000};
    // The TLS handshake, from its first byte; and the wait for that first byte.
    Milliseconds handshakeTimeout{5000};
    // The request body, from the end of its head (a route may choose its own, see BodyLimit).
    Milliseconds bodyTimeout{30000};
    // A kept-alive connection between requests.
    Milliseconds idleTimeout{60000};
    // Each write of an answer: a client that stops reading is closed after this.
    Milliseconds writeTimeout{10000};
    // Open connections. When full, the connection idle the longest is closed for a new one.
    size_t maxConnections = 4096;
    size_t maxHeaderBytes = 8192;
    size_t maxBodyBytes = 65536;  // a route may allow more, see BodyLimit
};

// "5s", "500ms", "1m30s", "2h": Prometheus's duration words; false for anything else.
bool parseDuration(std::string_view text, Milliseconds& duration);

// --web.header-timeout=5s and the rest of the options above, for the daemons' command lines.
// NotMine for another option; Bad with the reason in `error`.
enum class LimitOption { NotMine, Applied, Bad };
LimitOption applyLimitOption(std::string_view name, std::string_view value, Limits& limits,
                             std::string& error);
extern const char* const kLimitOptionsUsage;

}  // namespace vorl::web
