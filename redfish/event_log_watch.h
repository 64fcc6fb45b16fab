#pragma once
// Watches every card of the pool from one thread: each poll interval it reads what is new in a
// card's event log, its sensors and voltages, and whether the card answers, and publishes an
// event for each new entry (once: a cursor per card is kept under the state directory, so a
// restart repeats nothing), for a sensor or voltage whose state changed, and for a card lost or
// back. It uses the card's one session, within the card timeout, and never
// holds a thread of the web layer.
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "redfish/card_pool.h"
#include "redfish/event_sink.h"

namespace vorl::redfish {

class ServiceState;

// Where the last poll left a card's log: its record count and its newest record (time, event,
// severity and data; record numbers move when older records go).
struct LogCursor {
    bool known = false;  // false: nothing read yet; the first read takes what is there as old
    uint16_t count = 0;
    std::string newest;  // the newest record's fingerprint; empty: the log was empty
    std::optional<bool> reachable;
    // Each sensor's and voltage's state as last read: "OK" or "Warning", by sensor id.
    std::map<std::string, std::string> sensors;
};

class EventLogWatch {
public:
    // Starts the thread; the first poll comes at once.
    EventLogWatch(CardPool& cards, ServiceState& state, EventSink& sink,
                  std::chrono::milliseconds interval, std::chrono::milliseconds cardTimeout);
    ~EventLogWatch();
    EventLogWatch(const EventLogWatch&) = delete;
    EventLogWatch& operator=(const EventLogWatch&) = delete;

    // Polls every card once on the calling thread (tests; the thread does the same).
    void pollAll();

    // At most this many new entries are published per card and poll; older ones are skipped
    // (the log says so).
    static constexpr uint16_t kMaxNewEntries = 64;

private:
    void run();
    void pollCard(Card& card, LogCursor& cursor);
    // Publishes what changed between `cursor.sensors` and `sensors` (nothing the `first` time),
    // then keeps `sensors`.
    void publishSensors(const std::string& id, bool first, LogCursor& cursor,
                        std::map<std::string, std::string>& sensors);
    void load();
    void store();

    CardPool& cards_;
    ServiceState& state_;
    EventSink& sink_;
    const std::chrono::milliseconds interval_;
    const std::chrono::milliseconds cardTimeout_;
    std::mutex pollMutex_;  // one poll at a time
    std::map<std::string, LogCursor> cursors_;
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace vorl::redfish
