#include "exporter/probe_pool.h"

#include <exception>
#include <future>

#include "web/log.h"

namespace vorl::exporter {

ProbePool::ProbePool(size_t workers, size_t perTarget)
    : maxWorkers_(std::max<size_t>(1, workers)), perTarget_(std::max<size_t>(1, perTarget)) {}

ProbePool::~ProbePool() {
    stop(std::chrono::hours(24 * 365));
}

void ProbePool::submit(const std::string& key, const std::string& target, Probe probe,
                       Clock::time_point deadline, Done done) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!stopping_) {
            // Threads start here, on first use: after the daemon has set its signal mask.
            if (!expiry_.joinable()) expiry_ = std::thread([this] { expire(); });
            const auto found = byKey_.find(key);
            if (found != byKey_.end()) {
                found->second->waiters.push_back({std::move(done), deadline});
            } else {
                auto job = std::make_shared<Job>();
                job->key = key;
                job->target = target;
                job->probe = std::move(probe);
                job->waiters.push_back({std::move(done), deadline});
                byKey_.emplace(key, job);
                queue_.push_back(std::move(job));
                startWorkerIfNeededLocked();
                jobReady_.notify_one();
            }
            // The deadline thread sleeps until the earliest deadline: wake it only for an
            // earlier one (a wake per probe would cost a thread switch each).
            if (deadline < expiryAt_) deadlineChanged_.notify_one();
            return;
        }
    }
    done(std::nullopt);  // stopping: no new probe
}

std::optional<CardReading> ProbePool::run(const std::string& key, const Probe& probe,
                                          Clock::time_point deadline) {
    auto answer = std::make_shared<std::promise<std::optional<CardReading>>>();
    auto future = answer->get_future();
    submit(key, key, probe, deadline,
           [answer](std::optional<CardReading> reading) { answer->set_value(std::move(reading)); });
    return future.get();
}

std::shared_ptr<ProbePool::Job> ProbePool::takeRunnableLocked() {
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        const auto slots = runningPerTarget_.find((*it)->target);
        if (slots != runningPerTarget_.end() && slots->second >= perTarget_) continue;
        auto job = std::move(*it);
        queue_.erase(it);
        job->running = true;
        ++runningPerTarget_[job->target];
        ++running_;
        return job;
    }
    return nullptr;
}

size_t ProbePool::runningCount(const std::string& target) const {
    const auto found = runningPerTarget_.find(target);
    return found == runningPerTarget_.end() ? 0 : found->second;
}

void ProbePool::startWorkerIfNeededLocked() {
    // A worker for each queued probe that could start now; one whose card is at its cap of
    // sessions waits for a slot of that card, not for a worker.
    std::map<std::string, size_t> slots;
    size_t runnable = 0;
    for (const auto& job : queue_) {
        size_t& used = slots.try_emplace(job->target, runningCount(job->target)).first->second;
        if (used < perTarget_) {
            ++used;
            ++runnable;
        }
    }
    if (runnable > idleWorkers_ && workers_.size() < maxWorkers_) {
        ++idleWorkers_;  // counted from now: the next probe does not start another
        workers_.emplace_back([this] { work(); });
    }
}

void ProbePool::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {  // idle (and counted so) at the top of each round
        std::shared_ptr<Job> job;
        jobReady_.wait(lock, [&] { return stopping_ || (job = takeRunnableLocked()) != nullptr; });
        --idleWorkers_;
        if (!job) return;  // stopping
        lock.unlock();
        std::optional<CardReading> reading;
        try {
            reading = job->probe();
        } catch (const std::exception& e) {
            web::log::error("a probe failed", {{"target", job->target}, {"reason", e.what()}});
        } catch (...) {
            web::log::error("a probe failed", {{"target", job->target}});
        }
        lock.lock();
        --running_;
        if (--runningPerTarget_[job->target] == 0) runningPerTarget_.erase(job->target);
        if (const auto found = byKey_.find(job->key); found != byKey_.end() && found->second == job)
            byKey_.erase(found);
        std::vector<Waiter> waiters = std::move(job->waiters);
        job->waiters.clear();
        // A slot of this target is free: a queued probe of it may start.
        if (!queue_.empty()) jobReady_.notify_all();
        idle_.notify_all();
        lock.unlock();
        for (size_t i = 0; i < waiters.size(); ++i)
            waiters[i].done(i + 1 == waiters.size() ? std::move(reading) : reading);
        lock.lock();
        ++idleWorkers_;
    }
}

void ProbePool::expire() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        auto earliest = Clock::time_point::max();
        for (const auto& [key, job] : byKey_)
            for (const Waiter& waiter : job->waiters)
                earliest = std::min(earliest, waiter.deadline);
        expiryAt_ = earliest;
        if (earliest == Clock::time_point::max())
            deadlineChanged_.wait(lock);
        else
            deadlineChanged_.wait_until(lock, earliest);
        expiryAt_ = Clock::time_point::min();  // awake: it will look at every deadline
        if (stopping_) return;
        const auto now = Clock::now();
        std::vector<Done> late;
        for (auto it = byKey_.begin(); it != byKey_.end();) {
            Job& job = *it->second;
            std::erase_if(job.waiters, [&](Waiter& waiter) {
                if (waiter.deadline > now) return false;
                late.push_back(std::move(waiter.done));
                return true;
            });
            if (!job.running && job.waiters.empty()) {
                // Nobody waits for it any more: it does not run.
                std::erase(queue_, it->second);
                it = byKey_.erase(it);
            } else {
                ++it;
            }
        }
        lock.unlock();
        for (auto& done : late) done(std::nullopt);
        lock.lock();
    }
}

bool ProbePool::stop(std::chrono::milliseconds grace) {
    std::vector<Waiter> abandoned;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!stopping_) {
        stopping_ = true;
        for (auto& [key, job] : byKey_)
            for (auto& waiter : job->waiters) abandoned.push_back(std::move(waiter));
        for (auto& [key, job] : byKey_) job->waiters.clear();
        byKey_.clear();
        queue_.clear();
        jobReady_.notify_all();
        deadlineChanged_.notify_all();
    }
    lock.unlock();
    for (auto& waiter : abandoned) waiter.done(std::nullopt);
    lock.lock();
    if (!idle_.wait_for(lock, grace, [&] { return running_ == 0; })) return false;
    std::vector<std::thread> threads = std::move(workers_);
    workers_.clear();
    std::thread expiry = std::move(expiry_);
    lock.unlock();
    for (auto& thread : threads) thread.join();
    if (expiry.joinable()) expiry.join();
    return true;
}

size_t ProbePool::running() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return running_;
}

size_t ProbePool::sharing() const {
    std::lock_guard<std::mutex> guard(mutex_);
    size_t sharing = 0;
    for (const auto& [key, job] : byKey_)
        sharing += job->waiters.empty() ? 0 : job->waiters.size() - 1;
    return sharing;
}

size_t ProbePool::threads() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return workers_.size();
}

}  // namespace vorl::exporter
