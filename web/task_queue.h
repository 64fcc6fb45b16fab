#pragma once
// A few threads that run posted work in order, for what must not run on the IO threads
// (a bcrypt check, reading a file). The queue is bounded: a flood is refused, not stored.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vorl::web {

class TaskQueue {
public:
    TaskQueue(size_t threads, size_t maxQueued);
    ~TaskQueue();  // stop(), waiting as long as it takes
    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;

    // False (and `task` dropped) when `maxQueued` tasks wait already or the queue is stopping.
    bool post(std::function<void()> task);
    // Takes no more tasks, drops those still queued and waits up to `grace` for the running
    // ones; false when some still run (a task blocked on a file, say).
    bool stop(std::chrono::milliseconds grace);

private:
    void work();

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
    std::condition_variable idle_;
    size_t maxQueued_;
    size_t running_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace vorl::web
