#pragma once
// The vendor SCSI commands of the card's CD-ROM drive and the answer that identifies the card:
// what the host interface sends and what the simulated card's device link answers.
#include <cstddef>
#include <cstdint>

namespace vorl::vendor {

// Opcodes (byte 0 of the 10-byte command block).
constexpr uint8_t kOpMousePacket = 0xE1;     // 12 bytes from the card
constexpr uint8_t kOpWriteBlock = 0xE2;      // WriteCD: 512 bytes to the card
constexpr uint8_t kOpReadBlock = 0xE3;       // ReadCD: 512 bytes from the card
constexpr uint8_t kOpHeartbeatStart = 0xE5;  // 4 bytes from the card
constexpr uint8_t kOpHeartbeatPoll = 0xE6;   // 4 bytes from the card
constexpr uint8_t kOpHeartbeatStop = 0xE7;   // 4 bytes from the card
constexpr uint8_t kOpProbe = 0xEE;           // 10 bytes from the card

constexpr uint8_t kCdbLength = 10;

// The card answers the probe with these 10 bytes: "$$$ZOR$$$" and a zero byte.
constexpr size_t kProbeAnswerSize = 10;
constexpr char kProbeAnswer[kProbeAnswerSize] = {'$', '$', '$', 'Z', 'O', 'R', '$', '$', '$', '\0'};

}  // namespace vorl::vendor
