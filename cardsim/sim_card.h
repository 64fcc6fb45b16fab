#pragma once
// The simulated card: its command groups, its state directory and its lock. Both the TCP server
// and the host-interface device link hand every command to execute().
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "cardsim/sim_group.h"
#include "cardsim/sim_options.h"

namespace vorl::sim {

class SimCard {
public:
    // Builds every group, sets defaults and loads `stateDir` when it is not empty.
    SimCard(std::filesystem::path stateDir, SimOptions& options);
    ~SimCard();

    // Runs one command under the card's lock: the group that handles it, or status 32.
    // `reply.payload` must hold kMaxPayload bytes; it is zero-filled first.
    void execute(const SimRequest& request, SimReply& reply);

    // The group of type G, or nullptr (groups reach each other this way, under the lock).
    template <class G>
    G* group() {
        for (auto& g : groups_)
            if (auto* found = dynamic_cast<G*>(g.get())) return found;
        return nullptr;
    }

    // A card restart: state is reloaded from the state directory (kept), or every group returns
    // to its defaults (and that is saved). Takes the lock.
    void restart(bool withDefaults);

    // Incremented on every restart; connection handlers end when it changes.
    unsigned generation() const;

    // Successful network logins since the process started: one per card session, so that a test
    // can tell how many sessions a client opened.
    void countLogin() { logins_.fetch_add(1, std::memory_order_relaxed); }
    uint64_t logins() const { return logins_.load(std::memory_order_relaxed); }

    std::recursive_mutex& lock() { return lock_; }
    const std::filesystem::path& stateDir() const { return stateDir_; }

private:
    void saveGroup(const SimGroup& group) const;

    std::filesystem::path stateDir_;
    std::vector<std::unique_ptr<SimGroup>> groups_;
    mutable std::recursive_mutex lock_;
    unsigned generation_ = 0;
    std::atomic<uint64_t> logins_{0};
};

}  // namespace vorl::sim
