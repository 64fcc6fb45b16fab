#pragma once
// One connection's bytes, plain or TLS, in non-blocking steps: each call does what the socket
// allows now and says what it waits for. The connection waits for readiness itself (with no
// buffer held), which is what keeps an idle connection at a few hundred bytes. TLS runs
// OpenSSL directly on the socket: no Asio SSL stream and its 34 KB of buffers per connection.
#include <openssl/ssl.h>

#include <boost/asio/ip/tcp.hpp>
#include <cstddef>
#include <string>

namespace vorl::web::detail {

enum class Io {
    Done,       // some bytes moved (or the handshake ended)
    WantRead,   // call again once the socket is readable
    WantWrite,  // call again once the socket is writable
    Closed,     // the peer closed (a TCP FIN, a TLS close_notify)
    Failed,     // a reset, a TLS error: `failure()` says which
};

class ByteStream {
public:
    // `tls` null: plain TCP. The socket must be open and non-blocking.
    ByteStream(boost::asio::ip::tcp::socket socket, SSL_CTX* tls);
    ~ByteStream();
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;

    boost::asio::ip::tcp::socket& socket() { return socket_; }
    bool tls() const { return context_ != nullptr; }
    bool handshakeDone() const { return context_ == nullptr || handshakeDone_; }

    // The TLS handshake, a step at a time (Done at once for plain TCP).
    Io handshake();
    Io readSome(void* data, size_t size, size_t& got);
    Io writeSome(const void* data, size_t size, size_t& put);
    // Bytes TLS has decrypted already: readable without the socket becoming readable.
    bool buffered() const;
    // Sends a TLS close_notify if the socket takes it now, then closes the socket.
    void close();
    const std::string& failure() const { return failure_; }

private:
    Io tlsResult(int result, const char* step);
    Io socketFailure(const boost::system::error_code& error, const char* step);

    boost::asio::ip::tcp::socket socket_;
    SSL_CTX* context_;
    SSL* ssl_ = nullptr;  // made at the first handshake step: none before the first byte
    bool handshakeDone_ = false;
    std::string failure_;
};

}  // namespace vorl::web::detail
