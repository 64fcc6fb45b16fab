#include "web/task_queue.h"

#include <exception>

#include "web/log.h"

namespace vorl::web {

TaskQueue::TaskQueue(size_t threads, size_t maxQueued) : maxQueued_(maxQueued) {
    for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
}

TaskQueue::~TaskQueue() {
    stop(std::chrono::hours(24 * 365));
}

bool TaskQueue::stop(std::chrono::milliseconds grace) {
    std::deque<std::function<void()>> dropped;
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    dropped.swap(tasks_);
    ready_.notify_all();
    if (!idle_.wait_for(lock, grace, [&] { return running_ == 0; })) return false;
    std::vector<std::thread> threads = std::move(threads_);
    threads_.clear();
    lock.unlock();
    for (auto& thread : threads) thread.join();
    return true;  // `dropped` goes here, outside the lock
}

bool TaskQueue::post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (stopping_ || tasks_.size() >= maxQueued_) return false;
        tasks_.push_back(std::move(task));
    }
    ready_.notify_one();
    return true;
}

void TaskQueue::work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
            ++running_;
        }
        try {
            task();
        } catch (const std::exception& e) {
            log::error("a background task failed", {{"reason", e.what()}});
        } catch (...) {
            log::error("a background task failed");
        }
        task = nullptr;  // what it holds goes now, not with the next task
        std::lock_guard<std::mutex> guard(mutex_);
        if (--running_ == 0) idle_.notify_all();
    }
}

}  // namespace vorl::web
