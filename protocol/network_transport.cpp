#include "protocol/network_transport.h"

#include <cstring>

#include "platform/sleep.h"
#include "wire/command_header.h"

namespace vorl {

NetworkTransport::NetworkTransport(const char* ipAddress, uint32_t port) : port_(port) {
    std::strncpy(address_, ipAddress ? ipAddress : "", sizeof address_ - 1);
    startNetworking();
}

int NetworkTransport::startNetworking() {
    return platform::startNetworking() == 0 ? 0 : 33;
}

int NetworkTransport::connect() {
    if (!socket_.open()) return 33;
    uint32_t address = 0;
    if (!platform::parseIpv4(address_, address)) return 33;
    const auto port = static_cast<uint16_t>(port_ & 0xFFFF);
    for (int retry = 0;; ++retry) {
        const platform::SocketError result = socket_.connect(address, port);
        if (result == platform::SocketError::None) return 0;
        if (result != platform::SocketError::AddressInUse || retry >= kMaxAddressInUseRetries)
            return 33;
        platform::sleepMs(1);
    }
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

int NetworkTransport::sendRequest(const uint8_t* request, uint32_t /*waitPolls*/) {
    const uint32_t payload = CommandHeader::payloadLength(request);
    if (payload > CommandHeader::kMaxPayload) return 33;
    return socket_.sendAll(request, CommandHeader::kSize + payload) ? 0 : 33;
}

bool NetworkTransport::receiveByte(uint8_t& byte) {
    return socket_.receive(&byte, 1) == 1;
}

int NetworkTransport::findSignature(uint32_t waitPolls) {
    const uint8_t* signature = CommandHeader::kSignature;
    // The last eight bytes received: a partial match that breaks can still be the start of the
    // real signature (it holds 'Z' at offsets 0 and 6), so compare the window, not a counter.
    uint8_t window[8] = {};
    uint32_t received = 0;
    auto matches = [&] {
        return received >= 8 && std::memcmp(window, signature, sizeof window) == 0;
    };
    auto push = [&](uint8_t byte) {
        std::memmove(window, window + 1, sizeof window - 1);
        window[7] = byte;
        ++received;
    };

    if (waitPolls == 0) {
        uint8_t byte;
        while (!matches()) {
            if (!receiveByte(byte)) return 33;
            push(byte);
        }
        return 0;
    }

    if (!socket_.setNonBlocking(true)) return 33;
    uint32_t emptyPolls = 0;
    int result = 33;
    for (;;) {
        uint8_t byte;
        const long got = socket_.receive(&byte, 1);
        if (got == 1) {
            push(byte);
            if (matches()) {
                result = 0;
                break;
            }
        } else if (got < 0 && socket_.lastError() == platform::SocketError::WouldBlock) {
            if (++emptyPolls > waitPolls) break;
        } else {
            break;
        }
    }
    socket_.setNonBlocking(false);
    return result;
}

int NetworkTransport::receiveResponse(uint8_t* response, uint32_t& responseLength,
                                      uint32_t waitPolls) {
    if (findSignature(waitPolls) != 0) return 33;
    std::memcpy(response, CommandHeader::kSignature, sizeof CommandHeader::kSignature);
    for (size_t offset = 8; offset < 11; ++offset) {
        if (!receiveByte(response[offset])) return 33;
    }
    const uint32_t headerLength = response[CommandHeader::kHeaderLengthOffset];
    // A header shorter than ours would leave the payload length unread; refuse it.
    if (headerLength < CommandHeader::kSize) return 33;
    for (size_t offset = 11; offset < headerLength; ++offset) {
        if (!receiveByte(response[offset])) return 33;
    }
    const uint32_t payload = CommandHeader::payloadLength(response);
    if (payload > CommandHeader::kMaxPayload || payload > CommandHeader::kMaxPacket - headerLength)
        return 33;
    if (payload > 0 && !socket_.receiveAll(response + headerLength, payload)) return 33;
    responseLength = headerLength + payload;
    return 0;
}

}  // namespace vorl
