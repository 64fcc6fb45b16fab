// vorlsim's device link, card side: the pass-through requests of two hosts (opcode, selector,
// direction, size and data from the input) against the message layer and the vendor commands.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "cardsim/device_link_card.h"
#include "cardsim/sim_card.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl;
    FuzzedDataProvider input(data, size);
    // One card for the whole run (building its default image is slow), reset before each input.
    static sim::SimOptions options;
    static sim::SimCard simCard({}, options);
    simCard.restart(true);
    sim::DeviceLinkConfig config;
    config.busyPolls = input.ConsumeIntegralInRange<uint32_t>(0, 3);
    config.stuckBusy = input.ConsumeBool();
    config.stuckExchanges = input.ConsumeIntegralInRange<uint32_t>(0, 2);
    sim::DeviceLinkCard card(simCard, config);
    card.deviceList();
    std::vector<uint8_t> buffer(65536);
    while (input.remaining_bytes() > 0) {
        const uint64_t client = input.ConsumeIntegralInRange<uint64_t>(1, 2);
        const char drive =
            input.ConsumeBool() ? 'E' : static_cast<char>(input.ConsumeIntegral<uint8_t>());
        uint8_t cdb[16] = {};
        cdb[0] = static_cast<uint8_t>(0xE0 | input.ConsumeIntegralInRange<uint8_t>(0, 15));
        cdb[5] = input.ConsumeIntegralInRange<uint8_t>(0, 3);
        const uint8_t cdbLength = input.ConsumeIntegralInRange<uint8_t>(0, 16);
        const auto direction = input.ConsumeBool() ? platform::DataDirection::ToDevice
                                                   : platform::DataDirection::FromDevice;
        const uint32_t transfer =
            input.ConsumeBool() ? 512 : input.ConsumeIntegralInRange<uint32_t>(0, 65536);
        std::fill(buffer.begin(), buffer.begin() + transfer, 0);
        const std::vector<uint8_t> sent = input.ConsumeBytes<uint8_t>(transfer);
        std::copy(sent.begin(), sent.end(), buffer.begin());
        card.passThrough(client, drive, cdb, cdbLength, direction, buffer.data(), transfer);
        if (input.ConsumeIntegral<uint8_t>() == 0) card.clientGone(client);
    }
    card.statistics();
    return 0;
}
