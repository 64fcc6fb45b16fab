// EventService, its Subscriptions (EventDestination), SubmitTestEvent and the Server-Sent Event
// stream. Reading needs Login; subscribing ConfigureManager or ConfigureComponents; removing
// or resuming a subscription ConfigureManager, or ConfigureSelf for the caller's own.
#include <cmath>

#include "redfish/event_messages.h"
#include "redfish/event_service.h"
#include "redfish/exchange.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"
#include "web/http_client.h"

namespace vorl::redfish {
namespace {

constexpr const char* kService = "/redfish/v1/EventService";
constexpr const char* kSubscriptions = "/redfish/v1/EventService/Subscriptions";
constexpr const char* kSubmitTestEvent =
    "/redfish/v1/EventService/Actions/EventService.SubmitTestEvent";
constexpr size_t kMaxContext = 256;
constexpr size_t kMaxHeaders = 16;

// The registries whose events this service raises.
const std::vector<std::string> kRegistryPrefixes = {"ResourceEvent", "TaskEvent", "Update"};

// True when the caller holds one of `anyOf`; otherwise answers 403.
bool mayAny(Exchange& ex, unsigned anyOf) {
    if (ex.caller && (ex.caller->privileges & anyOf) != 0) return true;
    return ex.allowed(anyOf);
}

std::string subscriptionUri(const std::string& id) {
    return std::string(kSubscriptions) + "/" + id;
}

Json subscriptionJson(const Subscription& s) {
    const std::string uri = subscriptionUri(s.id);
    Json json = {{"@odata.id", uri},
                 {"@odata.type", odataType("EventDestination")},
                 {"Id", s.id},
                 {"Name", "Event Subscription " + s.id},
                 {"Destination", s.destination},
                 {"Context", s.context},
                 {"Protocol", s.protocol},
                 {"SubscriptionType", "RedfishEvent"},
                 {"EventFormatType", "Event"},
                 {"RegistryPrefixes", s.registryPrefixes},
                 {"ResourceTypes", s.resourceTypes},
                 {"DeliveryRetryPolicy", s.retryPolicy},
                 {"HttpHeaders", Json::array()},  // written, never shown
                 {"Status",
                  {{"State", s.suspended ? "Disabled" : "Enabled"},
                   {"Health", s.suspended ? "Warning" : "OK"}}},
                 {"Actions",
                  {{"#EventDestination.ResumeSubscription",
                    {{"target", uri + "/Actions/EventDestination.ResumeSubscription"}}}}}};
    if (!s.eventTypes.empty()) json["EventTypes"] = s.eventTypes;
    return json;
}

void getService(Exchange& ex, EventService& events) {
    const EventConfig& config = events.config();
    ex.ok({{"@odata.id", kService},
           {"@odata.type", odataType("EventService")},
           {"Id", "EventService"},
           {"Name", "Event Service"},
           {"ServiceEnabled", true},
           {"Status", {{"State", "Enabled"}, {"Health", "OK"}}},
           {"DeliveryRetryAttempts", config.retryAttempts},
           {"DeliveryRetryIntervalSeconds",
            static_cast<int64_t>(std::ceil(config.retryInterval.count() / 1000.0))},
           {"EventFormatTypes", {"Event"}},
           {"RegistryPrefixes", kRegistryPrefixes},
           {"ResourceTypes",
            {"LogEntry", "Manager", "ManagerAccount", "Task", "EthernetInterface",
             "ManagerNetworkProtocol", "ComputerSystem", "Sensor"}},
           {"ServerSentEventUri", std::string(kService) + "/SSE"},
           {"SSEFilterPropertiesSupported",
            {{"EventFormatType", false},
             {"MessageId", true},
             {"MetricReportDefinition", false},
             {"OriginResource", true},
             {"RegistryPrefix", true},
             {"ResourceType", true},
             {"SubordinateResources", false}}},
           {"SubordinateResourcesSupported", false},
           {"Subscriptions", link(kSubscriptions)},
           {"Actions", {{"#EventService.SubmitTestEvent", {{"target", kSubmitTestEvent}}}}}});
}

void getSubscriptions(Exchange& ex, EventService& events) {
    std::vector<std::string> members;
    for (const Subscription& s : events.list()) members.push_back(subscriptionUri(s.id));
    ex.ok(collection("EventDestinationCollection", kSubscriptions, "Event Subscriptions", members));
}

// A list of strings from `key` (noted as a problem when it is something else); `allowed`
// non-empty: each must be one of them.
std::vector<std::string> stringList(PatchBody& body, const char* key,
                                    const std::vector<std::string>& allowed = {}) {
    std::vector<std::string> out;
    const Json* list = body.array(key);
    if (list == nullptr) return out;
    for (const Json& item : *list) {
        if (!item.is_string() || item.get<std::string>().size() > 64) {
            body.problem({"PropertyValueFormatError", {argumentText(item), key}});
            continue;
        }
        const std::string value = item.get<std::string>();
        bool known = allowed.empty();
        for (const std::string& a : allowed) known = known || a == value;
        if (!known)
            body.problem({"PropertyValueNotInList", {value, key}});
        else
            out.push_back(value);
    }
    return out;
}

// Fixed values a client may repeat but not change.
void fixedValue(PatchBody& body, const char* key, std::initializer_list<const char*> allowed) {
    const auto value = body.string(key);
    if (!value) return;
    for (const char* a : allowed)
        if (*value == a) return;
    body.problem({"PropertyValueNotInList", {*value, key}});
}

void readHeaders(PatchBody& body, Subscription& s) {
    const Json* list = body.array("HttpHeaders");
    if (list == nullptr) return;
    for (const Json& item : *list) {
        if (!item.is_object()) {
            body.problem({"PropertyValueFormatError", {argumentText(item), "HttpHeaders"}});
            continue;
        }
        for (const auto& [name, value] : item.items()) {
            const bool clean = value.is_string() && !name.empty() && name.size() <= 64 &&
                               value.get<std::string>().size() <= 1024 &&
                               name.find_first_of(":\r\n \t") == std::string::npos &&
                               value.get<std::string>().find_first_of("\r\n") == std::string::npos;
            if (!clean || s.httpHeaders.size() >= kMaxHeaders)
                body.problem({"PropertyValueFormatError", {"(hidden)", "HttpHeaders"}});
            else
                s.httpHeaders.emplace_back(name, value.get<std::string>());
        }
    }
}

void postSubscription(Exchange& ex, EventService& events) {
    if (!mayAny(ex, kConfigureManager | kConfigureComponents)) return;
    Json json;
    if (!ex.readObject(json)) return;
    PatchBody body(json);
    Subscription s;
    s.owner = ex.caller->user;
    const auto destination = body.string("Destination");
    web::HttpUrl url;
    if (destination && !web::HttpUrl::parse(*destination, url))
        body.problem({"PropertyValueFormatError", {*destination, "Destination"}});
    if (destination) s.destination = *destination;
    if (const auto context = body.string("Context")) {
        if (context->size() > kMaxContext)
            body.problem({"PropertyValueFormatError", {"(too long)", "Context"}});
        s.context = *context;
    }
    fixedValue(body, "Protocol", {"Redfish"});
    fixedValue(body, "SubscriptionType", {"RedfishEvent"});
    fixedValue(body, "EventFormatType", {"Event"});
    if (const auto policy = body.string("DeliveryRetryPolicy")) {
        if (*policy != "SuspendRetries" && *policy != "TerminateAfterRetries" &&
            *policy != "RetryForever")
            body.problem({"PropertyValueNotInList", {*policy, "DeliveryRetryPolicy"}});
        s.retryPolicy = *policy;
    }
    s.registryPrefixes = stringList(body, "RegistryPrefixes", kRegistryPrefixes);
    s.resourceTypes = stringList(body, "ResourceTypes");
    s.eventTypes = stringList(body, "EventTypes");
    readHeaders(body, s);
    std::vector<Message> problems = body.finish();
    if (!destination && problems.empty()) problems.push_back({"PropertyMissing", {"Destination"}});
    if (!problems.empty()) return ex.fail(400, std::move(problems));
    std::string id;
    switch (events.add(s, id)) {
        case EventService::AddResult::Full:
            return ex.fail(503, {{"EventSubscriptionLimitExceeded", {}}});
        case EventService::AddResult::NotStored:
            return ex.fail(500, {{"InternalError", {}}});
        case EventService::AddResult::Added:
            break;
    }
    ex.created(subscriptionUri(id), subscriptionJson(*events.find(id)));
}

// The subscription of the URI; none after answering 404, or 403 when the caller may only
// change their own and this is another's.
std::optional<Subscription> ownSubscription(Exchange& ex, EventService& events) {
    const auto s = events.find(ex.param(0));
    if (!s) {
        ex.notFound("EventDestination", ex.param(0));
        return std::nullopt;
    }
    const unsigned privileges = ex.caller->privileges;
    if ((privileges & kConfigureManager) ||
        ((privileges & (kConfigureSelf | kConfigureComponents)) && s->owner == ex.caller->user))
        return s;
    ex.allowed(kConfigureManager);
    return std::nullopt;
}

void submitTestEvent(Exchange& ex, EventService& events) {
    Json json;
    if (!ex.readObject(json)) return;
    const auto text = [&](const char* key) {
        const auto found = json.find(key);
        return found != json.end() && found->is_string() ? found->get<std::string>() : "";
    };
    ServiceEvent event = resourceEvent("TestMessage", {}, "", "");
    const std::string messageId = text("MessageId");
    const size_t dot = messageId.rfind('.');
    if (dot != std::string::npos && dot > 0 && dot + 1 < messageId.size()) {
        event.registry = messageId.substr(0, dot);
        event.key = messageId.substr(dot + 1);
    } else if (!messageId.empty()) {
        return ex.fail(400, {{"ActionParameterValueFormatError",
                              {messageId, "MessageId", "EventService.SubmitTestEvent"}}});
    }
    if (!text("Message").empty()) event.message = text("Message");
    const std::string severity =
        text("MessageSeverity").empty() ? text("Severity") : text("MessageSeverity");
    if (!severity.empty()) event.severity = severity;
    if (const auto args = json.find("MessageArgs"); args != json.end() && args->is_array()) {
        event.args.clear();
        for (const Json& arg : *args) event.args.push_back(argumentText(arg));
    }
    if (const auto origin = json.find("OriginOfCondition"); origin != json.end()) {
        if (origin->is_string()) event.origin = origin->get<std::string>();
        if (origin->is_object() && origin->contains("@odata.id") &&
            (*origin)["@odata.id"].is_string())
            event.origin = (*origin)["@odata.id"].get<std::string>();
    }
    events.publish(std::move(event));
    ex.noContent();
}

void openStream(Exchange& ex, EventService& events) {
    if (!mayAny(ex, kConfigureManager | kConfigureComponents)) return;
    if (ex.responder == nullptr)
        return ex.fail(501, {{"QueryParameterUnsupported", {"(a stream)"}}});
    EventFilter filter;
    const std::string& query = ex.request.query;
    for (size_t start = 0; start < query.size();) {
        size_t end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        const std::string item = query.substr(start, end - start);
        const size_t equals = item.find('=');
        const std::string key = item.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : item.substr(equals + 1);
        if (key == "$filter" || key == "%24filter") {
            if (!EventFilter::parse(value, filter))
                return ex.fail(400, {{"QueryParameterValueFormatError", {value, "$filter"}}});
        } else if (!key.empty() && (key[0] == '$' || key.rfind("%24", 0) == 0)) {
            return ex.fail(501, {{"QueryParameterUnsupported", {key}}});
        }
        start = end + 1;
    }
    if (ex.request.method == "HEAD") return ex.text(200, "text/event-stream", "");
    if (!events.openStream(*ex.responder, std::move(filter)))
        return ex.fail(503, {{"ResourceExhaustion", {std::string(kService) + "/SSE"}}});
    ex.takeStream();
}

}  // namespace

void addEventServiceRoutes(Router& router, EventService& events) {
    auto with = [&events](void (*handler)(Exchange&, EventService&)) {
        return [&events, handler](Exchange& ex) { handler(ex, events); };
    };
    router.add(kService, "GET", kLogin, with(getService));
    router.add(kSubscriptions, "GET", kLogin, with(getSubscriptions));
    router.add(kSubscriptions, "POST", kLogin, with(postSubscription));
    const std::string one = std::string(kSubscriptions) + "/{}";
    router.add(one, "GET", kLogin, [&events](Exchange& ex) {
        const auto s = events.find(ex.param(0));
        if (!s) return ex.notFound("EventDestination", ex.param(0));
        ex.ok(subscriptionJson(*s));
    });
    router.add(one, "DELETE", kLogin, [&events](Exchange& ex) {
        const auto s = ownSubscription(ex, events);
        if (!s) return;
        if (!events.remove(s->id)) return ex.fail(500, {{"InternalError", {}}});
        ex.noContent();
    });
    router.add(one + "/Actions/EventDestination.ResumeSubscription", "POST", kLogin,
               [&events](Exchange& ex) {
                   const auto s = ownSubscription(ex, events);
                   if (!s) return;
                   if (!events.resume(s->id)) return ex.fail(500, {{"InternalError", {}}});
                   ex.noContent();
               });
    router.add(kSubmitTestEvent, "POST", kLogin | kConfigureManager, with(submitTestEvent));
    router.add(std::string(kService) + "/SSE", "GET", kLogin, with(openStream));
}

}  // namespace vorl::redfish
