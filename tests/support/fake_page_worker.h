#pragma once
// Page workers for tests and benchmarks, without a window:
// - InlinePageWorker runs the work at once on the caller's thread; progress notices reach the
//   page during the call, the queued ones wait in a list until deliverQueued() plays the
//   window's message loop. Deterministic, for presenter tests.
// - ThreadedPageWorker runs the work on a real thread; runWindowLoop() on the calling thread
//   plays the window thread: it handles every notice in order, answers the synchronous ones,
//   and returns after the end notice.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "config/page_presenter.h"
#include "config/page_worker.h"

namespace vorl::test {

class InlinePageWorker : public panel::PageWorker {
public:
    struct Notice {
        bool end = false;
        int count = 0;
        const std::string* text = nullptr;  // progress: the worker's text, read on delivery
        bool completed = false;             // end
    };

    bool start(std::function<void()> work) override {
        if (refuseStart) return false;
        ++starts;
        if (whileRunning) whileRunning();
        running = true;
        work();
        running = false;
        return true;
    }
    void join() override { ++joins; }
    void sendProgress(int count, std::string_view text) override {
        ++sent;
        if (page) page->onWorkerProgress(count, text);
    }
    void postProgress(int count, const std::string& text) override {
        queued.push_back(Notice{false, count, &text, false});
    }
    void postEnd(bool completed) override { queued.push_back(Notice{true, 0, nullptr, completed}); }

    // Hands the queued notices to the page, oldest first.
    void deliverQueued() {
        while (!queued.empty()) {
            const Notice notice = queued.front();
            queued.pop_front();
            if (notice.end)
                page->onWorkerEnded(notice.completed);
            else
                page->onWorkerProgress(notice.count, *notice.text);
        }
    }

    panel::PagePresenter* page = nullptr;
    bool refuseStart = false;
    // Called as the work starts (to look at the page while its worker runs).
    std::function<void()> whileRunning;
    bool running = false;
    int starts = 0;
    int joins = 0;
    int sent = 0;
    std::deque<Notice> queued;
};

class ThreadedPageWorker : public panel::PageWorker {
public:
    ~ThreadedPageWorker() override { join(); }

    bool start(std::function<void()> work) override {
        join();
        thread_ = std::thread(std::move(work));
        return true;
    }
    void join() override {
        if (thread_.joinable()) thread_.join();
    }
    void sendProgress(int count, std::string_view text) override {
        std::unique_lock<std::mutex> lock(mutex_);
        const unsigned long ticket = ++posted_;
        notices_.push_back(Notice{false, count, text, false});
        changed_.notify_all();
        changed_.wait(lock, [&] { return handled_ >= ticket; });
    }
    void postProgress(int count, const std::string& text) override {
        push(Notice{false, count, text, false});
    }
    void postEnd(bool completed) override { push(Notice{true, 0, {}, completed}); }

    // The window thread: handles the notices until the end notice has been handled. `observe`
    // sees each progress notice just before the page does.
    void runWindowLoop(panel::PagePresenter& page,
                       const std::function<void(int count, std::string_view text)>& observe = {}) {
        for (;;) {
            Notice notice;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return !notices_.empty(); });
                notice = notices_.front();
                notices_.pop_front();
            }
            if (notice.end) {
                page.onWorkerEnded(notice.completed);
            } else {
                if (observe) observe(notice.count, notice.text);
                page.onWorkerProgress(notice.count, notice.text);
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++handled_;
            }
            changed_.notify_all();
            if (notice.end) return;
        }
    }

private:
    struct Notice {
        bool end = false;
        int count = 0;
        std::string_view text;
        bool completed = false;
    };
    void push(Notice notice) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++posted_;
        notices_.push_back(notice);
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Notice> notices_;
    unsigned long posted_ = 0;
    unsigned long handled_ = 0;
    std::thread thread_;
};

}  // namespace vorl::test
