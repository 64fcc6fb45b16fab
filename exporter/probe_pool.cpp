#include "exporter/probe_pool.h"

namespace vorl::exporter {

ProbePool::ProbePool(size_t workers, size_t queueLimit) : queueLimit_(queueLimit) {
    for (size_t i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
}

ProbePool::~ProbePool() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    for (auto& thread : threads_) thread.join();
}

std::optional<CardReading> ProbePool::run(const std::string& key, Probe probe,
                                          std::chrono::steady_clock::time_point deadline) {
    std::shared_ptr<Job> job;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        auto found = inFlight_.find(key);
        if (found != inFlight_.end()) {
            job = found->second;
        } else {
            if (queue_.size() >= queueLimit_ || stopping_) return std::nullopt;
            job = std::make_shared<Job>();
            job->key = key;
            job->probe = std::move(probe);
            inFlight_[key] = job;
            queue_.push_back(job);
            wake_.notify_one();
        }
    }
    std::unique_lock<std::mutex> lock(job->mutex);
    if (!job->done.wait_until(lock, deadline, [&] { return job->reading.has_value(); }))
        return std::nullopt;
    return job->reading;
}

size_t ProbePool::running() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return running_;
}

void ProbePool::work() {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            job = queue_.front();
            queue_.pop_front();
            ++running_;
        }
        CardReading reading = job->probe();
        {
            std::lock_guard<std::mutex> guard(mutex_);
            --running_;
            inFlight_.erase(job->key);
        }
        {
            std::lock_guard<std::mutex> guard(job->mutex);
            job->reading = std::move(reading);
        }
        job->done.notify_all();
    }
}

}  // namespace vorl::exporter
