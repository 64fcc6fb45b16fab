#pragma once
// A blocking HTTP/1.1 client for the web layer's tests, plain or TLS, on loopback. Every read
// has a bound (10 s), so a server that never answers fails the test instead of hanging it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

namespace vorl::testing {

struct HttpAnswer {
    int status = 0;  // 0: the connection closed (or timed out) before an answer
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

class HttpTestClient {
public:
    // Connects to 127.0.0.1:`port`; with `tls`, runs the TLS handshake as well.
    explicit HttpTestClient(uint16_t port, SSL_CTX* tls = nullptr, bool handshake = true) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval bound{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (connected_ && tls != nullptr) {
            ssl_ = SSL_new(tls);
            SSL_set_fd(ssl_, fd_);
            if (handshake) connected_ = SSL_connect(ssl_) == 1;
        }
    }
    ~HttpTestClient() {
        if (ssl_ != nullptr) SSL_free(ssl_);
        if (fd_ >= 0) ::close(fd_);
    }
    HttpTestClient(const HttpTestClient&) = delete;
    HttpTestClient& operator=(const HttpTestClient&) = delete;

    bool connected() const { return connected_; }

    bool send(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const long put =
                ssl_ != nullptr
                    ? SSL_write(ssl_, bytes.data() + done, int(bytes.size() - done))
                    : ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (put <= 0) return false;
            done += static_cast<size_t>(put);
        }
        return true;
    }

    // The next answer: head, then the body by Content-Length or chunks; status 0 if the
    // connection ended first. A 1xx answer is returned like any other.
    HttpAnswer read() {
        HttpAnswer answer = readHead();
        if (answer.status < 200) return answer;
        if (answer.headers.count("content-length")) {
            const size_t length = std::stoul(answer.headers["content-length"]);
            while (buffer_.size() < length)
                if (!fill()) return HttpAnswer{};
            answer.body = buffer_.substr(0, length);
            buffer_.erase(0, length);
        } else if (answer.headers["transfer-encoding"] == "chunked") {
            for (;;) {
                std::string piece;
                if (!readChunk(piece)) return HttpAnswer{};
                if (piece.empty()) break;
                answer.body += piece;
            }
        }
        return answer;
    }

    // The status line and header fields of the next answer, its body left to read.
    HttpAnswer readHead() {
        HttpAnswer answer;
        size_t end;
        while ((end = buffer_.find("\r\n\r\n")) == std::string::npos)
            if (!fill()) return answer;
        const std::string head = buffer_.substr(0, end + 2);
        buffer_.erase(0, end + 4);
        answer.status = std::atoi(head.substr(9, 3).c_str());
        for (size_t line = head.find("\r\n") + 2; line < head.size();) {
            const size_t next = head.find("\r\n", line);
            const std::string field = head.substr(line, next - line);
            const size_t colon = field.find(':');
            std::string name = field.substr(0, colon);
            for (char& c : name) c = static_cast<char>(std::tolower(c));
            answer.headers[name] = field.substr(colon + 2);
            line = next + 2;
        }
        return answer;
    }

    // One chunk of a chunked body ("" for the last one); false if the connection ended.
    bool readChunk(std::string& piece) {
        size_t end;
        while ((end = buffer_.find("\r\n")) == std::string::npos)
            if (!fill()) return false;
        const size_t size = std::stoul(buffer_.substr(0, end), nullptr, 16);
        while (buffer_.size() < end + 2 + size + 2)
            if (!fill()) return false;
        piece = buffer_.substr(end + 2, size);
        buffer_.erase(0, end + 2 + size + 2);
        return true;
    }

    // True once the server has closed (or reset) the connection; false if it is still open
    // after the 10 s bound or sends something.
    bool closedByServer() {
        char byte;
        const long got = ssl_ != nullptr ? SSL_read(ssl_, &byte, 1) : ::recv(fd_, &byte, 1, 0);
        if (got > 0) return false;
        if (got == 0) return true;
        return ssl_ != nullptr ? !(errno == EAGAIN || errno == EWOULDBLOCK) : errno == ECONNRESET;
    }

    void shutdownSending() { ::shutdown(fd_, SHUT_WR); }
    int fd() const { return fd_; }

private:
    bool fill() {
        char chunk[16384];
        const long got = ssl_ != nullptr ? SSL_read(ssl_, chunk, sizeof chunk)
                                         : ::recv(fd_, chunk, sizeof chunk, 0);
        if (got <= 0) return false;
        buffer_.append(chunk, static_cast<size_t>(got));
        return true;
    }

    int fd_ = -1;
    SSL* ssl_ = nullptr;
    bool connected_ = false;
    std::string buffer_;
};

}  // namespace vorl::testing
