#pragma once
// Network settings (0x07) and MAC address (0x08) of the simulated card.
// - 0x0700 reports the configuration; with --interface-down the interface name is empty.
// - 0x0701 takes a static address when all three texts are dotted-decimal addresses (else 28);
//   over TCP its answer is dropped, as a real card's is when it takes the new address at once.
// - 0x0702 switches to DHCP, which leases a fixed address.
// - 0x0800 answers the 6 MAC bytes; 0x0801 takes 7 bytes (else 28) and refuses a wrong
//   checksum byte with 34. The MAC address survives a reset to defaults.
// State file: network.conf in the state directory.
#include <cstdint>
#include <string>

#include "cardsim/sim_group.h"

namespace vorl::sim {

class SimNetworkGroup : public SimGroup {
public:
    static constexpr const char* kFileName = "network.conf";

    explicit SimNetworkGroup(bool interfaceDown);

    bool handles(uint16_t command) const override;
    void handle(const SimRequest& request, SimReply& reply) override;
    void setDefaults() override;
    void load(const std::filesystem::path& dir) override;
    void save(const std::filesystem::path& dir) const override;

    // The card's MAC address, 6 bytes (a firmware update keeps it).
    const uint8_t* mac() const { return mac_; }
    void setMac(const uint8_t* mac);

private:
    void answerConfig(SimReply& reply) const;
    void setStatic(const SimRequest& request, SimReply& reply);
    void setMacRecord(const SimRequest& request, SimReply& reply);

    bool interfaceDown_;
    bool dhcp_ = false;
    std::string ip_;
    std::string netmask_;
    std::string gateway_;
    uint8_t mac_[6] = {};
};

// True when `text` is exactly four decimal numbers 0..255 separated by "."; `value` gets the
// address with the first number in the high byte.
bool parseDottedQuad(const std::string& text, uint32_t& value);

}  // namespace vorl::sim
