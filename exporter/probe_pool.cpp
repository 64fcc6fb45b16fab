#include "exporter/probe_pool.h"

namespace vorl::exporter {

std::optional<CardReading> ProbePool::run(const std::string& key, const Probe& probe,
                                          std::chrono::steady_clock::time_point deadline) {
    std::shared_ptr<Shared> shared;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            const auto found = inFlight_.find(key);
            if (found != inFlight_.end()) {
                // Someone is reading this card already: wait for that reading.
                shared = found->second;
                ++shared->waiters;
                ++sharing_;
                const bool finished =
                    changed_.wait_until(lock, deadline, [&] { return shared->finished; });
                --sharing_;
                if (!finished) return std::nullopt;
                return shared->reading;
            }
            if (running_ < limit_) break;
            if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) return std::nullopt;
        }
        shared = std::make_shared<Shared>();
        inFlight_.emplace(key, shared);
        ++running_;
    }
    CardReading reading;
    try {
        reading = probe();
    } catch (...) {
        finish(key, *shared, nullptr);
        throw;
    }
    finish(key, *shared, &reading);
    return reading;
}

void ProbePool::finish(const std::string& key, Shared& shared, const CardReading* reading) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (reading != nullptr && shared.waiters > 0) shared.reading = *reading;
        shared.finished = true;
        inFlight_.erase(key);
        --running_;
    }
    changed_.notify_all();
}

size_t ProbePool::sharing() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return sharing_;
}

size_t ProbePool::running() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return running_;
}

}  // namespace vorl::exporter
