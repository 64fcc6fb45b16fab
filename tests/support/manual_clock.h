#pragma once
// A clock for the web layer's deadlines that moves only when a test says so: advance() runs
// every deadline it passes on its connection's executor; waitArmed() lets a test wait (with a
// bound) until the server has reached a phase, seen by the deadline that phase arms.
#include <boost/asio/post.hpp>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "web/clock.h"

namespace vorl::testing {

class ManualClock : public web::Clock, public std::enable_shared_from_this<ManualClock> {
public:
    web::TimePoint now() const override {
        std::lock_guard<std::mutex> guard(state_->mutex);
        return state_->now;
    }

    std::unique_ptr<web::DeadlineTimer> makeTimer(
        const boost::asio::any_io_executor& executor) override {
        auto slot = std::make_shared<Slot>();
        slot->executor = executor;
        std::lock_guard<std::mutex> guard(state_->mutex);
        std::erase_if(state_->slots, [](const auto& held) { return held.expired(); });
        state_->slots.push_back(slot);
        return std::make_unique<Timer>(state_, std::move(slot));
    }

    // Moves time on by `step` and runs the deadlines that have come.
    void advance(std::chrono::milliseconds step) {
        std::vector<std::pair<boost::asio::any_io_executor, std::function<void()>>> due;
        {
            std::lock_guard<std::mutex> guard(state_->mutex);
            state_->now += step;
            for (const auto& held : state_->slots)
                if (auto slot = held.lock(); slot && slot->armed && slot->deadline <= state_->now) {
                    slot->armed = false;
                    due.emplace_back(slot->executor, std::move(slot->expired));
                }
        }
        for (auto& [executor, expired] : due) boost::asio::post(executor, std::move(expired));
    }

    // True once `count` deadlines are armed at now() + `after` (within 10 s of real time).
    bool waitArmed(std::chrono::milliseconds after, size_t count = 1) {
        std::unique_lock<std::mutex> lock(state_->mutex);
        return state_->changed.wait_for(lock, std::chrono::seconds(10), [&] {
            size_t found = 0;
            for (const auto& held : state_->slots)
                if (auto slot = held.lock();
                    slot && slot->armed && slot->deadline == state_->now + after)
                    ++found;
            return found >= count;
        });
    }

private:
    struct Slot {
        boost::asio::any_io_executor executor;
        web::TimePoint deadline;
        std::function<void()> expired;
        bool armed = false;
    };
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        web::TimePoint now = web::TimePoint(std::chrono::hours(1000));
        std::vector<std::weak_ptr<Slot>> slots;
    };
    class Timer : public web::DeadlineTimer {
    public:
        Timer(std::shared_ptr<State> state, std::shared_ptr<Slot> slot)
            : state_(std::move(state)), slot_(std::move(slot)) {}
        ~Timer() override { disarm(); }
        void arm(web::TimePoint deadline, std::function<void()> expired) override {
            std::function<void()> old;
            {
                std::lock_guard<std::mutex> guard(state_->mutex);
                old = std::move(slot_->expired);
                slot_->deadline = deadline;
                slot_->expired = std::move(expired);
                slot_->armed = true;
            }
            state_->changed.notify_all();
        }
        void disarm() override {
            std::function<void()> old;
            {
                std::lock_guard<std::mutex> guard(state_->mutex);
                old = std::move(slot_->expired);
                slot_->expired = nullptr;
                slot_->armed = false;
            }
            state_->changed.notify_all();
        }

    private:
        std::shared_ptr<State> state_;
        std::shared_ptr<Slot> slot_;
    };

    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace vorl::testing
