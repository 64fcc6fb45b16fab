// The host interface's message layer (HostTransport over HostInterface): discovery, the probe and
// every block a card answers come from the input, and a card command runs over them.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <memory>
#include <vector>

#include "hostifc/host_interface.h"
#include "platform/deadline.h"
#include "platform/debug_output.h"
#include "platform/sleep.h"
#include "wire/command_header.h"

namespace {

using namespace vorl;

// A machine whose drive list, drive targets and every pass-through answer are fuzz bytes.
class FuzzMachine : public platform::DeviceBackend {
public:
    explicit FuzzMachine(FuzzedDataProvider& input) : input_(input) {}

    long queryDosDevice(const char* name, char* buffer, uint32_t capacity) override {
        // Mostly a sensible answer, so that the card is found and the message layer runs.
        const std::string text = input_.ConsumeBool()
                                     ? (name == nullptr ? std::string("D:\0E:\0\0", 7)
                                                        : std::string("\\Device\\CdRom0\0", 15))
                                     : input_.ConsumeRandomLengthString(64);
        if (text.size() > capacity) return platform::kDeviceQueryTooSmall;
        std::memcpy(buffer, text.data(), text.size());
        return static_cast<long>(text.size());
    }
    std::unique_ptr<platform::ScsiDevice> openDevice(const char*) override {
        return std::make_unique<Drive>(input_);
    }
    std::unique_ptr<platform::NamedMutex> createNamedMutex(const char*) override {
        return std::make_unique<NoLock>();
    }

private:
    struct NoLock : platform::NamedMutex {
        bool lock() override { return true; }
        void unlock() override {}
    };
    struct Drive : platform::ScsiDevice {
        explicit Drive(FuzzedDataProvider& input) : input(input) {}
        platform::PassThroughResult passThrough(const uint8_t* cdb, uint8_t, uint8_t* buffer,
                                                uint32_t size, platform::DataDirection direction,
                                                uint32_t) override {
            platform::PassThroughResult result;
            if (input.remaining_bytes() == 0) return result;  // refused: the link is gone
            const uint8_t flags = input.ConsumeIntegral<uint8_t>();
            result.refused = (flags & 0x07) == 0x07;
            result.scsiStatus = (flags & 0x18) == 0x18 ? 2 : 0;
            result.bytesMoved = input.ConsumeIntegralInRange<uint32_t>(0, size);
            if (cdb[0] == 0xEE && (flags & 0x20)) {
                std::memcpy(buffer, "$$$ZOR$$$", std::min<uint32_t>(size, 10));
            } else if (direction == platform::DataDirection::FromDevice) {
                const std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(size);
                if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
            }
            return result;
        }
        FuzzedDataProvider& input;
    };
    FuzzedDataProvider& input_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    platform::SleepRecorder noPauses;
    platform::DebugRecorder quiet;
    platform::WaitLimitOverride shortLimit(200);
    const uint32_t payload = input.ConsumeIntegralInRange<uint32_t>(0, 2048);
    const uint32_t polls = input.ConsumeIntegralInRange<uint32_t>(0, 3);
    HostInterface host(std::make_unique<FuzzMachine>(input));
    if (host.connect() != 0) return 0;
    std::vector<uint8_t> request(CommandHeader::kMaxPacket), response(CommandHeader::kMaxPacket);
    for (int i = 0; i < 3 && input.remaining_bytes() > 0; ++i) {
        CommandHeader::build(request.data(), 0x0503, payload);
        uint32_t responseLength = 0;
        host.transact(request.data(), responseLength, response.data(), polls);
    }
    MousePacket packet;
    host.readMousePacket(packet);
    host.heartbeatStart();
    host.heartbeatPoll();
    host.heartbeatStop();
    return 0;
}
