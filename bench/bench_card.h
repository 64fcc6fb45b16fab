#pragma once
// A simulated card whose device link listens on 127.0.0.1 for one benchmark, and the host
// interface's device backend that reaches it.
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cardsim/device_link.h"
#include "cardsim/sim_card.h"
#include "platform/sim_device.h"
#include "platform/sockets.h"

namespace vorl::bench {

class BenchCard {
public:
    // `extra`: more vorlsim options ("key", "value") for the card and its link.
    BenchCard(uint16_t port, const std::vector<std::pair<std::string, std::string>>& extra)
        : port_(port) {
        platform::startNetworking();
        options_.add("devlink-listen", "127.0.0.1");
        options_.add("devlink-port", std::to_string(port));
        for (const auto& [key, value] : extra) options_.add(key, value);
        card_ = std::make_unique<sim::SimCard>(std::filesystem::path(), options_);
        ready_ = link_.start(*card_, options_);
    }
    ~BenchCard() { link_.stop(); }

    // False when the link could not start (the benchmark then skips).
    bool ready() const { return ready_; }
    std::unique_ptr<platform::DeviceBackend> backend() const {
        uint32_t address = 0;
        platform::parseIpv4("127.0.0.1", address);
        return platform::makeSimDeviceBackend(address, port_);
    }

private:
    uint16_t port_;
    sim::SimOptions options_;
    std::unique_ptr<sim::SimCard> card_;
    sim::DeviceLink link_;
    bool ready_ = false;
};

}  // namespace vorl::bench
