#include "redfish/redfish_service.h"

#include <cstdio>

#include "redfish/event_log_watch.h"
#include "redfish/event_messages.h"
#include "redfish/event_service.h"
#include "redfish/exchange.h"
#include "redfish/firmware_update.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"
#include "redfish/service_state.h"
#include "redfish/task_service.h"

namespace vorl::redfish {
namespace {

std::string base64Decode(std::string_view text) {
    static constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') break;
        const size_t value = kAlphabet.find(c);
        if (value == std::string_view::npos) return {};
        bits = bits << 6 | static_cast<uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

// The path without trailing slashes: "/redfish/v1/" and "/redfish/v1" are one resource.
std::string canonicalPath(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path.empty() ? "/" : path;
}

// A query parameter this service does not implement ($expand, $select, $filter, $top, $skip):
// its name, or empty when there is none. Parameters without "$" are ignored, as the protocol
// asks (ProtocolFeaturesSupported tells clients that only and excerpt are not supported).
std::string unsupportedQuery(const std::string& query) {
    size_t start = 0;
    while (start < query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        const std::string item = query.substr(start, end - start);
        const std::string key = item.substr(0, item.find('='));
        if ((!key.empty() && key[0] == '$') || key.rfind("%24", 0) == 0) return key;
        start = end + 1;
    }
    return {};
}

// A weak entity tag of a resource (`text` its answer's body): its content without the clock that
// moves on every read.
std::string entityTag(const Json& resource, const std::string& text) {
    if (resource.contains("DateTime")) {
        Json steady = resource;
        steady.erase("DateTime");
        return entityTag(steady, jsonText(steady));
    }
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char tag[32];
    std::snprintf(tag, sizeof tag, "W/\"%016llx\"", static_cast<unsigned long long>(hash));
    return tag;
}

std::vector<CardEndpoint> endpointsOf(const RedfishConfig& config, const ServiceOptions& options) {
    std::vector<CardEndpoint> endpoints;
    for (const CardConfig& card : config.cards)
        endpoints.push_back({card.id, card.address, options.cardPort, card.user, card.password});
    if (options.localCard) endpoints.push_back({"local", "", 0, "", ""});
    return endpoints;
}

}  // namespace

struct RedfishService::Parts {
    Parts(const RedfishConfig& config, ServiceState& serviceState, const ServiceOptions& options,
          std::vector<std::string>& shadowed)
        : state(serviceState),
          cards(endpointsOf(config, options), options.transports),
          accounts(config.accounts, serviceState, shadowed),
          sessions(std::chrono::seconds(
              serviceState.sessionTimeoutSeconds().value_or(config.sessionTimeout.count()))),
          eventService(config.events, serviceState),
          shared{state,
                 cards,
                 accounts,
                 sessions,
                 {config.cardTimeout, config.cacheTime},
                 &eventService,
                 &tasks,
                 config.updateFileDir,
                 config.downloadTimeout},
          parallelUpdates(config.parallelUpdates) {
        addServiceRootRoutes(router);
        addSessionRoutes(router);
        addAccountRoutes(router);
        addManagerRoutes(router);
        addManagerNetworkRoutes(router);
        addLogServiceRoutes(router);
        addRemoteAccountRoutes(router);
        addSystemRoutes(router);
        addChassisRoutes(router);
        addUpdateServiceRoutes(router);
        addTaskRoutes(router);
        removeLeftoverImages(serviceState.directory());
        addEventServiceRoutes(router, eventService);
        if (options.watchCards && config.events.pollInterval.count() > 0)
            watch = std::make_unique<EventLogWatch>(cards, serviceState, eventService,
                                                    config.events.pollInterval, config.cardTimeout);
    }

    // Whether the head's credentials name a live session or an account of the service: only
    // then is an upload's body taken, so that no stranger makes the service hold megabytes (the
    // password and the privileges are checked once the request is whole). Cheap, for the IO
    // thread: no password hash is computed here.
    bool mayUpload(const web::Request& head);
    // Who sends the request: a session's token or Basic credentials. False after answering 401.
    bool authenticate(Exchange& ex);
    void dispatch(Exchange& ex);
    // The resource's entity tag as a GET would give it now; empty when it has none.
    std::string currentTag(Exchange& ex, const Route& route);
    void finish(Exchange& ex, const Route* route);
    // A successful change through the service as a ResourceEvent.
    void publishChange(const Exchange& ex);
    // Dispatches and finishes `ex`; a fault of this service costs one answer, not the thread.
    void run(Exchange& ex);

