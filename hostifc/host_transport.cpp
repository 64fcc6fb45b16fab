#include "hostifc/host_transport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/deadline.h"
#include "platform/debug_output.h"
#include "wire/byte_order.h"

namespace vorl {
namespace {

constexpr uint32_t kBlock = MessageBlock::kSize;
// A whole packet rounded up to pieces, plus the one piece the layout always adds.
constexpr uint32_t kStagingSize = (HostTransport::kMaxMessage / kBlock + 1) * kBlock;

// Bytes of whole pieces that hold `length` bytes (what is moved over the wire).
uint32_t roundedToBlocks(uint32_t length) {
    return (length + kBlock - 1) / kBlock * kBlock;
}

}  // namespace

HostTransport::TransferBuffer HostTransport::allocateTransferBuffer(size_t size) {
    auto* memory = static_cast<uint8_t*>(std::malloc(size));
    if (memory == nullptr) {
        platform::debugOutput("[K8HOSTIFC]: Memory allocation error.  Terminating program\n\n");
        std::exit(1);
    }
    std::memset(memory, 0, size);
    return TransferBuffer(memory);
}

HostTransport::HostTransport()
    : block_(allocateTransferBuffer(kBlock)), staging_(allocateTransferBuffer(kStagingSize)) {}

HostTransport::~HostTransport() = default;

void HostTransport::traceLine(const char* format, va_list arguments) {
    char line[1024];
    const int prefix = std::snprintf(line, sizeof line, "[%s]: ", "K8HOSTIFC");
    size_t used = prefix > 0 ? static_cast<size_t>(prefix) : 0;
    const int body = std::vsnprintf(line + used, sizeof line - used, format, arguments);
    if (body > 0) used += static_cast<size_t>(body);
    // A line cut to fit still ends with its newline and terminator.
    if (used > sizeof line - 2) used = sizeof line - 2;
    line[used] = '\n';
    line[used + 1] = '\0';
    platform::debugOutput(line);
}

void HostTransport::initMessageBlock(uint8_t* block) {
    std::memset(block, 0, kBlock);
    std::memcpy(block, MessageBlock::kSignature, MessageBlock::kSignatureSize);
    block[MessageBlock::kTrailerOffset] = 0x55;
    block[MessageBlock::kTrailerOffset + 1] = 0xAA;
}

int HostTransport::writeBlocks(const uint8_t* buffer, int8_t selector, uint32_t length) {
    for (uint32_t offset = 0; offset < length; offset += kBlock) {
        if (WriteCD(selector, buffer + offset) != 0) return 1;
    }
    return 0;
}

int HostTransport::readBlocks(uint8_t* buffer, int8_t selector, uint32_t length) {
    for (uint32_t offset = 0; offset < length; offset += kBlock) {
        if (ReadCD(selector, buffer + offset) != 0) return 1;
    }
    return 0;
}

int HostTransport::waitForAnswer(uint8_t* block, uint32_t pollBudget) {
    if (ReadCD(MessageBlock::kSelectorBlock, block) != 0) return 1;
    // Even without a budget the busy phase ends: a card that stays busy must not keep the
    // machine-wide mutex from the other programs for ever.
    const platform::Deadline deadline(platform::answerWaitLimitMs());
    uint64_t polls = 0;
    while (getLe16(block + MessageBlock::kStatusOffset) & MessageBlock::kBusyBit) {
        pause(1);
        if (pollBudget != 0 && ++polls == uint64_t{pollBudget} + 1) return 2;
        if (deadline.passed()) {
            trace("Card still busy after %lu ms, exchange abandoned\n",
                  static_cast<unsigned long>(platform::answerWaitLimitMs()));
            return 2;
        }
        if (ReadCD(MessageBlock::kSelectorBlock, block) != 0) return 1;
    }
    return 0;
}

int HostTransport::exchange(uint16_t messageType, uint32_t requestLength, uint32_t& responseLength,
                            const uint8_t* request, uint8_t* response, uint32_t responseCapacity,
                            uint32_t pollBudget) {
    if (requestLength > kMaxMessage) return -1;
    uint8_t* block = block_.get();
    initMessageBlock(block);
    putLe16(block + MessageBlock::kTypeOffset, messageType);
    putLe32(block + MessageBlock::kRequestLengthOffset, requestLength);
    putLe32(block + MessageBlock::kResponseLengthOffset, responseLength);
    if (WriteCD(MessageBlock::kSelectorBlock, block) != 0) return -1;

    // The last piece is sent whole: its tail is zeros, never a previous exchange's bytes.
    uint8_t* staging = staging_.get();
    if (requestLength > 0) std::memcpy(staging, request, requestLength);
    std::memset(staging + requestLength, 0, roundedToBlocks(requestLength) - requestLength);
    if (writeBlocks(staging, MessageBlock::kSelectorData, requestLength) != 0) return -1;

    switch (waitForAnswer(block, pollBudget)) {
        case 0:
            break;
        case 2:
            return -2;
        default:
            return -1;
    }
    const uint16_t status = getLe16(block + MessageBlock::kStatusOffset);
    if (status != MessageBlock::kStatusDone) {
        switch (status) {
            case MessageBlock::kStatusTooMuchData:
                trace("Too much data\n");
                break;
            case MessageBlock::kStatusTooLittleData:
                trace("Too little data\n");
                break;
            case MessageBlock::kStatusUnsupported:
                trace("Unsupported command\n");
                break;
            default:
                trace("Unknown status\n");
                break;
        }
        return status;
    }
    return readFinalAnswer(block, responseLength, response, responseCapacity) ? 0 : -1;
}

bool HostTransport::readFinalAnswer(uint8_t* block, uint32_t& responseLength, uint8_t* response,
                                    uint32_t responseCapacity) {
    // The length comes from the card: checked before anything is sized or copied from it.
    const uint32_t length = getLe32(block + MessageBlock::kResponseLengthOffset);
    // An empty answer carries nothing to read; any other must hold at least a header.
    if ((length != 0 && length < kMinResponse) || length > kMaxMessage ||
        length > responseCapacity) {
        trace("Bad response length %lu\n", static_cast<unsigned long>(length));
        return false;
    }
    responseLength = length;
    uint8_t* staging = staging_.get();
    std::memset(staging, 0, roundedToBlocks(length));
    if (readBlocks(staging, MessageBlock::kSelectorData, length) != 0) return false;
    // The card's channel is ours until this read; its content and result do not matter.
    ReadCD(MessageBlock::kSelectorBlock, block);
    std::memcpy(response, staging, length);
    return true;
}

int HostTransport::transact(const uint8_t* request, uint32_t& responseLength, uint8_t* response,
                            uint32_t waitPolls) {
    const uint32_t payload = getLe32(request + CommandHeader::kPayloadLengthOffset);
    if (payload > CommandHeader::kMaxPayload) return 1;
    const uint32_t requestLength = static_cast<uint32_t>(CommandHeader::kSize) + payload;
    uint32_t length = responseLength;
    const int result = lockedExchange(MessageBlock::kTypeCardCommand, requestLength, length,
                                      request, response, kMaxMessage, waitPolls);
    if (result == -2) return 24;
    if (result != 0) return 1;
    // A card packet has a header, and an answer shorter than the payload its header announces
    // would hand stale bytes on.
    if (length < CommandHeader::kSize ||
        getLe32(response + CommandHeader::kPayloadLengthOffset) > length - CommandHeader::kSize) {
        trace("Response shorter than its header\n");
        return 1;
    }
    responseLength = length;
    return 0;
}

}  // namespace vorl
