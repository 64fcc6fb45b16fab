#include "web/connection.h"

#include <boost/asio/bind_executor.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/http/error.hpp>
#include <exception>

#include "web/exchange.h"
#include "web/log.h"
#include "web/response_head.h"

namespace vorl::web::detail {
namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;

constexpr size_t kHeadReadBytes = 4096;   // per read while a head arrives
constexpr size_t kBodyReadBytes = 16384;  // per read of a body
constexpr int kReadsBeforeYield = 16;     // a fast uploader lets the other connections in

std::string peerText(const asio::ip::tcp::endpoint& endpoint) {
    const auto address = endpoint.address();
    return (address.is_v6() ? "[" + address.to_string() + "]" : address.to_string()) + ":" +
           std::to_string(endpoint.port());
}

Response internalError() {
    Response failure;
    failure.status = 500;
    failure.headers.add("Content-Type", "text/plain; charset=utf-8");
    failure.body = "internal error\n";
    return failure;
}

asio::ip::tcp::endpoint remoteEndpoint(const asio::ip::tcp::socket& socket) {
    boost::system::error_code error;
    const auto endpoint = socket.remote_endpoint(error);
    return error ? asio::ip::tcp::endpoint() : endpoint;
}

}  // namespace

Connection::Connection(ServerCore& core, asio::ip::tcp::socket socket, uint64_t id)
    : core_(core),
      id_(id),
      strand_(
          socket.get_executor().target<Strand>() != nullptr
              ? *socket.get_executor().target<Strand>()
              : asio::make_strand(static_cast<asio::io_context&>(socket.get_executor().context()))),
      peer_(remoteEndpoint(socket)),
      stream_(std::move(socket), core.tls.get()),
      timer_(core.clock->makeTimer(strand_)) {}

Connection::~Connection() {
    if (state_ != State::Closed) stream_.close();
}

void Connection::start() {
    asio::post(strand_, [self = shared_from_this()] { self->enterIdle(true); });
}

void Connection::closeSoon(const char* why) {
    asio::post(strand_, [self = shared_from_this(), why] { self->close(why); });
}

void Connection::post(std::function<void()> work) {
    asio::post(strand_, std::move(work));
}

void Connection::setTier(Tier tier) {
    core_.registry.setTier(id_, tier);
}

void Connection::arm(Milliseconds after, const char* phase) {
    const uint64_t generation = ++deadlineGeneration_;
    writeDeadline_ = std::string_view(phase) == "write";
    timer_->arm(core_.clock->now() + after, [self = shared_from_this(), generation, phase] {
        if (generation != self->deadlineGeneration_ || self->state_ == State::Closed) return;
        ++self->core_.timedOut;
        log::debug("connection closed at its deadline",
                   {{"peer", peerText(self->peer_)}, {"phase", phase}});
        self->close(phase);
    });
}

void Connection::disarm() {
    ++deadlineGeneration_;
    writeDeadline_ = false;
    timer_->disarm();
}

void Connection::waitReadable() {
    if (readWaiting_ || state_ == State::Closed) return;
    readWaiting_ = true;
    stream_.socket().async_wait(
        asio::ip::tcp::socket::wait_read,
        asio::bind_executor(strand_, [self = shared_from_this()](boost::system::error_code error) {
            self->readWaiting_ = false;
            if (self->state_ == State::Closed) return;
            if (error) return self->close("wait failed");
            self->onReadable();
        }));
}

void Connection::waitWritable() {
    if (writeWaiting_ || state_ == State::Closed) return;
    writeWaiting_ = true;
    stream_.socket().async_wait(
        asio::ip::tcp::socket::wait_write,
        asio::bind_executor(strand_, [self = shared_from_this()](boost::system::error_code error) {
            self->writeWaiting_ = false;
            if (self->state_ == State::Closed) return;
            if (error) return self->close("wait failed");
            self->onWritable();
        }));
}

// Waiting for a request. A new connection must begin one (or its TLS handshake) as soon as a
// client that means well would; only a kept-alive one may rest for the idle timeout.
void Connection::enterIdle(bool fresh) {
    if (state_ == State::Closed) return;
    state_ = State::Idle;
    setTier(Tier::Idle);
    parser_.reset();
    request_ = Request();
    if (buffer_.size() == 0) buffer_ = boost::beast::flat_buffer();  // hold nothing while idle
    if (!fresh)
        arm(core_.limits.idleTimeout, "idle");
    else if (!stream_.handshakeDone())
        arm(core_.limits.handshakeTimeout, "before the TLS handshake");
    else
        arm(core_.limits.headerTimeout, "before the first request");
    // A pipelined request, or bytes TLS has decrypted already, need no wait.
    if (buffer_.size() > 0 || stream_.buffered()) return beginRequest();
    waitReadable();
}

