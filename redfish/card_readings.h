#pragma once
// The readings Redfish clients poll, shared by the resources that show them and served from
// the card's cache for the configured time: the health voltages with the sensor readings, and
// the server's power state as the event log tells it.
#include <memory>
#include <optional>

#include "cardread/card_reading.h"
#include "redfish/exchange.h"

namespace vorl::redfish {

// A lost connection ends a read of several commands; a refused command only leaves its part
// out. Collects the statuses of such a read.
class ReadSteps {
public:
    // True when `status` is a success.
    bool ok(int status);
    // What the read gives CardLink: 33 when the connection was lost, else 0.
    int result() const;

private:
    bool lost_ = false;
};

// Health voltages and sensor readings; null after answering the card's failure.
std::shared_ptr<const cardread::CardReading> readEnvironment(Exchange& ex, Card& card);

// The firmware's version text and the flash sections' versions; null after answering.
std::shared_ptr<const cardread::CardReading> readFirmware(Exchange& ex, Card& card);

// The server's power as the newest power action in the card's event log (module 3: event 2 a
// power-down, events 1, 3 and 4 a reset, a power-up and a power cycle, all of which leave it
// on). Nothing known when the log holds no such record within its newest kPowerScan. nullopt
// after answering the card's failure.
std::optional<PowerReading> readPower(Exchange& ex, Card& card);
constexpr uint16_t kPowerScan = 64;

}  // namespace vorl::redfish
