#pragma once
// The cards the service shows, by id: each with its link (the one session) and the readings
// Redfish clients poll, kept for the configured cache time and cleared by every write.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cardread/card_reading.h"
#include "redfish/card_link.h"

namespace vorl::redfish {

// What the card's event log tells of the server's power: the newest record of a power action.
struct PowerReading {
    std::optional<bool> on;  // none: the log holds no power action
};

struct Card {
    Card(CardEndpoint endpoint, const CardLink::TransportFactory& factory);

    CardLink link;
    CardCache<cardread::CardReading> environment;  // health voltages and sensor readings
    CardCache<cardread::CardReading> firmware;     // the flash sections' versions
    CardCache<PowerReading> power;
};

class CardPool {
public:
    CardPool(std::vector<CardEndpoint> endpoints, const CardLink::TransportFactory& factory);

    Card* find(const std::string& id) const;
    const std::vector<std::unique_ptr<Card>>& cards() const { return cards_; }
    // Closes sessions nobody used for `idle` (never waits on a card in use).
    void closeIdle(Clock::duration idle);

private:
    std::vector<std::unique_ptr<Card>> cards_;
};

}  // namespace vorl::redfish