void Connection::onReadable() {
    if (writeNeedsRead_) {
        writeNeedsRead_ = false;
        flush();
        if (state_ == State::Closed) return;
    }
    switch (state_) {
        case State::Idle:
            return beginRequest();
        case State::Handshake:
            return continueHandshake();
        case State::Head:
        case State::Body:
            return readRequest();
        case State::Handling:
        case State::Writing:
        case State::Streaming:
            return watchPeer();
        case State::Closed:
            return;
    }
}

void Connection::onWritable() {
    if (state_ == State::Handshake) return continueHandshake();
    if (state_ == State::Head || state_ == State::Body) {
        // TLS wanted to write while reading; a write of our own may wait as well.
        readRequest();
        if (state_ == State::Closed) return;
    }
    flush();
}

// The first byte of something: a TLS handshake, or a request. Its deadline counts from now.
void Connection::beginRequest() {
    if (!stream_.handshakeDone()) {
        state_ = State::Handshake;
        setTier(Tier::Starting);
        arm(core_.limits.handshakeTimeout, "TLS handshake");
        return continueHandshake();
    }
    state_ = State::Head;
    setTier(Tier::Starting);
    arm(core_.limits.headerTimeout, "request head");
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(core_.limits.maxHeaderBytes));
    parser_->body_limit(boost::none);  // chosen from the head, see onHeadDone
    parser_->eager(false);
    if (buffer_.size() > 0 && !parseBuffered()) return;
    readRequest();
}

void Connection::continueHandshake() {
    switch (stream_.handshake()) {
        case Io::Done:
            return enterIdle(true);  // the request's own deadline starts with its first byte
        case Io::WantRead:
            return waitReadable();
        case Io::WantWrite:
            return waitWritable();
        case Io::Closed:
        case Io::Failed:
            ++core_.tlsFailures;
            log::debug("TLS handshake failed",
                       {{"peer", peerText(peer_)}, {"reason", stream_.failure()}});
            return close("TLS handshake failed");
    }
}

void Connection::readRequest() {
    for (int reads = 0; state_ == State::Head || state_ == State::Body; ++reads) {
        if (reads == kReadsBeforeYield) {
            asio::post(strand_, [self = shared_from_this()] { self->readRequest(); });
            return;
        }
        const size_t cap = core_.limits.maxHeaderBytes + kBodyReadBytes;
        const size_t want = state_ == State::Head ? kHeadReadBytes : kBodyReadBytes;
        if (buffer_.size() >= cap) return refuse(431, "request head too large");
        const auto space = buffer_.prepare(std::min(want, cap - buffer_.size()));
        size_t got = 0;
        switch (stream_.readSome(space.data(), space.size(), got)) {
            case Io::Done:
                buffer_.commit(got);
                if (!parseBuffered()) return;
                break;
            case Io::WantRead:
                return waitReadable();
            case Io::WantWrite:
                return waitWritable();
            case Io::Closed:
                return close(state_ == State::Head && buffer_.size() == 0
                                 ? "closed between requests"
                                 : "request cut short");
            case Io::Failed:
                return close("read failed");
        }
    }
}

bool Connection::parseBuffered() {
    while (buffer_.size() > 0) {
        boost::beast::error_code error;
        const size_t used = parser_->put(buffer_.data(), error);
        buffer_.consume(used);
        if (error == http::error::need_more) {
            if (state_ == State::Head && buffer_.size() >= core_.limits.maxHeaderBytes) {
                refuse(431, "request head too large");
                return false;
            }
            return true;
        }
        if (error == http::error::header_limit) {
            refuse(431, "request head too large");
            return false;
        }
        if (error == http::error::body_limit) {
            refuse(413, "request body too large");
            return false;
        }
        if (error) {
            log::debug("bad request", {{"peer", peerText(peer_)}, {"reason", error.message()}});
            refuse(400, "bad request");
            return false;
        }
        if (state_ == State::Head && parser_->is_header_done() && !onHeadDone()) return false;
        if (parser_->is_done()) {
            dispatch();
            return false;
        }
        if (used == 0) return true;
    }
    return true;
}

