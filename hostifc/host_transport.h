#pragma once
// The message layer of the host interface and the CardTransport built on it. A request packet
// goes to the card as a MessageBlock (selector 1) followed by 512-byte data blocks
// (selector 2); the host polls the block until the card has finished and then reads the answer
// the same way. The device operations are supplied by HostInterface.
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "wire/card_transport.h"
#include "wire/command_header.h"
#include "wire/message_block.h"

namespace vorl {

class HostTransport : public CardTransport {
public:
    // The largest request or answer the layer carries: one whole card packet.
    static constexpr uint32_t kMaxMessage = CommandHeader::kMaxPacket;
    // An answer is at least a CommandHeader.
    static constexpr uint32_t kMinResponse = CommandHeader::kSize;

    HostTransport();
    ~HostTransport() override;
    HostTransport(const HostTransport&) = delete;
    HostTransport& operator=(const HostTransport&) = delete;

    // One exchange of a card packet. 0 on success (whole answer in `response`, its length in
    // `responseLength`), 24 when the poll budget `waitPolls` ran out (0: no limit), 1 on any
    // other failure (not connected, transfer failure, card status, malformed answer).
    int transact(const uint8_t* request, uint32_t& responseLength, uint8_t* response,
                 uint32_t waitPolls) override;

    // connect / disconnect: HostInterface. Find the card's drive: 1 found, 0 not.
    virtual int findDrive() = 0;
    // Block commands with the retry rule: 0, or the last failing result. ReadCD fills 512
    // bytes of `destination` only on success.
    virtual int ReadCD(int8_t selector, uint8_t* destination) = 0;
    virtual int WriteCD(int8_t selector, const uint8_t* source) = 0;
    // 0 when the drive handle is open afterwards, 1 when opening failed.
    virtual int openDrive() = 0;
    // Closes the handle if open; returns 0.
    virtual int closeDrive() = 0;
    virtual void pause(uint32_t milliseconds) = 0;
    // One "[K8HOSTIFC]: "-prefixed diagnostic line (1024 bytes at most, always terminated).
    [[gnu::format(printf, 2, 3)]] virtual void trace(const char* format, ...) = 0;

    // Clears the 512 bytes, writes the signature and the 0x55 0xAA trailer.
    virtual void initMessageBlock(uint8_t* block);
    // WriteCD / ReadCD of each 512-byte piece below `length`: 0, or 1 at the first failure.
    virtual int writeBlocks(const uint8_t* buffer, int8_t selector, uint32_t length);
    virtual int readBlocks(uint8_t* buffer, int8_t selector, uint32_t length);
    // Polls the block until the card clears its busy bit: 0 finished, 1 read failed, 2 the
    // budget ran out (N > 0 allows N + 1 reads and N + 1 pauses of 1 ms; 0 sets no count) or
    // the card stayed busy past platform::answerWaitLimitMs(), whatever the budget.
    virtual int waitForAnswer(uint8_t* block, uint32_t pollBudget);
    // exchange() under the machine-wide access mutex: -1 when not connected (nothing sent).
    virtual int lockedExchange(uint16_t messageType, uint32_t requestLength,
                               uint32_t& responseLength, const uint8_t* request, uint8_t* response,
                               uint32_t responseCapacity, uint32_t pollBudget) = 0;

    // One exchange without the mutex: 0 success, -1 transfer failure or an answer length
    // that is neither 0 nor within kMinResponse..kMaxMessage, or above `responseCapacity`
    // (nothing is copied then), -2 poll budget used up,
    // or the card's nonzero status. `responseLength` is sent to the card on entry and set to
    // the answer's length on success.
    int exchange(uint16_t messageType, uint32_t requestLength, uint32_t& responseLength,
                 const uint8_t* request, uint8_t* response, uint32_t responseCapacity,
                 uint32_t pollBudget);

protected:
    struct FreeMemory {
        void operator()(uint8_t* memory) const { std::free(memory); }
    };
    using TransferBuffer = std::unique_ptr<uint8_t[], FreeMemory>;

    // A zeroed buffer of `size` bytes; when memory cannot be had the process ends (exit 1)
    // after "Memory allocation error.  Terminating program\n".
    static TransferBuffer allocateTransferBuffer(size_t size);
    // Writes the formatted line; HostInterface::trace forwards here.
    void traceLine(const char* format, va_list arguments);

private:
    bool readFinalAnswer(uint8_t* block, uint32_t& responseLength, uint8_t* response,
                         uint32_t responseCapacity);

    // Reused for every exchange: the block and the request/answer staging areas (a packet
    // rounded up to whole 512-byte pieces, plus one).
    TransferBuffer block_;
    TransferBuffer staging_;
};

}  // namespace vorl
