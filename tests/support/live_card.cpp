#include "tests/support/live_card.h"

#include <stdexcept>

namespace vorl::test {

LiveCard::LiveCard(const std::vector<std::pair<std::string, std::string>>& options) {
    for (const auto& [key, value] : options) options_.add(key, value);
    card_ = std::make_unique<sim::SimCard>("", options_);
    sim::SimFaults faults;
    std::string error;
    if (!faults.take(options_, error)) throw std::runtime_error(error);
    server_ = std::make_unique<sim::SimServer>(*card_, faults);
    if (!server_->listen("127.0.0.1", 0)) throw std::runtime_error("no loopback port");
    server_->start();
}

LiveCard::~LiveCard() {
    server_->stop();
}

}  // namespace vorl::test
