#pragma once
// One command group of the simulated card. The card (SimCard) owns one instance of each group
// and runs every command under its lock, so a group needs no locking of its own.
#include <cstdint>
#include <filesystem>

namespace vorl::sim {

// The way a request reached the card.
enum class Link { Network, HostInterface };

struct SimRequest {
    uint16_t command = 0;
    const uint8_t* payload = nullptr;
    uint32_t length = 0;
    Link link = Link::Network;
};

// What the card does once it has answered.
enum class AfterReply { Nothing, Restart, RestartWithDefaults };

struct SimReply {
    uint16_t status = 0;
    uint8_t* payload = nullptr;  // kMaxPayload (66528) bytes, zero-filled before each command
    uint32_t length = 0;
    // Over TCP, false drops the answer (a new static address applies at once, so a real card's
    // answer never arrives). Over the host interface the answer is always sent.
    bool sendOverNetwork = true;
    AfterReply after = AfterReply::Nothing;
    // The group's persistent state changed: the card calls save() with its state directory.
    bool stateChanged = false;
};

class SimCard;

class SimGroup {
public:
    virtual ~SimGroup() = default;
    // True when this group answers `command`.
    virtual bool handles(uint16_t command) const = 0;
    // Carries out one command. Unknown sub-commands of a handled group: status 32.
    virtual void handle(const SimRequest& request, SimReply& reply) = 0;
    // Factory state (also what a 0x0901 reset restores).
    virtual void setDefaults() = 0;
    // Loads the group's state from `dir` (its own file or files there). Missing files keep the
    // defaults. Returns nothing: an unreadable state file is reported on stderr and ignored.
    virtual void load(const std::filesystem::path& dir) = 0;
    // Writes the group's state into `dir`.
    virtual void save(const std::filesystem::path& dir) const = 0;
};

}  // namespace vorl::sim
