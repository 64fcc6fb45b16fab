#pragma once
// Bounds and shares the probes. A probe runs on the thread of the request that asked for it (no
// hand-over to another thread), at most `limit` at once. Two probes of the same key (target and
// module) asked for while one is running share that one's result, so a card never sees two
// sessions from one exporter at once. A caller waits at most until its own deadline, for a free
// slot or for the shared result.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "cardread/card_reading.h"

namespace vorl::exporter {

using cardread::CardReading;

class ProbePool {
public:
    using Probe = std::function<CardReading()>;

    explicit ProbePool(size_t limit) : limit_(limit) {}
    ProbePool(const ProbePool&) = delete;
    ProbePool& operator=(const ProbePool&) = delete;

    // The reading of `probe` (or of the probe already running under `key`), or nothing when no
    // slot came free or the shared probe did not finish by `deadline`. The probe itself must
    // end by the deadline it was given.
    std::optional<CardReading> run(const std::string& key, const Probe& probe,
                                   std::chrono::steady_clock::time_point deadline);

    size_t running() const;  // probes running now (card sessions in use)
    size_t sharing() const;  // callers waiting for a probe another caller runs

private:
    struct Shared {
        std::optional<CardReading> reading;
        size_t waiters = 0;  // callers sharing this probe (its reading is copied only for them)
        bool finished = false;
    };

    // Gives the slot back and hands `reading` (nullptr: none) to the callers sharing it.
    void finish(const std::string& key, Shared& shared, const CardReading* reading);

    mutable std::mutex mutex_;
    std::condition_variable changed_;  // a probe finished: a slot and maybe a shared result
    std::map<std::string, std::shared_ptr<Shared>> inFlight_;
    size_t limit_;
    size_t running_ = 0;
    size_t sharing_ = 0;
};

}  // namespace vorl::exporter
