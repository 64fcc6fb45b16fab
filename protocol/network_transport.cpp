#include "protocol/network_transport.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/sleep.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr size_t kSignatureSize = sizeof CommandHeader::kSignature;
// Bytes up to and including the header length field.
constexpr size_t kHeaderLengthEnd = CommandHeader::kHeaderLengthOffset + 1;

const char* connectFailure(platform::SocketError error, bool timeIsUp) {
    switch (error) {
        case platform::SocketError::Refused:
            return "connection refused";
        case platform::SocketError::Unreachable:
            return "host or network unreachable";
        case platform::SocketError::TimedOut:
            return "connect timed out";
        default:
            return timeIsUp ? "connect timed out" : "connect failed";
    }
}
}  // namespace

NetworkTransport::NetworkTransport(const char* ipAddress, uint32_t port)
    : port_(port), buffer_(new uint8_t[kReceiveBufferSize]) {
    std::strncpy(address_, ipAddress ? ipAddress : "", sizeof address_ - 1);
    startNetworking();
}

int NetworkTransport::startNetworking() {
    return platform::startNetworking() == 0 ? 0 : kStatusConnectError;
}

int NetworkTransport::connect() {
    failure_ = "no socket could be made";
    if (!socket_.open()) return kStatusConnectError;
    start_ = end_ = 0;
    lost_ = false;
    uint32_t address = 0;
    failure_ = "the address is not a dotted IPv4 address";
    if (!platform::parseIpv4(address_, address)) return kStatusConnectError;
    const auto port = static_cast<uint16_t>(port_ & 0xFFFF);
    // The connect is bounded like every other wait for the card, and by the caller's limit.
    const platform::Deadline bound(
        limit_ ? std::min(platform::answerWaitLimitMs(), limit_->remainingMs())
               : platform::answerWaitLimitMs());
    for (int retry = 0;; ++retry) {
        const platform::SocketError result =
            socket_.connectWithin(address, port, bound.remainingMs());
        // Every later wait is a bounded wait for readiness, never a blocking call.
        if (result == platform::SocketError::None) {
            failure_ = "the socket could not be set up";
            if (!socket_.setNonBlocking(true)) return kStatusConnectError;
            failure_ = nullptr;
            return 0;
        }
        if (result != platform::SocketError::AddressInUse || retry >= kMaxAddressInUseRetries ||
            bound.passed()) {
            failure_ = connectFailure(result, bound.passed());
            return kStatusConnectError;
        }
        platform::sleepMs(1);
    }
}

int NetworkTransport::attach(platform::TcpSocket connected) {
    socket_ = std::move(connected);
    start_ = end_ = 0;
    lost_ = false;
    return socket_.isOpen() && socket_.setNonBlocking(true) ? 0 : kStatusConnectError;
}

int NetworkTransport::disconnect() {
    if (socket_.isOpen()) {
        socket_.shutdownBoth();
        socket_.close();
    }
    return 0;
}

int NetworkTransport::transact(const uint8_t* request, uint32_t& responseLength, uint8_t* response,
                               uint32_t waitPolls) {
    if (sendRequest(request, waitPolls) != 0) return 1;
    if (receiveResponse(response, responseLength, waitPolls) != 0) return 1;
    return 0;
}

int NetworkTransport::receiveNextResponse(uint32_t& responseLength, uint8_t* response,
                                          uint32_t waitPolls) {
    return receiveResponse(response, responseLength, waitPolls) == 0 ? 0 : 1;
}

void NetworkTransport::giveUp() {
    failure_ = "no answer in time";
    lost_ = true;
    start_ = end_ = 0;
    socket_.shutdownBoth();
}

int NetworkTransport::sendRequest(const uint8_t* request, uint32_t /*waitPolls*/) {
    if (lost_ || !socket_.isOpen()) return kStatusConnectError;  // failure_ tells why already
    failure_ = "the request could not be sent";
    const uint32_t payload = CommandHeader::payloadLength(request);
    if (payload > CommandHeader::kMaxPayload) return kStatusConnectError;
    deadline_ =
        platform::Deadline(limit_ ? std::min(platform::answerWaitLimitMs(), limit_->remainingMs())
                                  : platform::answerWaitLimitMs());
    emptyPolls_ = 0;
    const uint8_t* at = request;
    size_t left = CommandHeader::kSize + payload;
    while (left > 0) {
        const long sent = socket_.send(at, left);
        if (sent > 0) {
            at += sent;
            left -= static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && socket_.lastError() == platform::SocketError::WouldBlock) {
            // A card that stops reading fills the socket's buffers; wait for room, not for ever.
            if (socket_.waitWritable(deadline_.remainingMs()) == platform::SocketWait::Ready)
                continue;
            if (deadline_.passed()) giveUp();
        }
        return kStatusConnectError;
    }
    failure_ = nullptr;
    return 0;
}

