// vorlsim's card groups: a sequence of requests (command code, link, payload) from the input,
// run on one simulated card, as a logged-in client or the host interface would send them.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "cardsim/sim_card.h"
#include "wire/command_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl;
    FuzzedDataProvider input(data, size);
    // One card for the whole run (building its default image is slow), back to its factory
    // settings before each input; only what it keeps across a reset (flash, files, clock) may
    // carry over from one input to the next.
    static sim::SimOptions options;
    static sim::SimCard card({}, options);
    card.restart(true);
    static std::vector<uint8_t> reply(CommandHeader::kMaxPayload);
    for (int i = 0; i < 16 && input.remaining_bytes() > 0; ++i) {
        // Mostly commands of the groups that exist.
        uint16_t command = input.ConsumeIntegral<uint16_t>();
        if (input.ConsumeBool())
            command = static_cast<uint16_t>((command % 0x0D) << 8 | (command >> 8) % 0x10);
        const bool host = input.ConsumeBool();
        const size_t length = input.ConsumeIntegralInRange<size_t>(0, CommandHeader::kMaxPayload);
        const std::vector<uint8_t> payload = input.ConsumeBytes<uint8_t>(length);
        sim::SimRequest request;
        request.command = command;
        request.payload = payload.data();
        request.length = static_cast<uint32_t>(payload.size());
        request.link = host ? sim::Link::HostInterface : sim::Link::Network;
        sim::SimReply answer;
        answer.payload = reply.data();
        // Restarts and the clock's roll-back are part of what a client may ask for.
        card.execute(request, answer);
        if (answer.after != sim::AfterReply::Nothing)
            card.restart(answer.after == sim::AfterReply::RestartWithDefaults);
    }
    return 0;
}
