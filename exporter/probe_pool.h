#pragma once
// Runs probes on a bounded set of worker threads. Two probes of the same key (target and
// module) asked for while one is running share that one's result, so a card never sees two
// sessions from one exporter at once. A caller waits at most until its own deadline; a probe
// that has not finished by then is reported as failed to that caller and finishes on its worker.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "exporter/card_reading.h"

namespace vorl::exporter {

class ProbePool {
public:
    using Probe = std::function<CardReading()>;

    // `workers` threads; at most `queueLimit` probes wait for one.
    ProbePool(size_t workers, size_t queueLimit);
    ~ProbePool();  // waits for the running probes; queued ones are dropped
    ProbePool(const ProbePool&) = delete;
    ProbePool& operator=(const ProbePool&) = delete;

    // The reading of `probe` (or of the probe already running under `key`), or nothing when it
    // did not finish by `deadline` or the queue was full.
    std::optional<CardReading> run(const std::string& key, Probe probe,
                                   std::chrono::steady_clock::time_point deadline);

    size_t running() const;  // probes being run by a worker now (card sessions in use)

private:
    struct Job {
        std::string key;
        Probe probe;
        std::mutex mutex;
        std::condition_variable done;
        std::optional<CardReading> reading;
    };

    void work();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Job>> queue_;
    std::map<std::string, std::shared_ptr<Job>> inFlight_;
    size_t queueLimit_;
    size_t running_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace vorl::exporter