NetworkTransport::Fill NetworkTransport::fill(uint32_t windowMs) {
    // Unread bytes move to the front, so a whole packet always fits behind the read position.
    if (start_ > 0) {
        if (start_ < end_) std::memmove(buffer_.get(), buffer_.get() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    if (end_ == kReceiveBufferSize) return Fill::Failed;  // nothing asks for more than a packet
    const platform::Deadline window(std::min(windowMs, deadline_.remainingMs()));
    for (;;) {
        const platform::SocketWait ready = socket_.waitReadable(window.remainingMs());
        if (ready == platform::SocketWait::Failed) {
            failure_ = "the connection failed";
            return Fill::Failed;
        }
        if (ready == platform::SocketWait::TimedOut) {
            if (deadline_.passed()) return Fill::Expired;
            if (window.passed()) return Fill::Empty;
            continue;
        }
        const long got = socket_.receive(buffer_.get() + end_, kReceiveBufferSize - end_);
        if (got > 0) {
            end_ += static_cast<size_t>(got);
            return Fill::Got;
        }
        if (got == 0 || socket_.lastError() != platform::SocketError::WouldBlock) {
            failure_ = got == 0 ? "the card closed the connection" : "the connection failed";
            return Fill::Failed;
        }
        // Readiness without data: wait again within the same window.
        if (deadline_.passed()) return Fill::Expired;
        if (window.passed()) return Fill::Empty;
    }
}

bool NetworkTransport::fillTo(size_t count) {
    while (buffered() < count) {
        const Fill result = fill(deadline_.remainingMs());
        if (result == Fill::Got) continue;
        if (result == Fill::Expired || result == Fill::Empty) giveUp();
        return false;
    }
    return true;
}

int NetworkTransport::findSignature(uint32_t waitPolls) {
    const uint8_t* signature = CommandHeader::kSignature;
    for (;;) {
        // The first place where all 8 signature bytes stand in a row; bytes before it are
        // skipped. A partial or broken match never hides a real signature that starts inside
        // it (the signature holds 'Z' at offsets 0 and 6), because every position is tried.
        const uint8_t* begin = buffer_.get() + start_;
        const uint8_t* end = buffer_.get() + end_;
        const uint8_t* found = std::search(begin, end, signature, signature + kSignatureSize);
        if (found != end) {
            start_ += static_cast<size_t>(found - begin);
            return 0;
        }
        // Not there yet: only the last 7 bytes can still be the start of the signature.
        if (buffered() >= kSignatureSize) start_ = end_ - (kSignatureSize - 1);

        const Fill result = fill(waitPolls == 0 ? deadline_.remainingMs() : kPollMs);
        if (result == Fill::Got) continue;
        // An empty poll of a bounded wait; the count runs across the whole transaction.
        if (result == Fill::Empty && waitPolls != 0 && ++emptyPolls_ <= waitPolls) continue;
        if (result == Fill::Expired || (result == Fill::Empty && waitPolls == 0)) giveUp();
        if (result == Fill::Empty) failure_ = "no answer within the polls";
        return kStatusConnectError;
    }
}

int NetworkTransport::receiveResponse(uint8_t* response, uint32_t& responseLength,
                                      uint32_t waitPolls) {
    if (lost_ || !socket_.isOpen()) return kStatusConnectError;
    if (findSignature(waitPolls) != 0) return kStatusConnectError;
    if (!fillTo(kHeaderLengthEnd)) return kStatusConnectError;
    const uint8_t* packet = buffer_.get() + start_;
    const uint32_t headerLength = packet[CommandHeader::kHeaderLengthOffset];
    // A header shorter than ours would leave the payload length unread; refuse it.
    if (headerLength < CommandHeader::kSize) {
        failure_ = "a response header too short";
        start_ += kHeaderLengthEnd;
        return kStatusConnectError;
    }
    if (!fillTo(headerLength)) return kStatusConnectError;
    packet = buffer_.get() + start_;
    const uint32_t payload = CommandHeader::payloadLength(packet);
    if (payload > CommandHeader::kMaxPayload ||
        payload > CommandHeader::kMaxPacket - headerLength) {
        failure_ = "a response announcing too long a payload";
        start_ += headerLength;
        return kStatusConnectError;
    }
    const size_t total = headerLength + payload;
    if (!fillTo(total)) return kStatusConnectError;
    std::memcpy(response, buffer_.get() + start_, total);
    start_ += total;
    responseLength = static_cast<uint32_t>(total);
    return 0;
}

}  // namespace vorl
