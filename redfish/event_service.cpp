#include "redfish/event_service.h"

#include <algorithm>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cctype>
#include <ctime>
#include <deque>

#include "redfish/date_time.h"
#include "redfish/schema_types.h"
#include "redfish/service_state.h"
#include "web/http_client.h"
#include "web/log.h"

namespace vorl::redfish {
namespace {

namespace asio = boost::asio;
namespace log = web::log;

constexpr const char* kFile = "subscriptions.json";
constexpr size_t kMaxFileBytes = 4 << 20;
// Events waiting for one subscriber; past this the oldest go (and the log says so).
constexpr size_t kMaxQueued = 256;
constexpr size_t kMaxAnswerBytes = 16384;

std::vector<std::string> stringsOf(const nlohmann::json& value) {
    std::vector<std::string> out;
    if (!value.is_array()) return out;
    for (const auto& item : value)
        if (item.is_string()) out.push_back(item.get<std::string>());
    return out;
}

std::string registryName(const std::string& registry) {
    return registry.substr(0, registry.find('.'));
}

// The deprecated EventType old clients still filter on (and the schema still asks for).
const char* eventTypeOf(const ServiceEvent& event) {
    if (event.resourceType == "LogEntry") return "Alert";
    if (event.key == "ResourceCreated") return "ResourceAdded";
    if (event.key == "ResourceRemoved") return "ResourceRemoved";
    if (event.key == "ResourceChanged") return "ResourceUpdated";
    if (event.key.rfind("ResourceStatusChanged", 0) == 0) return "StatusChange";
    return "Alert";
}

bool contains(const std::vector<std::string>& list, const std::string& value) {
    for (const std::string& item : list)
        if (item == value) return true;
    return false;
}

std::string urlDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(text[i + 1]) &&
                   std::isxdigit(text[i + 2])) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

struct EventService::Delivery {
    explicit Delivery(asio::io_context& io) : timer(io) {}

