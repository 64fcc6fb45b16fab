#pragma once
// Event log and alert recipients (group 0x04) of the simulated card.
// - Records are numbered 1..count in the order they were added; deleting one renumbers the
//   ones after it, so a listing by number always finds every record.
// - The log holds `capacity` records (--sel-capacity=N, default 64). When it is full, policy
//   roll-over (1) drops the oldest record, policy stop (2) refuses the new one with 18.
// - Every record carries a description text (0x0408): the card's own events bring theirs,
//   records added by the host get one made from their module, event and severity.
// - Eight alert recipients, set and read as key/value pairs (0x040E / 0x040F).
// State file: event_log.conf in the state directory.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "cardsim/sim_group.h"

namespace vorl::sim {

class SimEventLogGroup : public SimGroup {
public:
    static constexpr const char* kFileName = "event_log.conf";
    static constexpr size_t kDefaultCapacity = 64;
    static constexpr size_t kRecipientCount = 8;
    static constexpr uint8_t kVersion = 0x51;       // 1.5
    static constexpr uint8_t kSupportFlags = 0x09;  // delete, allocation information

    struct Record {
        std::array<uint8_t, 48> bytes{};  // wire form, record number excluded from meaning
        std::string description;
    };
    struct Recipient {
        std::string name, mail, snmp, pppLogin, method, pppPassword, level;
    };

    explicit SimEventLogGroup(size_t capacity = kDefaultCapacity);

    bool handles(uint16_t command) const override { return (command >> 8) == 0x04; }
    void handle(const SimRequest& request, SimReply& reply) override;
    void setDefaults() override;
    void load(const std::filesystem::path& dir) override;
    void save(const std::filesystem::path& dir) const override;

    // Logs one of the card's own events (module in the high byte of `eventId`). Returns false
    // when the log is full under the stop policy.
    bool logEvent(uint16_t eventId, uint8_t severity, const std::string& description);

    // The clock that stamps records (the card's clock once the card wires it).
    void setClock(std::function<int64_t()> clock) { clock_ = std::move(clock); }

    const std::deque<Record>& records() const { return records_; }
    uint8_t policy() const { return policy_; }
    const Recipient& recipient(size_t index) const { return recipients_.at(index - 1); }

private:
    uint16_t append(Record record);
    void getInfo(SimReply& reply) const;
    uint16_t getRecord(const SimRequest& request, SimReply& reply, bool extended) const;
    uint16_t addRecord(const SimRequest& request);
    uint16_t deleteRecord(const SimRequest& request);
    uint16_t setRecipient(const SimRequest& request);
    uint16_t getRecipient(const SimRequest& request, SimReply& reply) const;
    uint32_t now() const;

    size_t capacity_;
    std::function<int64_t()> clock_;
    std::deque<Record> records_;
    uint8_t policy_ = 1;
    uint32_t lastAddition_ = 0;
    uint32_t lastErase_ = 0;
    std::array<Recipient, kRecipientCount> recipients_;
};

}  // namespace vorl::sim
