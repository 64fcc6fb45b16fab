// Pointer packets end to end: a text queued on vorlsim's device link (request 'M'), the
// packets the card then answers to 0xE1, and the tray program's translation of any 12 bytes
// into input events, which must stay in the absolute range and within four events a packet.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "cardsim/device_link_card.h"
#include "cardsim/sim_card.h"
#include "mouse/pointer_translator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl;
    FuzzedDataProvider input(data, size);
    static sim::SimOptions options;
    static sim::SimCard simCard({}, options);
    sim::DeviceLinkCard card(simCard, sim::DeviceLinkConfig{});
    mouse::PointerTranslator translator;
    while (input.remaining_bytes() > 0) {
        MousePacket packet;
        if (input.ConsumeBool()) {
            uint32_t queued = 0;
            card.queueMousePackets(input.ConsumeRandomLengthString(256), queued);
            const uint8_t cdb[10] = {0xE1};
            if (card.passThrough(1, 'E', cdb, 10, platform::DataDirection::FromDevice, packet.bytes,
                                 MousePacket::kSize)
                    .refused)
                std::abort();
        } else {
            input.ConsumeData(packet.bytes, MousePacket::kSize);
        }
        mouse::PointerTranslator::Events events;
        const size_t count = translator.translate(packet, events);
        if (count < 1 || count > mouse::PointerTranslator::kMaxEvents) std::abort();
        for (size_t i = 0; i < count; ++i)
            if (events[i].x > 65535 || events[i].y > 65535) std::abort();
    }
    return 0;
}
