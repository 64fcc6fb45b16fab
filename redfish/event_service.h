#pragma once
// The service's events: subscriptions (EventDestination) kept under the state directory, each
// event delivered to every matching subscriber by HTTP POST from one delivery thread (one
// connection with a deadline per subscriber, a bounded queue each, retries, suspension after
// repeated failure), and to the Server-Sent Event streams open now. publish() only queues.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "redfish/event_sink.h"
#include "redfish/messages.h"
#include "redfish/redfish_config.h"
#include "web/responder.h"

namespace boost::asio {
class io_context;
}

namespace vorl::redfish {

class ServiceState;

struct Subscription {
    std::string id;
    std::string destination;
    std::string context;
    std::string protocol = "Redfish";
    std::vector<std::string> registryPrefixes;  // empty: every registry
    std::vector<std::string> resourceTypes;     // empty: every type
    std::vector<std::string> eventTypes;        // kept for old clients; not a filter
    std::vector<std::pair<std::string, std::string>> httpHeaders;  // sent, never shown
    std::string retryPolicy = "SuspendRetries";  // or TerminateAfterRetries, RetryForever
    std::string owner;                           // the account that created it
    bool suspended = false;
};

// What one Server-Sent Event client asked for with $filter: any clause may match; none: all.
struct EventFilter {
    struct Clause {
        std::string property;  // RegistryPrefix, ResourceType, OriginResource or MessageId
        std::string value;
    };
    std::vector<Clause> clauses;

    // "RegistryPrefix eq 'ResourceEvent' or ResourceType eq 'LogEntry'" (URL-decoded); false
    // for anything else.
    static bool parse(const std::string& text, EventFilter& filter);
    bool matches(const ServiceEvent& event) const;
};

class EventService : public EventSink {
public:
    EventService(const EventConfig& config, ServiceState& state);
    ~EventService() override;
    EventService(const EventService&) = delete;
    EventService& operator=(const EventService&) = delete;

    // Problems met reading the stored subscriptions (for the start-up log).
    const std::vector<std::string>& warnings() const { return warnings_; }

    void publish(ServiceEvent event) override;

    enum class AddResult { Added, Full, NotStored };
    AddResult add(Subscription subscription, std::string& id);
    std::optional<Subscription> find(const std::string& id) const;
    std::vector<Subscription> list() const;
    // False when there is no such subscription or the change could not be stored.
    bool remove(const std::string& id);
    bool resume(const std::string& id);

    // Starts a Server-Sent Event stream on `responder`; false when the cap is reached.
    bool openStream(const web::Responder& responder, EventFilter filter);
    // Sends a comment on every open stream so that proxies and clients see it alive, and drops
    // streams whose clients have gone. Call it every few seconds.
    void keepStreamsAlive();
    size_t streamCount() const;
    // Ends every stream and takes no more (before the web server stops: it must outlive its
    // responders).
    void closeStreams();

    const EventConfig& config() const { return config_; }

private:
    struct Delivery;
    struct Stream {
        uint64_t id;
        web::Responder responder;
        EventFilter filter;
    };

    bool storeLocked() const;
    void dropStreams(const std::vector<uint64_t>& gone);
    void load();
    static bool wanted(const Subscription& subscription, const ServiceEvent& event);
    // On the delivery thread: starts a POST for every subscription that has an event waiting
    // and none in flight.
    void pump();
    void delivered(const std::shared_ptr<Delivery>& delivery, bool success,
                   const std::string& error);

    const EventConfig config_;
    ServiceState& state_;
    std::vector<std::string> warnings_;

    std::mutex publishMutex_;  // one publish at a time: every stream sees the same order
    mutable std::mutex mutex_;
    std::map<uint64_t, std::shared_ptr<Delivery>> deliveries_;  // by subscription id
    uint64_t nextSubscriptionId_ = 1;
    uint64_t nextEventId_;
    std::vector<Stream> streams_;
    uint64_t nextStreamId_ = 1;
    bool streamsClosed_ = false;

    std::unique_ptr<boost::asio::io_context> io_;
    std::thread thread_;
};

// The Event resource of one event record for `context` (a subscription's Context).
Json eventJson(const Json& record, const std::string& context);

}  // namespace vorl::redfish
