#pragma once
// Internal: one client connection, a state machine run on its own strand. At any time it has
// at most one deadline armed (idle, TLS handshake, request head, body or write), one wait for
// readability and one for writability, and holds buffers only while a request is on its way.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>

#include "web/byte_stream.h"
#include "web/server_core.h"

namespace vorl::web::detail {

class Exchange;

class Connection : public std::enable_shared_from_this<Connection> {
public:
    using Strand = boost::asio::strand<boost::asio::io_context::executor_type>;

    Connection(ServerCore& core, boost::asio::ip::tcp::socket socket, uint64_t id);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    uint64_t id() const { return id_; }

    // From any thread: each runs on the connection's strand.
    void start();
    void closeSoon(const char* why);
    // Closes here and now: only when no IO thread runs (the server has stopped).
    void closeStopped() { close("server stopped"); }
    void post(std::function<void()> work);
    // From the exchange `serial` (ignored when it is not the current one).
    void deliver(uint64_t serial, Response response);
    void streamHead(uint64_t serial, Response head);
    void streamPiece(uint64_t serial, std::string piece);
    void streamEnd(uint64_t serial);

private:
    enum class State { Idle, Handshake, Head, Body, Handling, Writing, Streaming, Closed };
    struct Outgoing {
        std::string bytes;
        size_t accounted = 0;  // a streamed piece's size, reported to the exchange once written
    };

    void enterIdle(bool fresh);
    void onReadable();
    void onWritable();
    void beginRequest();
    void continueHandshake();
    void readRequest();
    // Feeds buffered bytes to the parser; false once the request has moved on (dispatched,
    // refused, closed) and reading must stop.
    bool parseBuffered();
    bool onHeadDone();
    void dispatch();
    void watchPeer();
    void refuse(int status, const char* why);

    void queue(std::string bytes, size_t accounted = 0);
    void flush();
    void finishExchange();
    void close(const char* why);

    void waitReadable();
    void waitWritable();
    void arm(Milliseconds after, const char* phase);
    void disarm();
    void setTier(Tier tier);

    ServerCore& core_;
    const uint64_t id_;
    Strand strand_;
    const boost::asio::ip::tcp::endpoint peer_;  // for requests and logs, asked once
    ByteStream stream_;
    std::unique_ptr<DeadlineTimer> timer_;
    State state_ = State::Idle;
    uint64_t deadlineGeneration_ = 0;
    bool writeDeadline_ = false;  // the armed deadline is the write deadline
    bool readWaiting_ = false;
    bool writeWaiting_ = false;
    bool writeNeedsRead_ = false;  // TLS: a write waits for bytes from the peer

    boost::beast::flat_buffer buffer_;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
    Request request_;

    // The answer under way.
    std::weak_ptr<Exchange> exchange_;
    uint64_t serial_ = 0;
    bool keepAlive_ = false;
    bool headRequest_ = false;
    bool http10_ = false;
    bool peerClosed_ = false;  // the client sent its FIN while being answered
    bool chunked_ = false;
    bool streamEnded_ = false;
    std::list<Outgoing> outgoing_;  // unlike a deque, holds no memory while empty
    size_t written_ = 0;            // of outgoing_.front()
};

}  // namespace vorl::web::detail
