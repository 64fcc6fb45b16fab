#pragma once
// One request on its way through the service: what a resource handler reads (the request, the
// {} parts of its URI, the caller) and the answers it gives (a resource, a creation, an error
// from the Base registry, a card's failure).
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "redfish/card_pool.h"
#include "redfish/event_sink.h"
#include "redfish/messages.h"
#include "redfish/privileges.h"
#include "redfish/router.h"
#include "redfish/service_accounts.h"
#include "redfish/session_store.h"
#include "web/http_message.h"
#include "web/responder.h"

namespace vorl::redfish {

struct ServiceSettings {
    std::chrono::milliseconds cardTimeout{10000};
    std::chrono::milliseconds cacheTime{5000};
};

// What the resource families share. Every member is safe from several threads.
struct ServiceParts {
    ServiceState& state;
    CardPool& cards;
    ServiceAccounts& accounts;
    SessionStore& sessions;
    ServiceSettings settings;
    EventSink* events = nullptr;         // none: nothing is told (tests of single resources)
    class TaskService* tasks = nullptr;  // none: no updates (tests of single resources)
    std::string updateFileDir;           // file:// images of SimpleUpdate; empty: refused
    std::chrono::milliseconds downloadTimeout{60000};

    void publish(ServiceEvent event) {
        if (events != nullptr) events->publish(std::move(event));
    }
};

struct Caller {
    std::string user;
    Role role = Role::ReadOnly;
    unsigned privileges = 0;
    std::string sessionId;  // empty: Basic authentication
};

class Exchange {
public:
    Exchange(const web::Request& request, ServiceParts& parts,
             const web::Responder* responder = nullptr)
        : request(request), parts(parts), responder(responder) {}

    const web::Request& request;
    ServiceParts& parts;
    std::vector<std::string> params;  // the {} parts of the route, in order
    std::optional<Caller> caller;     // empty only on the routes open to everybody
    web::Response response;
    // The connection's responder, for a route that answers with a stream (Server-Sent Events);
    // null when the request came without one (RedfishService::handle).
    const web::Responder* responder;

    const std::string& param(size_t index) const { return params.at(index); }
    bool answered() const { return answered_; }
    // The resource of a 200 or 201 answer, as the handler gave it (the answer's body is its text).
    const Json* resource() const { return resource_ ? &*resource_ : nullptr; }
    // The time by which everything this request asks of a card must be done.
    Clock::time_point cardDeadline();
    // This request's card work shares the deadline of `other` (a read made to answer it).
    void shareDeadline(Exchange& other) { cardDeadline_ = other.cardDeadline(); }

    // The request body as a JSON object; false after answering 400 when it is none.
    bool readObject(Json& body);

    void ok(const Json& resource);                                    // 200
    void created(const std::string& location, const Json& resource);  // 201 with Location
    void noContent();                                                 // 204
    void fail(int status, std::vector<Message> messages);
    // 404 ResourceNotFound for a resource of `type` named `id`.
    void notFound(const std::string& type, const std::string& id);
    // The card `id`; null after answering 404 (it is named a resource of `type`).
    Card* findCard(const std::string& id, const std::string& type);
    // The handler answers through `responder` itself (a stream it keeps): the service sends
    // nothing for this request. Only when `responder` is not null.
    void takeStream() { answered_ = streamTaken_ = true; }
    bool streamTaken() const { return streamTaken_; }
    // An answer that is not JSON ($metadata).
    void text(int status, const std::string& contentType, std::string body);
    // Answers a card that failed or refused: 503 with Retry-After when it could not be reached
    // in time, the card's own status text when it refused. `detail`, when given, is told first.
    void cardFailed(const Card& card, const CardResult& result, const std::string& detail = {});
    // True when the caller holds every privilege of `needed`; otherwise answers 403.
    bool allowed(unsigned needed);

private:
    void answer(int status, const Json& body);

    bool answered_ = false;
    bool streamTaken_ = false;
    std::optional<Json> resource_;
    std::optional<Clock::time_point> cardDeadline_;
};

// Reads a PATCH body property by property. Problems (a wrong type, a property that cannot be
// written, one the resource does not have) are collected so that one answer names them all and
// nothing is changed when there is any.
class PatchBody {
public:
    explicit PatchBody(const Json& body) : body_(body) {}

    bool has(const char* key) const { return body_.contains(key); }
    std::optional<std::string> string(const char* key);
    std::optional<int64_t> integer(const char* key);
    std::optional<bool> boolean(const char* key);
    const Json* object(const char* key);  // null when absent or not an object (noted)
    const Json* array(const char* key);   // null when absent or not an array (noted)
    // Notes every one of `keys` present as not writable.
    void readOnly(std::initializer_list<const char*> keys);
    // A problem of the caller's own (a value out of range, ...).
    void problem(Message message) { problems_.push_back(std::move(message)); }
    void consumed(const char* key) { used_.emplace_back(key); }

    // Every key not read is unknown (annotations such as @odata.etag aside); then the
    // problems, empty when the body can be applied.
    std::vector<Message> finish();

private:
    const Json* take(const char* key);
    void wrongType(const char* key, const Json& value);

    const Json& body_;
    std::vector<std::string> used_;
    std::vector<Message> problems_;
};

// "@odata.id" objects.
Json link(const std::string& uri);
// A resource collection of `type` ("ManagerCollection") at `uri` with `members` (their URIs).
Json collection(const std::string& type, const std::string& uri, const std::string& name,
                const std::vector<std::string>& members);

}  // namespace vorl::redfish
