#pragma once
// How a handler answers: a Responder for each request, completed once from any thread, now or
// later (a probe answers from a worker thread), or streamed (a head, then pieces until either
// side ends: text/event-stream). The IO threads never wait for a handler.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "web/http_message.h"

namespace vorl::web {

namespace detail {
class Exchange;
}

class Responder {
public:
    explicit Responder(std::shared_ptr<detail::Exchange> exchange);

    // Sends `response` whole; the server sets Content-Length (and leaves the body out for a
    // HEAD request). False when this request was answered already. A client that went away
    // meanwhile gets nothing, without error.
    bool send(Response response) const;
    // Starts a streamed answer: `head`'s status and headers now (its body, if any, as the first
    // piece), then each write() as it comes, until end(). Chunked for HTTP/1.1 clients; an
    // HTTP/1.0 client reads until the connection closes.
    bool startStream(Response head) const;
    // Queues one piece of a started stream. False when the stream has not started or has
    // ended, when the client has gone, or when more than kMaxQueuedStreamBytes would wait
    // unsent: a client that reads that slowly is closed.
    bool write(std::string piece) const;
    // Ends a started stream; the connection then serves the client's next request.
    void end() const;

    // True once the client has gone away (closed, reset, past a deadline) before the answer
    // was complete.
    bool clientGone() const;
    // Runs `callback` once if the client goes away before the answer is complete (at once if
    // it has gone already). It runs on an IO thread and must not block.
    void onClientGone(std::function<void()> callback) const;
    // Runs `work` on the IO thread that serves this request.
    void post(std::function<void()> work) const;

    static constexpr size_t kMaxQueuedStreamBytes = 1 << 20;

private:
    std::shared_ptr<detail::Exchange> exchange_;
};

// Answers `request` through `responder`. Runs on an IO thread: it must not block (no card
// exchange, no file read, no bcrypt); hand such work to a worker and answer from there. When
// every copy of the Responder is gone without an answer, the client gets 500.
using Handler = std::function<void(Request request, Responder responder)>;

}  // namespace vorl::web
