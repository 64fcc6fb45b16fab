#pragma once
// General settings (0x09) and heartbeat interval (0x0A) of the simulated card.
// - 0x0900 / 0x0901 answer, then restart the card with its configuration kept / back to
//   defaults (the TCP connection ends).
// - 0x0903 firmware version and build date: the factory firmware's "2.4.1" while the OS module
//   booted is the factory one, else that module's version (a flash and restart change it);
//   0x0904-0x0909 server information, card name and mail settings, each request of its exact
//   record size (else 28).
// - 0x090A / 0x090B a clock that runs: card time = host time + an offset kept in state. An
//   earlier time is taken only with the roll-back flag (else 26), and the card restarts for it.
//   The clock is hardware: neither reset changes it.
// - 0x0A00 / 0x0A01 the heartbeat interval in seconds; 0 or less is refused with 26.
// State file: general.conf in the state directory.
#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "cardsim/sim_group.h"

namespace vorl::sim {

class SimGeneralGroup : public SimGroup {
public:
    static constexpr const char* kFileName = "general.conf";
    static constexpr int32_t kDefaultHeartbeatInterval = 240;

    // `card` (may be null) gives the OS module that was booted.
    explicit SimGeneralGroup(SimCard* card = nullptr);

    bool handles(uint16_t command) const override;
    void handle(const SimRequest& request, SimReply& reply) override;
    void setDefaults() override;
    void load(const std::filesystem::path& dir) override;
    void save(const std::filesystem::path& dir) const override;

    // The factory firmware's version text, reported while the factory OS module runs.
    void setFirmwareVersion(const std::string& version) { firmwareVersion_ = version; }
    // The version text 0x0903 reports now.
    std::string firmwareVersion() const;
    // The card's present time in seconds since 1970.
    int64_t cardTime() const { return hostClock_() + clockOffset_; }
    // Test seam: the host clock the card's clock runs on.
    void setHostClock(std::function<int64_t()> clock) { hostClock_ = std::move(clock); }

private:
    void handleSettings(const SimRequest& request, SimReply& reply);
    void handleClock(const SimRequest& request, SimReply& reply);
    void handleHeartbeat(const SimRequest& request, SimReply& reply);
    // Takes a record of exactly `size` bytes into `target`; 28 otherwise.
    template <size_t N>
    void store(const SimRequest& request, SimReply& reply, std::array<uint8_t, N>& target);

    SimCard* card_;
    std::function<int64_t()> hostClock_;
    std::string firmwareVersion_;
    std::array<uint8_t, 152> serverInfo_{};
    std::array<uint8_t, 256> cardName_{};
    std::array<uint8_t, 544> smtp_{};
    int64_t clockOffset_ = 0;
    int32_t heartbeatInterval_ = kDefaultHeartbeatInterval;
};

}  // namespace vorl::sim
