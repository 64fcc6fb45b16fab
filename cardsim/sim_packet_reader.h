#pragma once
// Reads request packets from a TCP connection to the simulated card.
#include <cstdint>

#include "platform/sockets.h"

namespace vorl::sim {

enum class ReadResult {
    Packet,       // a whole request: header and payload
    BadChecksum,  // a header whose bytes do not sum to 0; its payload was not read
    TooLong,      // a header announcing more than 66528 payload bytes
    Closed,       // the peer closed the connection or a receive failed
};

// Skips bytes up to the 8-byte signature, reads the 32-byte header into `packet` and, when the
// header is sound, the payload behind it. `packet` holds CommandHeader::kMaxPacket bytes.
// The payload of a header with a wrong checksum is not trusted: it is left in the stream, where
// the search for the next signature skips it.
ReadResult readRequest(platform::TcpSocket& socket, uint8_t* packet);

}  // namespace vorl::sim
