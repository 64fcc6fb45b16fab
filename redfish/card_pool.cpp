#include "redfish/card_pool.h"

namespace vorl::redfish {

Card::Card(CardEndpoint endpoint, const CardLink::TransportFactory& factory)
    : link(std::move(endpoint), factory) {
    link.addCacheClearer([this] { environment.clear(); });
    link.addCacheClearer([this] { firmware.clear(); });
    link.addCacheClearer([this] { power.clear(); });
}

CardPool::CardPool(std::vector<CardEndpoint> endpoints, const CardLink::TransportFactory& factory) {
    for (CardEndpoint& endpoint : endpoints)
        cards_.push_back(std::make_unique<Card>(std::move(endpoint), factory));
}

Card* CardPool::find(const std::string& id) const {
    for (const auto& card : cards_)
        if (card->link.id() == id) return card.get();
    return nullptr;
}

void CardPool::closeIdle(Clock::duration idle) {
    for (const auto& card : cards_) card->link.closeIfIdle(idle);
}

}  // namespace vorl::redfish
