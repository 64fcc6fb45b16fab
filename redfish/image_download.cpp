#include "redfish/image_download.h"

#include <fcntl.h>
#include <unistd.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>

#include "redfish/firmware_update.h"

namespace vorl::redfish {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

struct Url {
    bool tls = false;
    std::string host, port, target;
};

// "http://host[:port]/path" or "https://..."; nullopt for anything else (user information,
// a scheme of another kind, no host).
std::optional<Url> parseUrl(const std::string& uri) {
    Url url;
    std::string rest;
    if (uri.rfind("http://", 0) == 0) {
        rest = uri.substr(7);
    } else if (uri.rfind("https://", 0) == 0) {
        rest = uri.substr(8);
        url.tls = true;
    } else {
        return std::nullopt;
    }
    const size_t slash = rest.find('/');
    const std::string authority = rest.substr(0, slash);
    url.target = slash == std::string::npos ? "/" : rest.substr(slash);
    if (authority.empty() || authority.find('@') != std::string::npos) return std::nullopt;
    const size_t colon = authority.rfind(':');
    url.host = authority.substr(0, colon);
    url.port = colon == std::string::npos ? (url.tls ? "443" : "80") : authority.substr(colon + 1);
    if (url.host.empty() || url.port.empty() || url.port.size() > 5 ||
        url.port.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    for (char c : url.target)
        if (static_cast<unsigned char>(c) <= ' ') return std::nullopt;
    return url;
}

std::string base64(std::string_view text) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < text.size(); i += 3) {
        uint32_t bits = static_cast<uint8_t>(text[i]) << 16;
        if (i + 1 < text.size()) bits |= static_cast<uint8_t>(text[i + 1]) << 8;
        if (i + 2 < text.size()) bits |= static_cast<uint8_t>(text[i + 2]);
        out += kAlphabet[bits >> 18 & 63];
        out += kAlphabet[bits >> 12 & 63];
        out += i + 1 < text.size() ? kAlphabet[bits >> 6 & 63] : '=';
        out += i + 2 < text.size() ? kAlphabet[bits & 63] : '=';
    }
    return out;
}

// The transfer as one chain of asynchronous steps that the deadline cuts short.
class Download {
public:
    Download(const Url& url, const DownloadLimits& limits)
        : url_(url), resolver_(io_), tcp_(io_), tls_(io_, ssl_) {
        parser_.body_limit(limits.maxBytes);
        parser_.header_limit(16384);
        request_ = {http::verb::get, url.target, 11};
        request_.set(http::field::host, url.host);
        request_.set(http::field::user_agent, "vorl_redfish");
        request_.set(http::field::accept, "*/*");
        if (!limits.user.empty())
            request_.set(http::field::authorization,
                         "Basic " + base64(limits.user + ":" + limits.password));
        timeout_ = limits.timeout;
    }

    std::string run() {
        if (url_.tls) {
            ssl_.set_default_verify_paths();
            tls_.set_verify_mode(asio::ssl::verify_peer);
            tls_.set_verify_callback(asio::ssl::host_name_verification(url_.host));
            SSL_set_tlsext_host_name(tls_.native_handle(), url_.host.c_str());
        }
        resolver_.async_resolve(url_.host, url_.port,
                                [this](beast::error_code ec, tcp::resolver::results_type found) {
                                    if (fail(ec, "the host could not be resolved")) return;
                                    connect(found);
                                });
        io_.run_for(timeout_);
        if (!done_ && fault_.empty())
            fault_ =
                "the transfer did not end within " + std::to_string(timeout_.count() / 1000) + " s";
        return fault_;
    }

    std::string body() { return std::move(parser_.get().body()); }

private:
    bool fail(beast::error_code ec, const char* what) {
        if (!ec) return false;
        fault_ = std::string(what) + " (" + ec.message() + ")";
        io_.stop();
        return true;
    }

    void connect(const tcp::resolver::results_type& found) {
        asio::async_connect(tcp_, found, [this](beast::error_code ec, const tcp::endpoint&) {
            if (fail(ec, "no connection could be made")) return;
            if (!url_.tls) return send(tcp_);
            tls_.next_layer() = std::move(tcp_);
            tls_.async_handshake(asio::ssl::stream_base::client, [this](beast::error_code ec) {
                if (fail(ec, "the TLS handshake failed")) return;
                send(tls_);
            });
        });
    }

    template <class Stream>
    void send(Stream& stream) {
        http::async_write(stream, request_, [this, &stream](beast::error_code ec, size_t) {
            if (fail(ec, "the request could not be sent")) return;
            http::async_read(stream, buffer_, parser_, [this](beast::error_code ec, size_t) {
                if (ec == http::error::body_limit) {
                    fault_ = "the image is larger than a flash";
                    io_.stop();
                    return;
                }
                if (fail(ec, "the answer could not be read")) return;
                const unsigned status = parser_.get().result_int();
                if (status != 200) {
                    fault_ = "the server answered " + std::to_string(status);
                } else {
                    done_ = true;
                }
                io_.stop();
            });
        });
    }

    Url url_;
    asio::io_context io_;
    asio::ssl::context ssl_{asio::ssl::context::tls_client};
    tcp::resolver resolver_;
    tcp::socket tcp_;
    asio::ssl::stream<tcp::socket> tls_;
    http::request<http::empty_body> request_;
    http::response_parser<http::string_body> parser_;
    beast::flat_buffer buffer_;
    std::chrono::milliseconds timeout_{};
    std::string fault_;
    bool done_ = false;
};

std::string fetchFile(const std::string& path, const DownloadLimits& limits, ImageFile& out) {
    if (limits.fileDir.empty()) return "file:// images are not allowed by the configuration";
    char dir[PATH_MAX], real[PATH_MAX];
    if (realpath(limits.fileDir.c_str(), dir) == nullptr)
        return "the folder of file:// images does not exist";
    if (path.empty() || path[0] != '/' || realpath(path.c_str(), real) == nullptr)
        return "no such file";
    // The file as it really is, links resolved, must lie inside the folder.
    const std::string inside = std::string(dir) + "/";
    if (std::string(real).rfind(inside, 0) != 0)
        return "the file is not inside the folder of file:// images";
    const int fd = open(real, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return "the file could not be opened";
    std::unique_ptr<char[]> chunk(new char[65536]);
    size_t total = 0;
    std::string fault;
    for (;;) {
        const ssize_t got = read(fd, chunk.get(), 65536);
        if (got < 0) fault = "the file could not be read";
        if (got <= 0) break;
        total += static_cast<size_t>(got);
        if (total > limits.maxBytes) fault = "the image is larger than a flash";
        if (!fault.empty()) break;
        if (!out.append(std::string_view(chunk.get(), static_cast<size_t>(got))))
            fault = "the image could not be kept";
    }
    close(fd);
    return fault;
}

}  // namespace

std::string fetchImage(const std::string& uri, const DownloadLimits& limits, ImageFile& out) {
    if (uri.rfind("file://", 0) == 0) return fetchFile(uri.substr(7), limits, out);
    const std::optional<Url> url = parseUrl(uri);
    if (!url) return "the ImageURI is not an http://, https:// or file:// address";
    Download download(*url, limits);
    if (std::string fault = download.run(); !fault.empty()) return fault;
    if (!out.append(download.body())) return "the image could not be kept";
    return {};
}

}  // namespace vorl::redfish
