#include "web/byte_stream.h"

#include <openssl/err.h>

#include <boost/asio/error.hpp>
#include <cerrno>
#include <cstring>

#include "web/tls_context.h"

namespace vorl::web::detail {

ByteStream::ByteStream(boost::asio::ip::tcp::socket socket, SSL_CTX* tls)
    : socket_(std::move(socket)), context_(tls) {}

ByteStream::~ByteStream() {
    if (ssl_ != nullptr) SSL_free(ssl_);
}

Io ByteStream::socketFailure(const boost::system::error_code& error, const char* step) {
    if (error == boost::asio::error::would_block || error == boost::asio::error::try_again)
        return std::string_view(step) == "write" ? Io::WantWrite : Io::WantRead;
    if (error == boost::asio::error::interrupted)
        return std::string_view(step) == "write" ? Io::WantWrite : Io::WantRead;
    if (error == boost::asio::error::eof) return Io::Closed;
    failure_ = std::string(step) + ": " + error.message();
    return Io::Failed;
}

Io ByteStream::tlsResult(int result, const char* step) {
    switch (SSL_get_error(ssl_, result)) {
        case SSL_ERROR_WANT_READ:
            return Io::WantRead;
        case SSL_ERROR_WANT_WRITE:
            return Io::WantWrite;
        case SSL_ERROR_ZERO_RETURN:
            return Io::Closed;
        case SSL_ERROR_SYSCALL:
            failure_ = std::string(step) + ": " +
                       (errno == 0 ? "closed by the client" : std::strerror(errno));
            ERR_clear_error();
            return errno == 0 ? Io::Closed : Io::Failed;
        default: {
            const std::string reasons = takeTlsErrors();
            failure_ = std::string(step) + ": " + (reasons.empty() ? "TLS error" : reasons);
            return Io::Failed;
        }
    }
}

Io ByteStream::handshake() {
    if (handshakeDone()) return Io::Done;
    if (ssl_ == nullptr) {
        ssl_ = SSL_new(context_);
        if (ssl_ == nullptr || SSL_set_fd(ssl_, socket_.native_handle()) != 1) {
            failure_ = "TLS handshake: " + takeTlsErrors();
            return Io::Failed;
        }
        SSL_set_accept_state(ssl_);
    }
    ERR_clear_error();
    errno = 0;
    const int result = SSL_do_handshake(ssl_);
    if (result == 1) {
        handshakeDone_ = true;
        return Io::Done;
    }
    const Io io = tlsResult(result, "TLS handshake");
    // A client that leaves during the handshake has failed it, whatever the reason.
    if (io == Io::Closed && failure_.empty()) failure_ = "TLS handshake: closed by the client";
    return io == Io::Closed ? Io::Failed : io;
}

Io ByteStream::readSome(void* data, size_t size, size_t& got) {
    got = 0;
    if (ssl_ == nullptr) {
        boost::system::error_code error;
        got = socket_.read_some(boost::asio::buffer(data, size), error);
        return error ? socketFailure(error, "read") : Io::Done;
    }
    ERR_clear_error();
    errno = 0;
    const int result = SSL_read_ex(ssl_, data, size, &got);
    return result == 1 ? Io::Done : tlsResult(result, "TLS read");
}

Io ByteStream::writeSome(const void* data, size_t size, size_t& put) {
    put = 0;
    if (ssl_ == nullptr) {
        boost::system::error_code error;
        put = socket_.write_some(boost::asio::buffer(data, size), error);
        return error ? socketFailure(error, "write") : Io::Done;
    }
    ERR_clear_error();
    errno = 0;
    const int result = SSL_write_ex(ssl_, data, size, &put);
    return result == 1 ? Io::Done : tlsResult(result, "TLS write");
}

bool ByteStream::buffered() const {
    return ssl_ != nullptr && SSL_has_pending(ssl_) == 1;
}

void ByteStream::close() {
    if (ssl_ != nullptr && handshakeDone_) {
        ERR_clear_error();
        SSL_shutdown(ssl_);  // one try: a peer that does not read gets no second chance
        ERR_clear_error();
    }
    boost::system::error_code ignored;
    socket_.shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
}

}  // namespace vorl::web::detail