    Subscription subscription;
    std::deque<Json> queue;  // event records waiting, oldest first
    bool inFlight = false;
    bool waiting = false;  // until the retry timer fires
    bool removed = false;
    int failures = 0;
    asio::steady_timer timer;
};

bool EventFilter::parse(const std::string& raw, EventFilter& filter) {
    const std::string text = urlDecode(raw);
    filter.clauses.clear();
    size_t at = 0;
    for (;;) {
        while (at < text.size() && text[at] == ' ') ++at;
        const size_t space = text.find(' ', at);
        if (space == std::string::npos) return false;
        Clause clause{text.substr(at, space - at), {}};
        if (clause.property != "RegistryPrefix" && clause.property != "ResourceType" &&
            clause.property != "OriginResource" && clause.property != "MessageId")
            return false;
        if (text.compare(space, 5, " eq '") != 0) return false;
        const size_t open = space + 5;
        const size_t close = text.find('\'', open);
        if (close == std::string::npos) return false;
        clause.value = text.substr(open, close - open);
        filter.clauses.push_back(std::move(clause));
        at = close + 1;
        while (at < text.size() && text[at] == ' ') ++at;
        if (at == text.size()) return filter.clauses.size() <= 16;
        if (text.compare(at, 3, "or ") != 0) return false;
        at += 3;
    }
}

bool EventFilter::matches(const ServiceEvent& event) const {
    if (clauses.empty()) return true;
    for (const Clause& clause : clauses) {
        if (clause.property == "RegistryPrefix" && registryName(event.registry) == clause.value)
            return true;
        if (clause.property == "ResourceType" && event.resourceType == clause.value) return true;
        if (clause.property == "OriginResource" && event.origin == clause.value) return true;
        if (clause.property == "MessageId" && event.registry + "." + event.key == clause.value)
            return true;
    }
    return false;
}

Json eventJson(const Json& record, const std::string& context) {
    Json event = {{"@odata.type", odataType("Event")},
                  {"Id", record.value("EventId", "0")},
                  {"Name", "Event"}};
    if (!context.empty()) event["Context"] = context;
    event["Events"] = Json::array({record});
    return event;
}

EventService::EventService(const EventConfig& config, ServiceState& state)
    : config_(config),
      state_(state),
      // Event ids keep rising across restarts without a write per event: they start from the
      // clock.
      nextEventId_(static_cast<uint64_t>(std::time(nullptr)) * 1000),
      io_(std::make_unique<asio::io_context>()) {
    load();
    thread_ = std::thread([this] {
        auto guard = asio::make_work_guard(*io_);
        io_->run();
    });
}

EventService::~EventService() {
    io_->stop();
    thread_.join();
    closeStreams();
    // The deliveries' timers go before the io_context; what its handlers still hold goes with it.
    deliveries_.clear();
    io_.reset();
}

void EventService::load() {
    std::string error;
    const auto text = state_.readFile(kFile, kMaxFileBytes, error);
    if (!text) {
        if (!error.empty()) warnings_.push_back(error);
        return;
    }
    const auto json = nlohmann::json::parse(*text, nullptr, false);
    if (!json.is_object() || !json.contains("subscriptions")) {
        warnings_.push_back(state_.directory() + "/" + kFile + ": damaged, no subscription read");
        return;
    }
    if (json.value("next_id", 0ull) > 0) nextSubscriptionId_ = json.value("next_id", 1ull);
    for (const auto& item : json["subscriptions"]) {
        if (!item.is_object() || !item.value("id", std::string()).size() ||
            item.value("id", std::string()).find_first_not_of("0123456789") != std::string::npos ||
            item.value("id", std::string()).size() > 12) {
            warnings_.push_back(state_.directory() + "/" + kFile + ": a subscription skipped");
            continue;
        }
        auto delivery = std::make_shared<Delivery>(*io_);
        Subscription& s = delivery->subscription;
        s.id = item.value("id", std::string());
        s.destination = item.value("destination", std::string());
        s.context = item.value("context", std::string());
        s.protocol = item.value("protocol", std::string("Redfish"));
        s.registryPrefixes = stringsOf(item.value("registry_prefixes", nlohmann::json()));
        s.resourceTypes = stringsOf(item.value("resource_types", nlohmann::json()));
        s.eventTypes = stringsOf(item.value("event_types", nlohmann::json()));
        if (const auto headers = item.find("http_headers");
            headers != item.end() && headers->is_object())
            for (const auto& [name, value] : headers->items())
                if (value.is_string()) s.httpHeaders.emplace_back(name, value.get<std::string>());
        s.retryPolicy = item.value("retry_policy", std::string("SuspendRetries"));
        s.owner = item.value("owner", std::string());
        s.suspended = item.value("suspended", false);
        const uint64_t id = std::stoull(s.id);
        nextSubscriptionId_ = std::max(nextSubscriptionId_, id + 1);
        deliveries_[id] = std::move(delivery);
    }
}

bool EventService::storeLocked() const {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& [id, delivery] : deliveries_) {
        const Subscription& s = delivery->subscription;
        nlohmann::json headers = nlohmann::json::object();
        for (const auto& [name, value] : s.httpHeaders) headers[name] = value;
        list.push_back({{"id", s.id},
                        {"destination", s.destination},
                        {"context", s.context},
                        {"protocol", s.protocol},
                        {"registry_prefixes", s.registryPrefixes},
                        {"resource_types", s.resourceTypes},
                        {"event_types", s.eventTypes},
                        {"http_headers", headers},
                        {"retry_policy", s.retryPolicy},
                        {"owner", s.owner},
                        {"suspended", s.suspended}});
    }
    const nlohmann::json file = {{"next_id", nextSubscriptionId_}, {"subscriptions", list}};
    if (state_.writeFile(kFile, file.dump(2) + "\n")) return true;
    log::error("the subscriptions could not be stored",
               {{"file", state_.directory() + "/" + kFile}});
    return false;
}

bool EventService::wanted(const Subscription& s, const ServiceEvent& event) {
    if (!s.registryPrefixes.empty() && !contains(s.registryPrefixes, registryName(event.registry)))
        return false;
    return s.resourceTypes.empty() || contains(s.resourceTypes, event.resourceType);
}

