#include "web/responder.h"

#include "web/connection.h"
#include "web/exchange.h"

namespace vorl::web {

namespace detail {

Exchange::Exchange(std::shared_ptr<Connection> connection, uint64_t serial)
    : connection_(std::move(connection)), serial_(serial) {}

Exchange::~Exchange() {
    // No lock: the last Responder is gone, nobody else touches this exchange.
    if (phase_ == Phase::Waiting) {
        Response failure;
        failure.status = 500;
        failure.headers.add("Content-Type", "text/plain; charset=utf-8");
        failure.body = "internal error: no answer\n";
        connection_->post(
            [connection = connection_, serial = serial_, failure = std::move(failure)]() mutable {
                connection->deliver(serial, std::move(failure));
            });
    } else if (phase_ == Phase::Streaming) {
        connection_->post(
            [connection = connection_, serial = serial_] { connection->streamEnd(serial); });
    }
}

bool Exchange::send(Response response) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (phase_ != Phase::Waiting) return false;
    phase_ = Phase::Answered;
    connection_->post(
        [connection = connection_, serial = serial_, response = std::move(response)]() mutable {
            connection->deliver(serial, std::move(response));
        });
    return true;
}

bool Exchange::startStream(Response head) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (phase_ != Phase::Waiting) return false;
    phase_ = Phase::Streaming;
    queued_ += head.body.size();
    connection_->post(
        [connection = connection_, serial = serial_, head = std::move(head)]() mutable {
            connection->streamHead(serial, std::move(head));
        });
    return true;
}

bool Exchange::write(std::string piece) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (phase_ != Phase::Streaming || gone_ || finished_) return false;
    if (queued_ + piece.size() > Responder::kMaxQueuedStreamBytes) {
        gone_ = true;  // reported by the connection's close, which runs the callbacks
        connection_->closeSoon("client reads too slowly");
        return false;
    }
    queued_ += piece.size();
    connection_->post(
        [connection = connection_, serial = serial_, piece = std::move(piece)]() mutable {
            connection->streamPiece(serial, std::move(piece));
        });
    return true;
}

void Exchange::end() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (phase_ != Phase::Streaming) return;
    phase_ = Phase::Ended;
    connection_->post(
        [connection = connection_, serial = serial_] { connection->streamEnd(serial); });
}

bool Exchange::clientGone() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return gone_;
}

void Exchange::onClientGone(std::function<void()> callback) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!gone_) {
            if (!finished_) goneCallbacks_.push_back(std::move(callback));
            return;
        }
    }
    callback();
}

void Exchange::post(std::function<void()> work) {
    connection_->post(std::move(work));
}

void Exchange::markGone() {
    std::vector<std::function<void()>> callbacks;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (finished_) return;
        gone_ = true;
        callbacks.swap(goneCallbacks_);
    }
    for (auto& callback : callbacks) callback();
}

void Exchange::written(size_t pieceBytes) {
    std::lock_guard<std::mutex> guard(mutex_);
    queued_ -= std::min(queued_, pieceBytes);
}

void Exchange::finished() {
    std::lock_guard<std::mutex> guard(mutex_);
    finished_ = true;
    goneCallbacks_.clear();
}

}  // namespace detail

Responder::Responder(std::shared_ptr<detail::Exchange> exchange) : exchange_(std::move(exchange)) {}

bool Responder::send(Response response) const {
    return exchange_->send(std::move(response));
}
bool Responder::startStream(Response head) const {
    return exchange_->startStream(std::move(head));
}
bool Responder::write(std::string piece) const {
    return exchange_->write(std::move(piece));
}
void Responder::end() const {
    exchange_->end();
}
bool Responder::clientGone() const {
    return exchange_->clientGone();
}
void Responder::onClientGone(std::function<void()> callback) const {
    exchange_->onClientGone(std::move(callback));
}
void Responder::post(std::function<void()> work) const {
    exchange_->post(std::move(work));
}

}  // namespace vorl::web
