#pragma once
// The host-interface device link of the simulated card (see cardsim/README.md).
#include <string>

#include "cardsim/sim_card.h"
#include "cardsim/sim_options.h"

namespace vorl::sim {

// Starts serving the device link in the background (its options come from `options`; without
// --devlink-listen it listens on `defaultAddress`, the card's own address).
// Returns false when it could not start (the reason is printed on stderr).
bool startDeviceLink(SimCard& card, SimOptions& options,
                     const std::string& defaultAddress = "127.0.0.1");
// Stops it (before the card is destroyed).
void stopDeviceLink();

}  // namespace vorl::sim