void EventService::publish(ServiceEvent event) {
    std::lock_guard<std::mutex> order(publishMutex_);
    std::vector<Stream> streams;
    std::string eventId;
    Json record;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        eventId = std::to_string(nextEventId_++);
        record = {{"MemberId", "0"},
                  {"EventType", eventTypeOf(event)},
                  {"EventId", eventId},
                  {"EventTimestamp", dateTimeText(std::time(nullptr))},
                  {"MessageId", event.registry + "." + event.key},
                  {"Message", event.message},
                  {"MessageArgs", event.args},
                  {"MessageSeverity", event.severity.empty() ? "OK" : event.severity}};
        if (!event.origin.empty()) record["OriginOfCondition"] = {{"@odata.id", event.origin}};
        if (!event.logEntry.empty()) record["LogEntry"] = {{"@odata.id", event.logEntry}};
        if (!event.detail.empty()) record["Oem"] = {{"Vorl", {{"Detail", event.detail}}}};
        for (auto& [id, delivery] : deliveries_) {
            if (delivery->subscription.suspended || !wanted(delivery->subscription, event))
                continue;
            if (delivery->queue.size() >= kMaxQueued) {
                delivery->queue.pop_front();
                log::warn("a subscriber falls behind: its oldest event is dropped",
                          {{"subscription", delivery->subscription.id}});
            }
            delivery->queue.push_back(record);
        }
        for (const Stream& stream : streams_)
            if (stream.filter.matches(event)) streams.push_back(stream);
    }
    asio::post(*io_, [this] { pump(); });
    if (streams.empty()) return;
    const std::string piece =
        "id: " + eventId + "\ndata: " + jsonText(eventJson(record, "")) + "\n\n";
    std::vector<uint64_t> gone;
    for (const Stream& stream : streams)
        if (!stream.responder.write(piece)) gone.push_back(stream.id);
    dropStreams(gone);
}

void EventService::pump() {
    std::vector<std::pair<std::shared_ptr<Delivery>, web::OutgoingRequest>> starts;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (auto& [id, delivery] : deliveries_) {
            if (delivery->inFlight || delivery->waiting || delivery->queue.empty() ||
                delivery->subscription.suspended)
                continue;
            delivery->inFlight = true;
            web::OutgoingRequest outgoing;
            outgoing.url = delivery->subscription.destination;
            outgoing.headers = delivery->subscription.httpHeaders;
            outgoing.headers.emplace_back("Content-Type", "application/json");
            outgoing.body =
                jsonText(eventJson(delivery->queue.front(), delivery->subscription.context));
            outgoing.timeout = config_.deliveryTimeout;
            outgoing.maxAnswerBytes = kMaxAnswerBytes;
            outgoing.verifyPeer = config_.verifyCertificates;
            starts.emplace_back(delivery, std::move(outgoing));
        }
    }
    for (auto& start : starts) {
        // A named copy: clang before 16 cannot capture a structured binding.
        std::shared_ptr<Delivery> delivery = start.first;
        web::HttpClient::send(
            *io_, std::move(start.second), [this, delivery](web::HttpClient::Result result) {
                delivered(delivery, result.success(),
                          result.ok ? "status " + std::to_string(result.status) : result.error);
            });
    }
}

void EventService::delivered(const std::shared_ptr<Delivery>& delivery, bool success,
                             const std::string& error) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        delivery->inFlight = false;
        if (delivery->removed) return;
        Subscription& s = delivery->subscription;
        if (success) {
            if (!delivery->queue.empty()) delivery->queue.pop_front();
            delivery->failures = 0;
        } else if (++delivery->failures > config_.retryAttempts &&
                   s.retryPolicy != "RetryForever") {
            const bool terminate = s.retryPolicy == "TerminateAfterRetries";
            log::warn(terminate ? "a subscriber failed every retry: its subscription is removed"
                                : "a subscriber failed every retry: its subscription is suspended",
                      {{"subscription", s.id}, {"destination", s.destination}, {"error", error}});
            delivery->queue.clear();
            delivery->failures = 0;
            if (terminate) {
                delivery->removed = true;
                deliveries_.erase(std::stoull(s.id));
            } else {
                s.suspended = true;
            }
            storeLocked();
        } else {
            log::debug("a delivery failed; it is retried",
                       {{"subscription", s.id}, {"error", error}});
            delivery->waiting = true;
            delivery->timer.expires_after(config_.retryInterval);
            delivery->timer.async_wait([this, delivery](const boost::system::error_code&) {
                {
                    std::lock_guard<std::mutex> guard(mutex_);
                    delivery->waiting = false;
                }
                pump();
            });
            return;
        }
    }
    pump();
}

