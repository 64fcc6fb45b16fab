// A CardSession of transport type 0 over the host interface: what vorlcli and vorlpanel run.
#include <gtest/gtest.h>

#include <cstring>

#include "hostifc/host_interface.h"
#include "protocol/card_session.h"
#include "tests/support/allocation_counter.h"
#include "wire/byte_order.h"
#include "wire/command_header.h"

namespace vorl {
namespace {

// A card that answers every request with a bare header, allocating nothing.
class QuietCard : public platform::DeviceBackend,
                  public platform::ScsiDevice,
                  public platform::NamedMutex {
public:
    long queryDosDevice(const char* name, char* buffer, uint32_t capacity) override {
        static const char kList[] = "E:\0\0";
        static const char kTarget[] = "\\Device\\CdRom0\0";
        const char* text = name == nullptr ? kList : kTarget;
        const uint32_t size = name == nullptr ? sizeof kList : sizeof kTarget;
        if (size > capacity) return platform::kDeviceQueryTooSmall;
        std::memcpy(buffer, text, size);
        return size;
    }
    std::unique_ptr<platform::ScsiDevice> openDevice(const char*) override {
        return std::make_unique<Forward>(*this);
    }
    std::unique_ptr<platform::NamedMutex> createNamedMutex(const char*) override {
        return std::make_unique<Forward>(*this);
    }
    platform::PassThroughResult passThrough(const uint8_t* cdb, uint8_t, uint8_t* buffer,
                                            uint32_t size, platform::DataDirection,
                                            uint32_t) override {
        ++commands;
        if (cdb[0] == 0xEE) std::memcpy(buffer, "$$$ZOR$$$", 10);
        if (cdb[0] == 0xE3 && cdb[5] == 1) {
            std::memset(buffer, 0, size);
            putLe32(buffer + 24, 32);
        }
        if (cdb[0] == 0xE3 && cdb[5] == 2) CommandHeader::buildResponse(buffer, 0x0503, 0, 0);
        platform::PassThroughResult result;
        result.refused = false;
        result.bytesMoved = size;
        return result;
    }
    bool lock() override { return true; }
    void unlock() override {}

    int commands = 0;

private:
    struct Forward : platform::ScsiDevice, platform::NamedMutex {
        explicit Forward(QuietCard& card) : card(card) {}
        platform::PassThroughResult passThrough(const uint8_t* cdb, uint8_t length, uint8_t* b,
                                                uint32_t size, platform::DataDirection d,
                                                uint32_t t) override {
            return card.passThrough(cdb, length, b, size, d, t);
        }
        bool lock() override { return true; }
        void unlock() override {}
        QuietCard& card;
    };
};

TEST(MessageLayerAllocationTest, TransactionsAllocateNothing) {
    auto backend = std::make_unique<QuietCard>();
    QuietCard* card = backend.get();
    CardSession session(std::make_unique<HostInterface>(std::move(backend)));
    ASSERT_EQ(session.connect(), 0);
    uint8_t buffer[64] = {};
    uint32_t length = 0;
    ASSERT_EQ(session.transact(0x0503, buffer, 0, length, 0, sizeof buffer), 0);
    const int before = card->commands;
    test::AllocationCounter counter;
    for (int i = 0; i < 10; ++i) ASSERT_EQ(session.transact(0x0503, buffer, 40, length, 0, 64), 0);
    EXPECT_EQ(counter.count(), 0u);
    EXPECT_EQ(card->commands - before, 10 * 5);  // block, one piece, poll, answer, final read
}

}  // namespace
}  // namespace vorl
