#pragma once
// The host-interface device link of the simulated card (see cardsim/README.md).
#include <memory>
#include <string>

#include "cardsim/sim_card.h"
#include "cardsim/sim_options.h"

namespace vorl::sim {

class ConnectionServer;
class DeviceLinkCard;

class DeviceLink {
public:
    DeviceLink();
    ~DeviceLink();  // stop()
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Starts serving the device link in the background (its options come from `options`;
    // without --devlink-listen it listens on `defaultAddress`, the card's own address). True
    // also when no link is wanted (--devlink-port=0) or the default address is taken (a warning
    // then); false when it could not start as asked (the reason is printed on stderr).
    bool start(SimCard& card, SimOptions& options, const std::string& defaultAddress = "127.0.0.1");
    // Stops it; call before the card is destroyed. Idempotent.
    void stop();

private:
    std::unique_ptr<DeviceLinkCard> card_;
    std::unique_ptr<ConnectionServer> server_;
};

}  // namespace vorl::sim
