#include "cardsim/sim_packet_reader.h"

#include <cstring>

#include "wire/command_header.h"

namespace vorl::sim {
namespace {

constexpr size_t kSignatureSize = sizeof CommandHeader::kSignature;

// Keeps the last 8 bytes received, so a signature that starts inside a failed partial match
// (its 'Z' also stands at position 6) is still found.
bool findSignature(platform::TcpSocket& socket) {
    uint8_t window[kSignatureSize] = {};
    size_t received = 0;
    while (true) {
        uint8_t byte;
        if (socket.receive(&byte, 1) != 1) return false;
        std::memmove(window, window + 1, kSignatureSize - 1);
        window[kSignatureSize - 1] = byte;
        if (received < kSignatureSize) ++received;
        if (received == kSignatureSize &&
            std::memcmp(window, CommandHeader::kSignature, kSignatureSize) == 0)
            return true;
    }
}

}  // namespace

ReadResult readRequest(platform::TcpSocket& socket, uint8_t* packet) {
    if (!findSignature(socket)) return ReadResult::Closed;
    std::memcpy(packet, CommandHeader::kSignature, kSignatureSize);
    if (!socket.receiveAll(packet + kSignatureSize, CommandHeader::kSize - kSignatureSize))
        return ReadResult::Closed;
    const uint32_t length = CommandHeader::payloadLength(packet);
    if (length > CommandHeader::kMaxPayload) return ReadResult::TooLong;
    if (!CommandHeader::checksumValid(packet)) return ReadResult::BadChecksum;
    if (length > 0 && !socket.receiveAll(packet + CommandHeader::kSize, length))
        return ReadResult::Closed;
    return ReadResult::Packet;
}

}  // namespace vorl::sim
