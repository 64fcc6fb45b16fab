// The vendor SCSI commands of the card's drive: one pass-through request each, the retry rule
// of the two block commands, the signature probe and the single-packet commands.
#include "wire/vendor_commands.h"

#include <cstring>

#include "hostifc/host_interface.h"
#include "wire/byte_order.h"

namespace vorl {
namespace {

using namespace vendor;
constexpr int kBlockAttempts = 4;

using platform::DataDirection;

}  // namespace

int HostInterface::SendScsiCommand(platform::ScsiDevice* device, const uint8_t* cdb,
                                   uint8_t cdbLength, uint8_t* buffer, uint32_t& size,
                                   DataDirection direction, uint32_t timeoutSeconds) {
    if (commandDeadline_) {
        const uint32_t leftMs = commandDeadline_->remainingMs();
        if (leftMs == 0) {
            trace("Time allowed for vendor command 0x%02x already used: not sent\n", cdb[0]);
            return kRefused;
        }
        const uint32_t leftSeconds = (leftMs + 999) / 1000;
        if (leftSeconds < timeoutSeconds) timeoutSeconds = leftSeconds;
    }
    if (device != nullptr) {
        const platform::PassThroughResult result =
            device->passThrough(cdb, cdbLength, buffer, size, direction, timeoutSeconds);
        if (!result.refused) {
            size = result.bytesMoved;
            return result.scsiStatus;
        }
    }
    // Discovery probes every CD-ROM drive; most are not the card and refuse it quietly.
    if (cdb[0] == kOpProbe) return kRefused;
    trace("Error In DevieIoControl for sending SCSI Command..dump of CDB Follows!!!\n");
    for (uint8_t i = 0; i < cdbLength; ++i) trace("0x%2x ", cdb[i]);
    trace("\n");
    return kRefused;
}

int HostInterface::blockCommand(uint8_t opcode, int8_t selector, DataDirection direction,
                                const char* name) {
    uint8_t cdb[kCdbLength] = {};
    cdb[0] = opcode;
    // The selector, sign-extended to 32 bits, big-endian; then one block.
    putBe32(cdb + 2, static_cast<uint32_t>(static_cast<int32_t>(selector)));
    putBe16(cdb + 7, 1);
    int result = 0;
    for (int attempt = 1; attempt <= kBlockAttempts; ++attempt) {
        // A read starts from zeros so that a short transfer never hands on old bytes.
        if (direction == DataDirection::FromDevice)
            std::memset(transfer_.get(), 0, MessageBlock::kSize);
        uint32_t size = MessageBlock::kSize;
        result = SendScsiCommand(device_.get(), cdb, kCdbLength, transfer_.get(), size, direction,
                                 kTimeoutSeconds);
        if (result == 0) return 0;
        pause(kRetryPauseMs);
        if (attempt == kBlockAttempts - 1)
            trace("SendScsiCommand failure even after 3 retries in %s!!\n", name);
    }
    return result;
}

int HostInterface::ReadCD(int8_t selector, uint8_t* destination) {
    const int result = blockCommand(kOpReadBlock, selector, DataDirection::FromDevice, "ReadCD");
    if (result == 0) std::memcpy(destination, transfer_.get(), MessageBlock::kSize);
    return result;
}

int HostInterface::WriteCD(int8_t selector, const uint8_t* source) {
    std::memcpy(transfer_.get(), source, MessageBlock::kSize);
    return blockCommand(kOpWriteBlock, selector, DataDirection::ToDevice, "WriteCD");
}

int HostInterface::probeSignature(platform::ScsiDevice& device) {
    uint8_t cdb[kCdbLength] = {kOpProbe};
    uint8_t answer[kProbeAnswerSize] = {};
    uint32_t size = sizeof answer;
    if (SendScsiCommand(&device, cdb, kCdbLength, answer, size, DataDirection::FromDevice,
                        kTimeoutSeconds) != 0)
        return 0;
    return std::memcmp(answer, kProbeAnswer, kProbeAnswerSize) == 0 ? 1 : 0;
}

int HostInterface::singlePacket(uint8_t opcode, uint32_t size) {
    uint8_t cdb[kCdbLength] = {opcode};
    std::memset(transfer_.get(), 0, MessageBlock::kSize);
    return SendScsiCommand(device_.get(), cdb, kCdbLength, transfer_.get(), size,
                           DataDirection::FromDevice, kTimeoutSeconds);
}

int HostInterface::readMousePacket(MousePacket& packet) {
    if (singlePacket(kOpMousePacket, MousePacket::kSize) != 0) return -1;
    std::memcpy(packet.bytes, transfer_.get(), MousePacket::kSize);
    return 0;
}

int32_t HostInterface::heartbeatStart() {
    if (singlePacket(kOpHeartbeatStart, 4) != 0) return -1;
    return static_cast<int32_t>(getLe32(transfer_.get()));
}

int32_t HostInterface::heartbeatPoll() {
    if (singlePacket(kOpHeartbeatPoll, 4) != 0) return -1;
    return static_cast<int32_t>(getLe32(transfer_.get()));
}

bool HostInterface::heartbeatStop() {
    return singlePacket(kOpHeartbeatStop, 4) == 0;
}

}  // namespace vorl