bool Connection::onHeadDone() {
    const auto& message = parser_->get();
    request_.method = std::string(message.method_string());
    request_.target = std::string(message.target());
    const size_t question = request_.target.find('?');
    request_.path = request_.target.substr(0, question);
    request_.query = question == std::string::npos ? "" : request_.target.substr(question + 1);
    for (const auto& field : message)
        request_.headers.add(std::string(field.name_string()), std::string(field.value()));
    request_.peer = peerText(peer_);
    request_.tls = stream_.tls();
    keepAlive_ = message.keep_alive();
    http10_ = message.version() < 11;
    headRequest_ = message.method() == http::verb::head;

    // A body whose length cannot be told (a coding other than chunked) would be read as the
    // next request.
    if (message.find(http::field::transfer_encoding) != message.end() && !parser_->chunked()) {
        refuse(501, "transfer coding not supported");
        return false;
    }
    const BodyLimit limit = core_.bodyLimit
                                ? core_.bodyLimit(request_, core_.limits)
                                : BodyLimit{core_.limits.maxBodyBytes, core_.limits.bodyTimeout};
    const auto length = parser_->content_length();
    if (length && *length > limit.maxBytes) {
        refuse(413, "request body too large");
        return false;
    }
    parser_->body_limit(limit.maxBytes);
    state_ = State::Body;
    setTier(Tier::Busy);
    if (parser_->is_done()) return true;  // no body
    arm(limit.timeout, "request body");
    if (!http10_) {
        const auto expect = message[http::field::expect];
        if (expect.size() == 12 && Headers::sameName(expect, "100-continue"))
            queue("HTTP/1.1 100 Continue\r\n\r\n");
    }
    return true;
}

void Connection::dispatch() {
    request_.body = std::move(parser_->get().body());
    parser_.reset();
    disarm();
    state_ = State::Handling;
    setTier(Tier::Busy);
    peerClosed_ = false;
    auto exchange = std::make_shared<Exchange>(shared_from_this(), ++serial_);
    exchange_ = exchange;
    watchPeer();
    const std::string path = request_.path;
    try {
        core_.handler(std::move(request_), Responder(exchange));
    } catch (const std::exception& e) {
        log::error("request handler failed", {{"path", path}, {"reason", e.what()}});
        exchange->send(internalError());
    }
    request_ = Request();
}

// While a request is answered the connection still reads: a client that closes or resets is
// noticed at once (a pipelined request waits in the buffer, up to the head cap).
void Connection::watchPeer() {
    while (!peerClosed_ && buffer_.size() < core_.limits.maxHeaderBytes) {
        const auto space =
            buffer_.prepare(std::min(kHeadReadBytes, core_.limits.maxHeaderBytes - buffer_.size()));
        size_t got = 0;
        switch (stream_.readSome(space.data(), space.size(), got)) {
            case Io::Done:
                buffer_.commit(got);
                break;
            case Io::WantRead:
                return waitReadable();
            case Io::WantWrite:
                return;  // resumes with the next write
            case Io::Closed:
                // A client that only shut its sending side still gets its answer; a stream has
                // no one left to read it.
                peerClosed_ = true;
                keepAlive_ = false;
                if (auto exchange = exchange_.lock()) exchange->markGone();
                if (state_ == State::Streaming) close("closed by the client");
                return;
            case Io::Failed:
                return close("reset by the client");
        }
    }
}

void Connection::refuse(int status, const char* why) {
    log::debug("request refused", {{"peer", peerText(peer_)}, {"status", status}, {"reason", why}});
    parser_.reset();
    buffer_.consume(buffer_.size());
    keepAlive_ = false;
    state_ = State::Writing;
    setTier(Tier::Busy);
    queue(errorAnswer(status, why));
}

