#include "web/clock.h"

#include <boost/asio/steady_timer.hpp>

namespace vorl::web {
namespace {

class SteadyTimer final : public DeadlineTimer {
public:
    explicit SteadyTimer(const boost::asio::any_io_executor& executor) : timer_(executor) {}

    void arm(TimePoint deadline, std::function<void()> expired) override {
        timer_.expires_at(deadline);
        timer_.async_wait([expired = std::move(expired)](const boost::system::error_code& error) {
            if (!error) expired();
        });
    }
    void disarm() override { timer_.cancel(); }

private:
    boost::asio::steady_timer timer_;
};

class SteadyClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    std::unique_ptr<DeadlineTimer> makeTimer(
        const boost::asio::any_io_executor& executor) override {
        return std::make_unique<SteadyTimer>(executor);
    }
};

}  // namespace

std::shared_ptr<Clock> steadyClock() {
    static const auto clock = std::make_shared<SteadyClock>();
    return clock;
}

}  // namespace vorl::web
