#pragma once
// Runs the probes on worker threads, never on the web layer's IO threads, and keeps the cards
// apart. Probes of one key (target and module) asked for while one is queued or running share
// it, so a card never sees two sessions from one exporter for the same module. No target
// (card address) holds more than `perTarget` workers, so a dead or slow card cannot take the
// workers from the rest: a probe of a healthy card starts at once while any worker is free.
// Workers are started as needed, up to `workers`. Every caller is answered by its own
// deadline: the reading, or nothing.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cardread/card_reading.h"

namespace vorl::exporter {

using cardread::CardReading;

class ProbePool {
public:
    using Clock = std::chrono::steady_clock;
    using Probe = std::function<CardReading()>;
    // Gets the reading, or nothing when it did not come by the caller's deadline (or the
    // probe failed by throwing). Runs on a worker or on the pool's deadline thread.
    using Done = std::function<void(std::optional<CardReading>)>;

    explicit ProbePool(size_t workers, size_t perTarget = 2);
    ~ProbePool();  // stop(), waiting as long as it takes
    ProbePool(const ProbePool&) = delete;
    ProbePool& operator=(const ProbePool&) = delete;

    // Queues `probe` of `target` under `key`, or joins the probe already queued or running
    // under `key`. `done` is called exactly once, never from inside submit.
    void submit(const std::string& key, const std::string& target, Probe probe,
                Clock::time_point deadline, Done done);
    // submit() and a wait for its answer; `key` is the target too.
    std::optional<CardReading> run(const std::string& key, const Probe& probe,
                                   Clock::time_point deadline);

    size_t running() const;  // probes running now (card sessions in use)
    size_t sharing() const;  // callers waiting for a probe another caller asked for first
    size_t threads() const;  // workers started so far

    // Answers every waiting caller with nothing, runs no further probe and waits up to `grace`
    // for the running ones. False when some still run (each ends by its own deadline).
    bool stop(std::chrono::milliseconds grace);

private:
    struct Waiter {
        Done done;
        Clock::time_point deadline;
    };
    struct Job {
        std::string key;
        std::string target;
        Probe probe;
        std::vector<Waiter> waiters;
        bool running = false;
    };

    void work();
    void expire();
    // The first queued job whose target has a free slot, taken out of the queue; null if none.
    std::shared_ptr<Job> takeRunnableLocked();
    void startWorkerIfNeededLocked();
    size_t runningCount(const std::string& target) const;  // with the lock held

    mutable std::mutex mutex_;
    std::condition_variable jobReady_;
    std::condition_variable deadlineChanged_;
    Clock::time_point expiryAt_ = Clock::time_point::min();  // when the deadline thread wakes
    std::condition_variable idle_;
    std::map<std::string, std::shared_ptr<Job>> byKey_;
    std::deque<std::shared_ptr<Job>> queue_;
    std::map<std::string, size_t> runningPerTarget_;
    const size_t maxWorkers_;
    const size_t perTarget_;
    size_t running_ = 0;
    size_t idleWorkers_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
    std::thread expiry_;
};

}  // namespace vorl::exporter