    ServiceState& state;
    CardPool cards;
    ServiceAccounts accounts;
    SessionStore sessions;
    EventService eventService;
    ServiceParts shared;
    int parallelUpdates;
    Router router;
    std::unique_ptr<EventLogWatch> watch;  // stops before what it polls and tells
    // Last: its workers end (their flashes done) before the parts they use go.
    TaskService tasks{[this](ServiceEvent event) { shared.publish(std::move(event)); },
                      parallelUpdates};
};

bool RedfishService::Parts::authenticate(Exchange& ex) {
    const web::Headers& headers = ex.request.headers;
    auto refuse = [&](const char* key) {
        ex.fail(401, {{key, {}}});
        ex.response.headers.set("WWW-Authenticate", "Basic realm=\"vorl_redfish\"");
        return false;
    };
    std::string user, sessionId;
    if (const std::string* token = headers.find("X-Auth-Token")) {
        const auto session = sessions.use(*token);
        if (!session) return refuse("NoValidSession");
        user = session->user;
        sessionId = session->id;
    } else if (const std::string* authorization = headers.find("Authorization")) {
        // The scheme's name is not case-sensitive.
        if (authorization->size() < 6 ||
            !web::Headers::sameName(authorization->substr(0, 6), "Basic "))
            return refuse("NoValidSession");
        const std::string decoded = base64Decode(std::string_view(*authorization).substr(6));
        const size_t colon = decoded.find(':');
        if (colon == std::string::npos) return refuse("AccessUnauthorized");
        user = decoded.substr(0, colon);
        if (!accounts.authenticate(user, decoded.substr(colon + 1)))
            return refuse("AccessUnauthorized");
    } else {
        return refuse("NoValidSession");
    }
    // The account as it is now: a role changed or an account removed counts at once.
    const auto account = accounts.find(user);
    if (!account) {
        if (!sessionId.empty()) sessions.close(sessionId);
        return refuse("NoValidSession");
    }
    ex.caller = Caller{user, account->role, rolePrivileges(account->role), sessionId};
    return true;
}

bool RedfishService::Parts::mayUpload(const web::Request& head) {
    std::string user;
    if (const std::string* token = head.headers.find("X-Auth-Token")) {
        const auto session = sessions.use(*token);
        if (!session) return false;
        user = session->user;
    } else if (const std::string* authorization = head.headers.find("Authorization")) {
        if (authorization->size() < 6 ||
            !web::Headers::sameName(authorization->substr(0, 6), "Basic "))
            return false;
        const std::string decoded = base64Decode(std::string_view(*authorization).substr(6));
        user = decoded.substr(0, decoded.find(':'));
    }
    return !user.empty() && accounts.find(user).has_value();
}

std::string RedfishService::Parts::currentTag(Exchange& ex, const Route& route) {
    const Method* get = route.method("GET");
    if (get == nullptr) return {};
    web::Request read = ex.request;
    read.method = "GET";
    read.body.clear();
    Exchange probe(read, shared);
    probe.params = ex.params;
    probe.caller = ex.caller;
    probe.shareDeadline(ex);
    get->handler(probe);
    if (!probe.answered() || probe.response.status != 200 || probe.resource() == nullptr) return {};
    return entityTag(*probe.resource(), probe.response.body);
}

void RedfishService::Parts::dispatch(Exchange& ex) {
    const web::Request& request = ex.request;
    const std::string path = canonicalPath(request.path);
    const Router::Found found = router.find(path);
    const Method* method = found.route ? found.route->method(request.method) : nullptr;
    const bool open = method != nullptr && method->privileges == 0;
    if (!open && !authenticate(ex)) return;
    if (!found.route) return ex.fail(404, {{"ResourceMissingAtURI", {request.path}}});
    ex.params = found.params;
    const std::string version(request.headers.get("OData-Version", "4.0"));
    if (version != "4.0") return ex.fail(412, {{"HeaderInvalid", {"OData-Version: " + version}}});
    // The event stream reads its own $filter.
    const bool ownQuery = found.route->pattern == std::string(kEventService) + "/SSE";
    if (const std::string query = unsupportedQuery(request.query); !query.empty() && !ownQuery)
        return ex.fail(501, {{"QueryParameterUnsupported", {query}}});
    if (method == nullptr) {
        ex.fail(405, {{"OperationNotAllowed", {}}});
        return;
    }
    if (!open && !ex.allowed(method->privileges)) return;
    if (const std::string* ifMatch = request.headers.find("If-Match");
        ifMatch != nullptr && *ifMatch != "*" && request.method != "GET" &&
        request.method != "HEAD") {
        const std::string tag = currentTag(ex, *found.route);
        // A strong tag the client made from ours still names the same content.
        const std::string strong = tag.size() > 2 ? tag.substr(2) : tag;
        if (tag.empty() || (*ifMatch != tag && *ifMatch != strong))
            return ex.fail(412, {{"PreconditionFailed", {}}});
    }
    method->handler(ex);
}

void RedfishService::Parts::finish(Exchange& ex, const Route* route) {
    web::Response& response = ex.response;
    if (!ex.answered()) ex.fail(500, {{"InternalError", {}}});
    response.headers.set("OData-Version", "4.0");
    response.headers.set("Cache-Control", "no-cache");
    if (route != nullptr) response.headers.set("Allow", route->allow());
    const bool read = ex.request.method == "GET" || ex.request.method == "HEAD";
    if (const Json* body = ex.resource(); read && response.status == 200 && body != nullptr) {
        if (const auto type = body->find("@odata.type"); type != body->end() && type->is_string()) {
            const std::string schema = schemaUriOf(type->get<std::string>());
            if (!schema.empty()) response.headers.set("Link", "<" + schema + ">; rel=describedby");
        }
        response.headers.set("ETag", entityTag(*body, response.body));
    }
    if (ex.request.method == "HEAD") response.body.clear();
    publishChange(ex);
}

void RedfishService::Parts::publishChange(const Exchange& ex) {
    const std::string& method = ex.request.method;
    const int status = ex.response.status;
    if (status < 200 || status >= 300 || method == "GET" || method == "HEAD") return;
    const std::string path = canonicalPath(ex.request.path);
    // Subscriptions and logins are the event service's and the client's own business.
    for (const char* quiet : {kEventService, "/redfish/v1/SessionService/Sessions"})
        if (path.rfind(quiet, 0) == 0) return;
    std::string type;
    if (const Json* body = ex.resource();
        body != nullptr && body->contains("@odata.type") && (*body)["@odata.type"].is_string()) {
        const std::string odata = (*body)["@odata.type"].get<std::string>();
        type = odata.substr(odata.rfind('.') + 1);
    }
    if (method == "DELETE") return shared.publish(resourceEvent("ResourceRemoved", {}, path, type));
    if (method == "POST" && status == 201) {
        const std::string* location = ex.response.headers.find("Location");
        return shared.publish(
            resourceEvent("ResourceCreated", {}, location ? *location : path, type));
    }
    // An action changes the resource it belongs to.
    const size_t actions = path.find("/Actions/");
    shared.publish(resourceEvent("ResourceChanged", {},
                                 actions == std::string::npos ? path : path.substr(0, actions),
                                 actions == std::string::npos ? type : std::string()));
}

void RedfishService::Parts::run(Exchange& ex) {
    const Router::Found found = router.find(canonicalPath(ex.request.path));
    try {
        dispatch(ex);
    } catch (const std::exception&) {
        if (ex.streamTaken()) return;  // the stream's owner answers
        ex.fail(500, {{"InternalError", {}}});
    }
    if (!ex.streamTaken()) finish(ex, found.route);
}

RedfishService::RedfishService(const RedfishConfig& config, ServiceState& state,
                               const ServiceOptions& options)
    : parts_(std::make_unique<Parts>(config, state, options, shadowed_)) {}

RedfishService::~RedfishService() = default;

web::Response RedfishService::handle(const web::Request& request) {
    Exchange ex(request, parts_->shared);
    parts_->run(ex);
    return std::move(ex.response);
}

void RedfishService::serve(const web::Request& request, const web::Responder& responder) {
    Exchange ex(request, parts_->shared, &responder);
    parts_->run(ex);
    if (!ex.streamTaken()) responder.send(std::move(ex.response));
}

web::BodyLimit RedfishService::bodyLimit(const web::Request& head,
                                         const web::Limits& limits) const {
    const Router::Found found = parts_->router.find(canonicalPath(head.path));
    const Method* method = found.route ? found.route->method(head.method) : nullptr;
    if (method != nullptr && method->maxBodyBytes > limits.maxBodyBytes && parts_->mayUpload(head))
        return {method->maxBodyBytes, limits.bodyTimeout};
    return {limits.maxBodyBytes, limits.bodyTimeout};
}

std::string RedfishService::cardOf(const web::Request& request) const {
    const std::vector<std::string> parts = splitPath(request.path);
    if (parts.size() < 4 || parts[0] != "redfish" || parts[1] != "v1") return {};
    std::string id;
    if (parts[2] == "Managers" || parts[2] == "Systems" || parts[2] == "Chassis") id = parts[3];
    if (parts[2] == "UpdateService" && parts.size() >= 5 && parts[3] == "FirmwareInventory")
        id = parts[4].substr(0, parts[4].find('.'));
    return !id.empty() && parts_->cards.find(id) ? id : std::string();
}

web::Response RedfishService::tooBusy(int retryAfterSeconds) const {
    web::Response response;
    response.status = 503;
    response.body = jsonText(
        errorJson({{"ResourceInUse", {}},
                   {"ServiceTemporarilyUnavailable", {std::to_string(retryAfterSeconds)}}}));
    response.headers.set("Content-Type", "application/json; charset=utf-8");
    response.headers.set("OData-Version", "4.0");
    response.headers.set("Retry-After", std::to_string(retryAfterSeconds));
    return response;
}

void RedfishService::closeIdleSessions() {
    parts_->cards.closeIdle(kIdleSession);
}

void RedfishService::keepEventStreamsAlive() {
    parts_->eventService.keepStreamsAlive();
}

void RedfishService::closeEventStreams() {
    parts_->eventService.closeStreams();
}

const std::vector<std::string>& RedfishService::eventWarnings() const {
    return parts_->eventService.warnings();
}

size_t RedfishService::cardCount() const {
    return parts_->cards.cards().size();
}

}  // namespace vorl::redfish
