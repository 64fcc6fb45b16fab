#include "wire/command_header.h"

#include <cstring>

#include "wire/byte_order.h"

namespace vorl {

uint8_t CommandHeader::checksum(const uint8_t* header) {
    unsigned sum = 0;
    for (size_t i = 0; i < kSize; ++i) {
        if (i != kChecksumOffset) sum += header[i];
    }
    return static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

bool CommandHeader::checksumValid(const uint8_t* header) {
    unsigned sum = 0;
    for (size_t i = 0; i < kSize; ++i) sum += header[i];
    return (sum & 0xFF) == 0;
}

bool CommandHeader::build(uint8_t* out, uint16_t commandCode, uint32_t payloadLength) {
    return buildResponse(out, commandCode, 0, payloadLength);
}

bool CommandHeader::buildResponse(uint8_t* out, uint16_t commandCode, uint16_t status,
                                  uint32_t payloadLength) {
    std::memset(out, 0, kSize);
    std::memcpy(out, kSignature, sizeof kSignature);
    out[8] = 0x00;
    out[9] = 0x04;
    out[kHeaderLengthOffset] = kSize;
    out[26] = 0x01;
    putLe16(out + kCommandOffset, commandCode);
    if (payloadLength > kMaxPayload) return false;
    putLe32(out + kPayloadLengthOffset, payloadLength);
    putLe16(out + kStatusOffset, status);
    out[kChecksumOffset] = checksum(out);
    return true;
}

uint32_t CommandHeader::payloadLength(const uint8_t* header) {
    return getLe32(header + kPayloadLengthOffset);
}
uint16_t CommandHeader::commandCode(const uint8_t* header) {
    return getLe16(header + kCommandOffset);
}
uint16_t CommandHeader::status(const uint8_t* header) {
    return getLe16(header + kStatusOffset);
}

}  // namespace vorl
