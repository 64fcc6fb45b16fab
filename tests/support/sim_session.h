#pragma once
// A CardSession on an in-process simulated card, so that library code is tested against the
// card's real behaviour without sockets. Every request is recorded on `wire`.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cardsim/sim_card.h"
#include "cardsim/sim_flash_group.h"
#include "protocol/card_session.h"
#include "tests/support/fake_transport.h"

namespace vorl::test {

struct SimSession {
    sim::SimOptions options;
    std::unique_ptr<sim::SimCard> card;
    std::unique_ptr<CardSession> session;
    SimCardTransport* wire = nullptr;
    sim::SimFlashGroup* flash = nullptr;

    // (Re)starts the card with `options`, keeping its state in `stateDir` ("" for none). The
    // old session goes before the card it talks to.
    void start(const std::string& stateDir = {});
    // The command codes of every request so far, in order.
    std::vector<uint16_t> commands() const;
    // The block numbers of every block write (0x0601) so far, in order.
    std::vector<uint32_t> writtenBlocks() const;
};

}  // namespace vorl::test