EventService::AddResult EventService::add(Subscription subscription, std::string& id) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (deliveries_.size() >= config_.maxSubscriptions) return AddResult::Full;
    const uint64_t number = nextSubscriptionId_++;
    subscription.id = id = std::to_string(number);
    auto delivery = std::make_shared<Delivery>(*io_);
    delivery->subscription = std::move(subscription);
    deliveries_[number] = delivery;
    if (storeLocked()) return AddResult::Added;
    deliveries_.erase(number);
    return AddResult::NotStored;
}

std::optional<Subscription> EventService::find(const std::string& id) const {
    std::lock_guard<std::mutex> guard(mutex_);
    for (const auto& [number, delivery] : deliveries_)
        if (delivery->subscription.id == id) return delivery->subscription;
    return std::nullopt;
}

std::vector<Subscription> EventService::list() const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<Subscription> out;
    for (const auto& [number, delivery] : deliveries_) out.push_back(delivery->subscription);
    return out;
}

bool EventService::remove(const std::string& id) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto it = deliveries_.begin(); it != deliveries_.end(); ++it) {
        if (it->second->subscription.id != id) continue;
        auto delivery = it->second;
        deliveries_.erase(it);
        if (storeLocked()) {
            delivery->removed = true;
            asio::post(*io_, [delivery] { delivery->timer.cancel(); });
            return true;
        }
        deliveries_[std::stoull(id)] = delivery;
        return false;
    }
    return false;
}

bool EventService::resume(const std::string& id) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto& [number, delivery] : deliveries_) {
        if (delivery->subscription.id != id) continue;
        if (!delivery->subscription.suspended) return true;
        delivery->subscription.suspended = false;
        if (storeLocked()) return true;
        delivery->subscription.suspended = true;
        return false;
    }
    return false;
}

bool EventService::openStream(const web::Responder& responder, EventFilter filter) {
    // No event is published between the head and the stream's registration.
    std::lock_guard<std::mutex> order(publishMutex_);
    uint64_t id = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (streamsClosed_ || streams_.size() >= config_.maxStreams) return false;
        id = nextStreamId_++;
    }
    web::Response head;
    head.status = 200;
    head.headers.set("Content-Type", "text/event-stream");
    head.headers.set("Cache-Control", "no-cache");
    head.headers.set("OData-Version", "4.0");
    head.body = ": vorl_redfish event stream\n\n";
    if (!responder.startStream(std::move(head))) return true;  // answered already: nothing to keep
    {
        std::lock_guard<std::mutex> guard(mutex_);
        streams_.push_back({id, responder, std::move(filter)});
    }
    responder.onClientGone([this, id] { dropStreams({id}); });
    return true;
}

void EventService::keepStreamsAlive() {
    std::lock_guard<std::mutex> order(publishMutex_);
    std::vector<Stream> streams;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        streams = streams_;
    }
    std::vector<uint64_t> gone;
    for (const Stream& stream : streams)
        if (!stream.responder.write(": keep-alive\n\n")) gone.push_back(stream.id);
    dropStreams(gone);
}

void EventService::dropStreams(const std::vector<uint64_t>& gone) {
    if (gone.empty()) return;
    std::lock_guard<std::mutex> guard(mutex_);
    std::erase_if(streams_, [&](const Stream& s) {
        return std::find(gone.begin(), gone.end(), s.id) != gone.end();
    });
}

void EventService::closeStreams() {
    std::vector<Stream> streams;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        streamsClosed_ = true;  // the server stops: no stream may outlive it
        streams.swap(streams_);
    }
    for (const Stream& stream : streams) stream.responder.end();
}

size_t EventService::streamCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return streams_.size();
}

}  // namespace vorl::redfish
