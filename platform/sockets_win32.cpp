// Winsock 1.1 backend of the sockets seam (ws2_32).
#include <winsock2.h>
// winsock2.h before windows.h, which would pull in the old winsock.h.
#include <windows.h>
#include <ws2tcpip.h>

#include <climits>
#include <utility>

#include "platform/sockets.h"

namespace vorl::platform {
namespace {

SocketError classify(int error) {
    switch (error) {
        case WSAEWOULDBLOCK:
            return SocketError::WouldBlock;
        case WSAEADDRINUSE:
            return SocketError::AddressInUse;
        case WSAECONNREFUSED:
            return SocketError::Refused;
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:
            return SocketError::Unreachable;
        case WSAETIMEDOUT:
            return SocketError::TimedOut;
        default:
            return SocketError::Other;
    }
}

SOCKET toSocket(intptr_t handle) {
    return static_cast<SOCKET>(handle);
}

// A socket from a program that never called startNetworking() (the simulated card, test peers)
// still works: Winsock is started on first need.
SOCKET createStreamSocket() {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET && WSAGetLastError() == WSANOTINITIALISED && startNetworking() == 0)
        s = ::socket(AF_INET, SOCK_STREAM, 0);
    return s;
}

void setNoDelay(SOCKET s) {
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

// Winsock takes int lengths; larger buffers go out in several calls.
int clampLength(size_t length) {
    return length > INT_MAX ? INT_MAX : static_cast<int>(length);
}

}  // namespace

int startNetworking() {
    WSADATA data;
    if (WSAStartup(0x0101, &data) != 0) {
        WSACleanup();
        return 1;
    }
    return 0;
}

bool parseIpv4(const char* text, uint32_t& addressNetworkOrder) {
    if (text == nullptr) return false;
    const unsigned long address = inet_addr(text);
    if (address == INADDR_NONE) return false;
    addressNetworkOrder = static_cast<uint32_t>(address);
    return true;
}

bool TcpSocket::open() {
    close();
    const SOCKET s = createStreamSocket();
    if (s == INVALID_SOCKET) {
        lastError_ = classify(WSAGetLastError());
        return false;
    }
    handle_ = static_cast<intptr_t>(s);
    return true;
}

SocketError TcpSocket::connect(uint32_t addressNetworkOrder, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = addressNetworkOrder;
    if (::connect(toSocket(handle_), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
        0) {
        setNoDelay(toSocket(handle_));
        return lastError_ = SocketError::None;
    }
    return lastError_ = classify(WSAGetLastError());
}

SocketError TcpSocket::connectWithin(uint32_t addressNetworkOrder, uint16_t port,
                                     uint32_t milliseconds) {
    if (!setNonBlocking(true)) return lastError_ = classify(WSAGetLastError());
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = addressNetworkOrder;
    const SOCKET s = toSocket(handle_);
    int error = 0;
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            int length = sizeof error;
            if (wait(true, milliseconds) != SocketWait::Ready)
                error = WSAETIMEDOUT;
            else if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                                  &length) != 0)
                error = WSAGetLastError();
        }
    }
    if (error != 0) return lastError_ = classify(error);
    if (!setNonBlocking(false)) return lastError_ = classify(WSAGetLastError());
    setNoDelay(s);
    return lastError_ = SocketError::None;
}

long TcpSocket::send(const void* data, size_t length) {
    const int sent =
        ::send(toSocket(handle_), static_cast<const char*>(data), clampLength(length), 0);
    if (sent == SOCKET_ERROR) {
        lastError_ = classify(WSAGetLastError());
        return -1;
    }
    return sent;
}

long TcpSocket::receiveOnce(void* data, size_t length) {
    const int got = ::recv(toSocket(handle_), static_cast<char*>(data), clampLength(length), 0);
    if (got == SOCKET_ERROR) {
        lastError_ = classify(WSAGetLastError());
        return -1;
    }
    if (got == 0) lastError_ = SocketError::Closed;
    return got;
}

SocketWait TcpSocket::wait(bool forWriting, uint32_t milliseconds) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(toSocket(handle_), &set);
    // A failed connection shows as an exception, not as readable; wait for both.
    fd_set failures;
    FD_ZERO(&failures);
    FD_SET(toSocket(handle_), &failures);
    timeval timeout{static_cast<long>(milliseconds / 1000),
                    static_cast<long>(milliseconds % 1000) * 1000};
    const int ready =
        ::select(0, forWriting ? nullptr : &set, forWriting ? &set : nullptr, &failures, &timeout);
    if (ready == SOCKET_ERROR) return SocketWait::Failed;
    return ready == 0 ? SocketWait::TimedOut : SocketWait::Ready;
}

bool TcpSocket::setNonBlocking(bool nonBlocking) {
    u_long value = nonBlocking ? 1 : 0;
    return ::ioctlsocket(toSocket(handle_), FIONBIO, &value) == 0;
}

void TcpSocket::shutdownBoth() {
    if (handle_ == kInvalid) return;
    ::shutdown(toSocket(handle_), SD_BOTH);
    // Unlike POSIX, shutdown() does not end a receive another thread is blocked in (a
    // connection thread of the simulated card waiting for its client); cancelling the socket's
    // pending I/O does, and that receive then fails.
    CancelIoEx(reinterpret_cast<HANDLE>(handle_), nullptr);
}

void TcpSocket::close() {
    if (handle_ != kInvalid) {
        ::closesocket(toSocket(handle_));
        handle_ = kInvalid;
    }
}

bool makeConnectedPair(TcpSocket& first, TcpSocket& second) {
    TcpListener listener;
    uint32_t loopback = 0;
    if (!listener.listen("127.0.0.1", 0) || !parseIpv4("127.0.0.1", loopback) || !first.open() ||
        first.connect(loopback, listener.port()) != SocketError::None)
        return false;
    second = listener.accept();
    return second.isOpen();
}

void prepareListeningSocket(intptr_t handle) {
    // Windows rebinds a port in TIME_WAIT without SO_REUSEADDR; on Windows that option would
    // instead let a second listener steal a port in use. Claim the port exclusively.
    const BOOL one = TRUE;
    ::setsockopt(toSocket(handle), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char*>(&one), sizeof one);
}

bool TcpListener::listen(const char* address, uint16_t port) {
    close();
    uint32_t bindAddress;
    if (!parseIpv4(address, bindAddress)) return false;
    const SOCKET s = createStreamSocket();
    if (s == INVALID_SOCKET) return false;
    prepareListeningSocket(static_cast<intptr_t>(s));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = bindAddress;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(s, 16) != 0) {
        ::closesocket(s);
        return false;
    }
    handle_ = static_cast<intptr_t>(s);
    return true;
}

TcpSocket TcpListener::accept() {
    if (handle_ == TcpSocket::kInvalid) return TcpSocket();
    const SOCKET s = ::accept(toSocket(handle_), nullptr, nullptr);
    if (s == INVALID_SOCKET) return TcpSocket();
    setNoDelay(s);
    return TcpSocket(static_cast<intptr_t>(s));
}

uint16_t TcpListener::port() const {
    sockaddr_in local{};
    int length = sizeof local;
    if (::getsockname(toSocket(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

void TcpListener::close() {
    if (handle_ != TcpSocket::kInvalid) {
        // closesocket wakes a thread blocked in accept().
        ::closesocket(toSocket(handle_));
        handle_ = TcpSocket::kInvalid;
    }
}

}  // namespace vorl::platform
