#pragma once
// The time the web layer's deadlines are measured in, as a seam: the server uses the steady
// clock; tests pass a clock they move by hand, so that a 5 s deadline is reached without
// waiting 5 s.
#include <boost/asio/any_io_executor.hpp>
#include <chrono>
#include <functional>
#include <memory>

namespace vorl::web {

using TimePoint = std::chrono::steady_clock::time_point;

// One connection's deadline; used on that connection's executor only.
class DeadlineTimer {
public:
    virtual ~DeadlineTimer() = default;
    // Runs `expired` on the timer's executor once `deadline` has come, replacing an earlier
    // arm. An expiry already on its way when the timer is armed again or disarmed may still
    // run: the caller tells stale ones apart.
    virtual void arm(TimePoint deadline, std::function<void()> expired) = 0;
    virtual void disarm() = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    virtual std::unique_ptr<DeadlineTimer> makeTimer(
        const boost::asio::any_io_executor& executor) = 0;
};

// std::chrono::steady_clock with Asio's timers.
std::shared_ptr<Clock> steadyClock();

}  // namespace vorl::web
