#pragma once
// A small asynchronous HTTP(S) client on Asio, for the daemons' outgoing requests (events to a
// subscriber): one request per connection, one deadline for the whole exchange (name lookup,
// connect, TLS handshake, request, answer) and a cap on the answer's size. It never blocks the
// thread that runs the io_context; a dead peer costs one socket until the deadline.
//
//     HttpClient::send(io, {.method = "POST", .url = "https://127.0.0.1:8443/events"},
//                      [](HttpClient::Result result) { ... });
#include <openssl/ssl.h>

#include <boost/asio/io_context.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vorl::web {

// An "http://" or "https://" URL taken apart; false from parse() for anything else (another
// scheme, user information, a port out of range, a blank or control character).
struct HttpUrl {
    bool tls = false;
    std::string host;  // without the brackets of an IPv6 literal
    uint16_t port = 0;
    std::string target;  // path and query, "/" at least

    static bool parse(const std::string& text, HttpUrl& url);
};

struct OutgoingRequest {
    std::string method = "POST";
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;  // besides Host and Content-Length
    std::string body;
    std::chrono::milliseconds timeout{10000};  // the whole exchange
    size_t maxAnswerBytes = 65536;             // head and body together
    // For https: the peer's certificate is checked against `trust` (null: the system's store)
    // and its name against the URL's host, unless `verifyPeer` is false.
    bool verifyPeer = true;
    std::shared_ptr<SSL_CTX> trust;
};

class HttpClient {
public:
    struct Result {
        bool ok = false;  // an answer came, whatever its status
        int status = 0;
        std::string body;
        std::string error;  // why not, when !ok ("timed out", "connection refused", ...)
        bool success() const { return ok && status >= 200 && status < 300; }
    };
    using Callback = std::function<void(Result)>;

    // Starts the exchange; `done` runs once, on a thread of `io`. A URL that does not parse
    // fails at once (still through `done`, posted).
    static void send(boost::asio::io_context& io, OutgoingRequest outgoing, Callback done);
};

}  // namespace vorl::web
