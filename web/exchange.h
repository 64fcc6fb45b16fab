#pragma once
// Internal: one request's answer as shared by its Responder copies (any thread) and its
// connection (its IO thread). The exchange keeps the connection alive until the answer is
// given; the connection only watches the exchange, to tell it when the client has gone.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "web/http_message.h"

namespace vorl::web::detail {

class Connection;

class Exchange {
public:
    Exchange(std::shared_ptr<Connection> connection, uint64_t serial);
    ~Exchange();  // unanswered: 500; a stream left open: ended
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    bool send(Response response);
    bool startStream(Response head);
    bool write(std::string piece);
    void end();
    bool clientGone() const;
    void onClientGone(std::function<void()> callback);
    void post(std::function<void()> work);

    // From the connection, on its IO thread.
    void markGone();
    void written(size_t pieceBytes);  // a streamed piece has reached the socket
    void finished();                  // the answer is out: later departures are not reported

private:
    enum class Phase { Waiting, Answered, Streaming, Ended };

    mutable std::mutex mutex_;
    Phase phase_ = Phase::Waiting;
    bool gone_ = false;
    bool finished_ = false;
    size_t queued_ = 0;
    std::vector<std::function<void()>> goneCallbacks_;
    const std::shared_ptr<Connection> connection_;
    const uint64_t serial_;
};

}  // namespace vorl::web::detail
