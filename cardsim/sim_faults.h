#pragma once
// Fault options of the simulated card's TCP server: ways a broken card or network answers, so
// that tests can reach every failure path of the tools. Each applies to every request with the
// given command code, or with --fault-on to some of them only.
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "cardsim/sim_options.h"

namespace vorl::sim {

struct SimFaults {
    static constexpr size_t kMaxStrayBytes = 65536;
    static constexpr uint32_t kMaxReplyDelayMs = 3600000;

    size_t strayBytes = 0;           // junk bytes before every response
    std::set<uint16_t> badChecksum;  // response header checksum made wrong
    std::set<uint16_t> noReply;      // no response, the connection stays open
    std::set<uint16_t> halfReply;    // half the response packet, then the connection closes
    std::map<uint16_t, uint16_t> forceStatus;   // answered with this status, not executed
    std::map<uint16_t, uint32_t> replyDelayMs;  // answered this many milliseconds late
    // Only this many bytes of the response are sent; then the card says nothing more on that
    // connection (it reads on, and keeps the connection open).
    std::map<uint16_t, uint32_t> stallAfterBytes;
    // --fault-on=CODE:N or CODE:N-M: the options above hit only the requests of CODE numbered
    // N to M, counted from 1 over every connection to the card; the others are served as usual.
    // A step of a multi-step operation (the second add of a password change, say) can then fail
    // while the steps that put things right work.
    std::map<uint16_t, std::pair<uint32_t, uint32_t>> faultOn;

    // Whether `command` is limited by --fault-on (its requests are then counted).
    bool counted(uint16_t command) const { return faultOn.count(command) != 0; }
    // Whether the options hit request `number` (from 1) of `command`.
    bool hits(uint16_t command, uint32_t number) const;

    // Takes --stray-bytes, --bad-checksum, --no-reply, --half-reply, --force-status,
    // --reply-delay, --stall-reply and --fault-on from `options`. Codes are hex ("0x0502") or
    // decimal; a list of codes (or of CODE:VALUE pairs) may be separated by commas. Returns false
    // with a message in `error` for a malformed value.
    bool take(SimOptions& options, std::string& error);

    // The junk sent before each response: `strayBytes` bytes that contain a 'Z' and a partial
    // signature ("ZOR U" 0xAA) and end with a byte that matches no signature byte, so a client
    // that restarts its search after a mismatch still finds the real signature behind them.
    std::vector<uint8_t> strayPrefix() const;
};

// Numbers a card's requests by command code for --fault-on. Shared by the card's connections.
class SimRequestCounter {
public:
    // The number of this request among those of `command` so far, from 1.
    uint32_t next(uint16_t command);

private:
    std::mutex lock_;
    std::map<uint16_t, uint32_t> counts_;
};

// Parses a command code or status: "0x..." hex or decimal, at most 0xFFFF.
bool parseCode(const std::string& text, uint16_t& value);

}  // namespace vorl::sim
