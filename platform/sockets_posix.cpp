#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>

#include "platform/sockets.h"

namespace vorl::platform {
namespace {

SocketError classify(int error) {
    switch (error) {
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
            return SocketError::WouldBlock;
        case EADDRINUSE:
            return SocketError::AddressInUse;
        case ECONNREFUSED:
            return SocketError::Refused;
        case EHOSTUNREACH:
        case ENETUNREACH:
            return SocketError::Unreachable;
        case ETIMEDOUT:
            return SocketError::TimedOut;
        default:
            return SocketError::Other;
    }
}

}  // namespace

int startNetworking() {
    return 0;
}

bool parseIpv4(const char* text, uint32_t& addressNetworkOrder) {
    const in_addr_t address = inet_addr(text);
    if (address == INADDR_NONE) return false;
    addressNetworkOrder = address;
    return true;
}

bool TcpSocket::open() {
    close();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        lastError_ = classify(errno);
        return false;
    }
    handle_ = fd;
    return true;
}

SocketError TcpSocket::connect(uint32_t addressNetworkOrder, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = addressNetworkOrder;
    if (::connect(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&address),
                  sizeof address) == 0) {
        const int one = 1;
        ::setsockopt(static_cast<int>(handle_), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return lastError_ = SocketError::None;
    }
    return lastError_ = classify(errno);
}

SocketError TcpSocket::connectWithin(uint32_t addressNetworkOrder, uint16_t port,
                                     uint32_t milliseconds) {
    if (!setNonBlocking(true)) return lastError_ = classify(errno);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = addressNetworkOrder;
    const int fd = static_cast<int>(handle_);
    int error = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            socklen_t length = sizeof error;
            if (wait(true, milliseconds) != SocketWait::Ready)
                error = ETIMEDOUT;
            else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
        }
    }
    if (error != 0) return lastError_ = classify(error);
    if (!setNonBlocking(false)) return lastError_ = classify(errno);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return lastError_ = SocketError::None;
}

long TcpSocket::send(const void* data, size_t length) {
    const ssize_t sent = ::send(static_cast<int>(handle_), data, length, MSG_NOSIGNAL);
    if (sent < 0) lastError_ = classify(errno);
    return static_cast<long>(sent);
}

long TcpSocket::receiveOnce(void* data, size_t length) {
    ssize_t got;
    do {
        got = ::recv(static_cast<int>(handle_), data, length, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) lastError_ = classify(errno);
    if (got == 0) lastError_ = SocketError::Closed;
    return static_cast<long>(got);
}

SocketWait TcpSocket::wait(bool forWriting, uint32_t milliseconds) {
    pollfd entry{};
    entry.fd = static_cast<int>(handle_);
    entry.events = forWriting ? POLLOUT : POLLIN;
    const int timeout = milliseconds > INT_MAX ? INT_MAX : static_cast<int>(milliseconds);
    int ready;
    do {
        ready = ::poll(&entry, 1, timeout);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return SocketWait::Failed;
    return ready == 0 ? SocketWait::TimedOut : SocketWait::Ready;
}

bool TcpSocket::setNonBlocking(bool nonBlocking) {
    int value = nonBlocking ? 1 : 0;
    return ::ioctl(static_cast<int>(handle_), FIONBIO, &value) == 0;
}

void TcpSocket::shutdownBoth() {
    if (handle_ != kInvalid) ::shutdown(static_cast<int>(handle_), SHUT_RDWR);
}

void TcpSocket::close() {
    if (handle_ != kInvalid) {
        ::close(static_cast<int>(handle_));
        handle_ = kInvalid;
    }
}

bool makeConnectedPair(TcpSocket& first, TcpSocket& second) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
    first = TcpSocket(fds[0]);
    second = TcpSocket(fds[1]);
    return true;
}

void prepareListeningSocket(intptr_t handle) {
    const int one = 1;
    ::setsockopt(static_cast<int>(handle), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
}

bool TcpListener::listen(const char* address, uint16_t port) {
    close();
    uint32_t bindAddress;
    if (!parseIpv4(address, bindAddress)) return false;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    prepareListeningSocket(fd);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = bindAddress;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(fd, 16) != 0) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

TcpSocket TcpListener::accept() {
    if (handle_ == TcpSocket::kInvalid) return TcpSocket();
    int fd;
    do {
        fd = ::accept(static_cast<int>(handle_), nullptr, nullptr);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return TcpSocket();
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return TcpSocket(fd);
}

uint16_t TcpListener::port() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

void TcpListener::close() {
    if (handle_ != TcpSocket::kInvalid) {
        ::shutdown(static_cast<int>(handle_), SHUT_RDWR);
        ::close(static_cast<int>(handle_));
        handle_ = TcpSocket::kInvalid;
    }
}

}  // namespace vorl::platform
