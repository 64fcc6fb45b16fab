#include "web/http_client.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <optional>

namespace vorl::web {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

bool cleanText(const std::string& text) {
    for (unsigned char c : text)
        if (c <= ' ' || c == 0x7F) return false;
    return true;
}

// The system's trusted certificates, for https peers when the caller names none.
std::shared_ptr<SSL_CTX> systemTrust() {
    static const std::shared_ptr<SSL_CTX> context = [] {
        std::shared_ptr<SSL_CTX> made(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
        if (made) {
            SSL_CTX_set_min_proto_version(made.get(), TLS1_2_VERSION);
            SSL_CTX_set_default_verify_paths(made.get());
        }
        return made;
    }();
    return context;
}

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(asio::io_context& io, OutgoingRequest outgoing, HttpUrl url, HttpClient::Callback done)
        : outgoing_(std::move(outgoing)),
          url_(std::move(url)),
          done_(std::move(done)),
          resolver_(io),
          timer_(io),
          plain_(io) {}

    void start() {
        request_.method_string(outgoing_.method);
        request_.target(url_.target);
        request_.version(11);
        const bool bracket = url_.host.find(':') != std::string::npos;
        const std::string host = bracket ? "[" + url_.host + "]" : url_.host;
        request_.set(http::field::host, host + ":" + std::to_string(url_.port));
        request_.set(http::field::connection, "close");
        for (const auto& [name, value] : outgoing_.headers) request_.set(name, value);
        request_.body() = outgoing_.body;
        request_.prepare_payload();
        parser_.body_limit(outgoing_.maxAnswerBytes);
        parser_.header_limit(
            static_cast<uint32_t>(std::min<size_t>(outgoing_.maxAnswerBytes, 16384)));

        timer_.expires_after(outgoing_.timeout);
        timer_.async_wait([self = shared_from_this()](beast::error_code error) {
            if (!error) self->expire();
        });
        resolver_.async_resolve(url_.host, std::to_string(url_.port),
                                [self = shared_from_this()](beast::error_code error,
                                                            tcp::resolver::results_type found) {
                                    if (error) return self->fail(error);
                                    self->connect(found);
                                });
    }

private:
    beast::tcp_stream& lowest() { return tls_ ? beast::get_lowest_layer(*tls_) : plain_; }

    void connect(const tcp::resolver::results_type& found) {
        if (url_.tls && !makeTls()) return;
        lowest().async_connect(
            found, [self = shared_from_this()](beast::error_code error, const tcp::endpoint&) {
                if (error) return self->fail(error);
                if (!self->tls_) return self->exchange(self->plain_);
                self->tls_->async_handshake(asio::ssl::stream_base::client,
                                            [self](beast::error_code error) {
                                                if (error) return self->fail(error);
                                                self->exchange(*self->tls_);
                                            });
            });
    }

    bool makeTls() {
        std::shared_ptr<SSL_CTX> trust = outgoing_.trust ? outgoing_.trust : systemTrust();
        if (!trust) {
            finish({false, 0, {}, "no TLS context"});
            return false;
        }
        SSL_CTX_up_ref(trust.get());  // asio's context takes one reference over
        context_.emplace(trust.get());
        tls_.emplace(std::move(plain_), *context_);
        SSL* ssl = tls_->native_handle();
        beast::error_code ignored;
        asio::ip::make_address(url_.host, ignored);
        if (ignored) SSL_set_tlsext_host_name(ssl, url_.host.c_str());  // SNI for names only
        if (outgoing_.verifyPeer) {
            SSL_set_verify(ssl, SSL_VERIFY_PEER, nullptr);
            SSL_set1_host(ssl, url_.host.c_str());
        } else {
            SSL_set_verify(ssl, SSL_VERIFY_NONE, nullptr);
        }
        return true;
    }

    template <class Stream>
    void exchange(Stream& stream) {
        http::async_write(stream, request_,
                          [self = shared_from_this(), &stream](beast::error_code error, size_t) {
                              if (error) return self->fail(error);
                              http::async_read(stream, self->buffer_, self->parser_,
                                               [self](beast::error_code error, size_t) {
                                                   if (error) return self->fail(error);
                                                   self->answered();
                                               });
                          });
    }

    void answered() {
        HttpClient::Result result;
        result.ok = true;
        result.status = static_cast<int>(parser_.get().result_int());
        result.body = std::move(parser_.get().body());
        finish(std::move(result));
    }

    void expire() {
        timedOut_ = true;
        resolver_.cancel();
        beast::error_code ignored;
        lowest().socket().close(ignored);
    }

    void fail(const beast::error_code& error) {
        finish({false, 0, {}, timedOut_ ? "timed out" : error.message()});
    }

    void finish(HttpClient::Result result) {
        if (finished_) return;
        finished_ = true;
        timer_.cancel();
        beast::error_code ignored;
        lowest().socket().close(ignored);
        done_(std::move(result));
    }

    OutgoingRequest outgoing_;
    HttpUrl url_;
    HttpClient::Callback done_;
    tcp::resolver resolver_;
    asio::steady_timer timer_;
    beast::tcp_stream plain_;
    std::optional<asio::ssl::context> context_;
    std::optional<beast::ssl_stream<beast::tcp_stream>> tls_;
    http::request<http::string_body> request_;
    http::response_parser<http::string_body> parser_;
    beast::flat_buffer buffer_;
    bool timedOut_ = false;
    bool finished_ = false;
};

}  // namespace

bool HttpUrl::parse(const std::string& text, HttpUrl& url) {
    if (text.size() > 2048 || !cleanText(text)) return false;
    std::string rest;
    if (text.rfind("http://", 0) == 0) {
        url.tls = false;
        rest = text.substr(7);
    } else if (text.rfind("https://", 0) == 0) {
        url.tls = true;
        rest = text.substr(8);
    } else {
        return false;
    }
    const size_t slash = rest.find_first_of("/?");
    std::string authority = rest.substr(0, slash);
    url.target = slash == std::string::npos ? "/" : rest.substr(slash);
    if (url.target[0] == '?') url.target = "/" + url.target;
    if (authority.find('@') != std::string::npos || authority.empty()) return false;
    std::string port;
    if (authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos) return false;
        url.host = authority.substr(1, close - 1);
        const std::string after = authority.substr(close + 1);
        if (!after.empty() && after[0] != ':') return false;
        if (!after.empty()) port = after.substr(1);
    } else {
        const size_t colon = authority.find(':');
        url.host = authority.substr(0, colon);
        if (colon != std::string::npos) port = authority.substr(colon + 1);
    }
    if (url.host.empty()) return false;
    if (port.empty()) {
        url.port = url.tls ? 443 : 80;
        return true;
    }
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
    const unsigned long number = std::stoul(port);
    if (number == 0 || number > 65535) return false;
    url.port = static_cast<uint16_t>(number);
    return true;
}

void HttpClient::send(asio::io_context& io, OutgoingRequest outgoing, Callback done) {
    HttpUrl url;
    if (!HttpUrl::parse(outgoing.url, url)) {
        asio::post(io, [done = std::move(done)] { done({false, 0, {}, "not an http(s) URL"}); });
        return;
    }
    std::make_shared<Session>(io, std::move(outgoing), std::move(url), std::move(done))->start();
}

}  // namespace vorl::web
