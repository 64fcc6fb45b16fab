#include "redfish/card_readings.h"

#include "cardread/event_log.h"
#include "wire/status_codes.h"

namespace vorl::redfish {
namespace {

constexpr uint8_t kPowerModule = 3;
constexpr uint8_t kPowerDown = 2;

bool isPowerAction(const cardread::EventLogEntry& entry) {
    return entry.module() == kPowerModule && entry.event() >= 1 && entry.event() <= 4;
}

// A reading of `collectors`, through `cache`.
std::shared_ptr<const cardread::CardReading> cachedReading(Exchange& ex, Card& card,
                                                           CardCache<cardread::CardReading>& cache,
                                                           unsigned collectors) {
    if (auto cached = cache.get(ex.parts.settings.cacheTime)) return cached;
    const uint64_t generation = cache.generation();
    std::shared_ptr<const cardread::CardReading> reading;
    const CardResult result =
        card.link.run(ex.cardDeadline(), CardLink::Kind::Read, [&](CardSession& session) {
            auto fresh =
                std::make_shared<cardread::CardReading>(cardread::readCard(session, collectors));
            const int status = fresh->connectionLost ? kStatusConnectError : kStatusSuccess;
            reading = std::move(fresh);
            return status;
        });
    if (!result.ok()) {
        ex.cardFailed(card, result);
        return nullptr;
    }
    cache.put(reading, generation);
    return reading;
}

}  // namespace

bool ReadSteps::ok(int status) {
    if (status == kStatusConnectError) lost_ = true;
    return status == kStatusSuccess;
}

int ReadSteps::result() const {
    return lost_ ? kStatusConnectError : kStatusSuccess;
}

std::shared_ptr<const cardread::CardReading> readEnvironment(Exchange& ex, Card& card) {
    return cachedReading(ex, card, card.environment, cardread::kHealth | cardread::kSensors);
}

std::shared_ptr<const cardread::CardReading> readFirmware(Exchange& ex, Card& card) {
    return cachedReading(ex, card, card.firmware, cardread::kFirmware);
}

std::optional<PowerReading> readPower(Exchange& ex, Card& card) {
    if (auto cached = card.power.get(ex.parts.settings.cacheTime)) return *cached;
    const uint64_t generation = card.power.generation();
    PowerReading power;
    const CardResult result =
        card.link.run(ex.cardDeadline(), CardLink::Kind::Read, [&](CardSession& session) {
            cardread::EventLogEntry newest;
            bool found = false;
            const int status =
                cardread::findNewestEntry(session, kPowerScan, isPowerAction, newest, found);
            if (found) power.on = newest.event() != kPowerDown;
            // A log the card will not give leaves the power state unknown, not the answer.
            return status == kStatusConnectError ? status : kStatusSuccess;
        });
    if (!result.ok()) {
        ex.cardFailed(card, result);
        return std::nullopt;
    }
    card.power.put(std::make_shared<const PowerReading>(power), generation);
    return power;
}

}  // namespace vorl::redfish