void Connection::deliver(uint64_t serial, Response response) {
    if (serial != serial_ || state_ != State::Handling) return;
    if (const std::string* connection = response.headers.find("Connection");
        connection != nullptr && Headers::sameName(*connection, "close"))
        keepAlive_ = false;
    const bool noBody = headRequest_ || statusHasNoBody(response.status);
    std::string head;
    if (!serializeHead(response, Framing::Length, response.body.size(), keepAlive_, http10_,
                       head)) {
        log::error("a handler's answer cannot be sent (bad status or header field)",
                   {{"status", response.status}});
        // The framing is still the server's own: the connection may serve on.
        return deliver(serial, internalError());
    }
    state_ = State::Writing;
    if (noBody || response.body.empty()) return queue(std::move(head));
    if (response.body.size() < 16384) {
        head += response.body;
        return queue(std::move(head));
    }
    // The body goes as it is, without a copy.
    queue(std::move(head));
    queue(std::move(response.body));
}

void Connection::streamHead(uint64_t serial, Response head) {
    if (serial != serial_ || state_ != State::Handling) return;
    chunked_ = !http10_;
    if (!chunked_) keepAlive_ = false;
    std::string bytes;
    if (!serializeHead(head, chunked_ ? Framing::Chunked : Framing::UntilClose, 0, keepAlive_,
                       http10_, bytes)) {
        log::error("a handler's stream cannot start (bad status or header field)",
                   {{"status", head.status}});
        return deliver(serial, internalError());
    }
    if (headRequest_ || statusHasNoBody(head.status)) {
        state_ = State::Writing;  // a head alone: the stream's pieces are not sent
        return queue(std::move(bytes));
    }
    state_ = State::Streaming;
    streamEnded_ = false;
    queue(std::move(bytes));
    if (!head.body.empty()) streamPiece(serial, std::move(head.body));
}

void Connection::streamPiece(uint64_t serial, std::string piece) {
    if (serial != serial_ || state_ != State::Streaming || streamEnded_ || piece.empty()) {
        if (auto exchange = exchange_.lock(); exchange && serial == serial_)
            exchange->written(piece.size());
        return;
    }
    const size_t size = piece.size();
    queue(chunked_ ? chunk(piece) : std::move(piece), size);
}

void Connection::streamEnd(uint64_t serial) {
    if (serial != serial_ || state_ != State::Streaming || streamEnded_) return;
    streamEnded_ = true;
    if (chunked_)
        queue(std::string(kLastChunk));
    else
        flush();
}

void Connection::queue(std::string bytes, size_t accounted) {
    if (state_ == State::Closed) return;
    // The whole of what is queued must be out by the write deadline; an interim 100 Continue
    // goes under the body's deadline instead.
    if (!writeDeadline_ && state_ != State::Body) arm(core_.limits.writeTimeout, "write");
    outgoing_.push_back({std::move(bytes), accounted});
    flush();
}

void Connection::flush() {
    while (!outgoing_.empty() && state_ != State::Closed) {
        Outgoing& front = outgoing_.front();
        size_t put = 0;
        switch (
            stream_.writeSome(front.bytes.data() + written_, front.bytes.size() - written_, put)) {
            case Io::Done:
                written_ += put;
                if (written_ == front.bytes.size()) {
                    if (front.accounted > 0)
                        if (auto exchange = exchange_.lock()) exchange->written(front.accounted);
                    outgoing_.pop_front();
                    written_ = 0;
                }
                break;
            case Io::WantWrite:
                return waitWritable();
            case Io::WantRead:
                writeNeedsRead_ = true;
                return waitReadable();
            case Io::Closed:
            case Io::Failed:
                return close("write failed");
        }
    }
    if (state_ == State::Closed) return;
    if (state_ == State::Writing || (state_ == State::Streaming && streamEnded_))
        return finishExchange();
    if (state_ == State::Streaming) disarm();  // everything out: the stream may rest
}

void Connection::finishExchange() {
    disarm();
    if (auto exchange = exchange_.lock()) exchange->finished();
    exchange_.reset();
    if (!keepAlive_ || peerClosed_) return close("answered");
    enterIdle(false);
}

void Connection::close(const char* why) {
    if (state_ == State::Closed) return;
    // The ends of a normal exchange are not news, even at debug level.
    const std::string_view reason(why);
    if (reason != "answered" && reason != "closed between requests")
        log::debug("connection closed", {{"peer", peerText(peer_)}, {"why", why}});
    state_ = State::Closed;
    disarm();
    core_.registry.remove(id_);
    if (auto exchange = exchange_.lock()) exchange->markGone();
    exchange_.reset();
    stream_.close();
    outgoing_.clear();
    parser_.reset();
    buffer_ = boost::beast::flat_buffer();
}

}  // namespace vorl::web::detail
