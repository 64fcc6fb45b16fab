// The parts of the socket seam that need no operating-system call.
#include "platform/sockets.h"

#include <atomic>
#include <utility>

#include "platform/deadline.h"

namespace vorl::platform {
namespace {
std::atomic<uint64_t> allReceiveCalls{0};
}

uint64_t receiveCallCount() {
    return allReceiveCalls.load();
}

long TcpSocket::receive(void* data, size_t length) {
    ++allReceiveCalls;
    ++receiveCalls_;
    return receiveOnce(data, length);
}

SocketWait TcpSocket::waitReadable(uint32_t milliseconds) {
    return wait(false, milliseconds);
}

SocketWait TcpSocket::waitWritable(uint32_t milliseconds) {
    return wait(true, milliseconds);
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : handle_(std::exchange(other.handle_, kInvalid)),
      lastError_(other.lastError_),
      receiveCalls_(other.receiveCalls_) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kInvalid);
        lastError_ = other.lastError_;
        receiveCalls_ = other.receiveCalls_;
    }
    return *this;
}

bool TcpSocket::sendAll(const void* data, size_t length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const long sent = send(bytes, length);
        if (sent <= 0) return false;
        bytes += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

bool TcpSocket::receiveAll(void* data, size_t length) {
    auto* bytes = static_cast<uint8_t*>(data);
    while (length > 0) {
        const long got = receive(bytes, length);
        if (got <= 0) return false;
        bytes += got;
        length -= static_cast<size_t>(got);
    }
    return true;
}

bool TcpSocket::receiveAllWithin(void* data, size_t length, uint32_t milliseconds) {
    const Deadline deadline(milliseconds);
    auto* bytes = static_cast<uint8_t*>(data);
    while (length > 0) {
        if (waitReadable(deadline.remainingMs()) != SocketWait::Ready) return false;
        const long got = receive(bytes, length);
        if (got < 0 && lastError_ == SocketError::WouldBlock) continue;
        if (got <= 0) return false;
        bytes += got;
        length -= static_cast<size_t>(got);
    }
    return true;
}

}  // namespace vorl::platform
