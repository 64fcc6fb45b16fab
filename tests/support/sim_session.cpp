#include "tests/support/sim_session.h"

#include "wire/byte_order.h"

namespace vorl::test {

void SimSession::start(const std::string& stateDir) {
    session.reset();
    card = std::make_unique<sim::SimCard>(stateDir, options);
    auto transport = std::make_unique<SimCardTransport>(*card);
    wire = transport.get();
    session = std::make_unique<CardSession>(std::move(transport));
    flash = card->group<sim::SimFlashGroup>();
}

std::vector<uint16_t> SimSession::commands() const {
    std::vector<uint16_t> codes;
    for (const RecordedRequest& r : wire->requests) codes.push_back(r.command);
    return codes;
}

std::vector<uint32_t> SimSession::writtenBlocks() const {
    std::vector<uint32_t> blocks;
    for (const RecordedRequest& r : wire->requests)
        if (r.command == 0x0601 && r.payload.size() >= 4)
            blocks.push_back(getBe32(r.payload.data()));
    return blocks;
}

}  // namespace vorl::test
