#pragma once
// vorl_redfish's service, whatever carries its requests: a request in, its answer out. The
// routes of every resource family, authentication (Basic or a session's X-Auth-Token) and
// privileges, the protocol's headers (OData-Version, Link, Allow, ETag), If-Match, and errors
// as Base registry messages. handle() may run on several threads at once; a request never waits
// for a card past its own deadline.
#include <memory>
#include <string>
#include <vector>

#include "redfish/card_link.h"
#include "redfish/redfish_config.h"
#include "web/http_message.h"
#include "web/responder.h"
#include "web/server.h"

namespace vorl::redfish {

struct ServiceOptions {
    bool localCard = false;  // add the card in this server, over the host interface, as "local"
    CardLink::TransportFactory transports;  // tests bring their own; empty: the real ones
    uint32_t cardPort = 6577;               // tests run cards on other ports
    // Poll every card's event log and reachability for events (the daemon does; tests of
    // single resources do not).
    bool watchCards = false;
};

class RedfishService {
public:
    // The state directory must already be open (ServiceState::open).
    RedfishService(const RedfishConfig& config, class ServiceState& state,
                   const ServiceOptions& options);
    ~RedfishService();
    RedfishService(const RedfishService&) = delete;
    RedfishService& operator=(const RedfishService&) = delete;

    web::Response handle(const web::Request& request);
    // handle(), answering through `responder`; a route that answers with a stream (Server-Sent
    // Events) keeps the responder instead.
    void serve(const web::Request& request, const web::Responder& responder);
    // The body a request may carry, chosen from its head: an upload route's own cap, the web
    // layer's otherwise.
    web::BodyLimit bodyLimit(const web::Request& head, const web::Limits& limits) const;

    // The card a request is about (the id in its Manager, System, Chassis or firmware URI);
    // empty when it is about none. The web layer caps the requests in flight per card with it.
    std::string cardOf(const web::Request& request) const;
    // The answer to a request refused before it was handled because its card has too many
    // requests in flight.
    web::Response tooBusy(int retryAfterSeconds) const;

    // Closes card sessions idle for longer than kIdleSession; never waits. Call it every few
    // seconds.
    void closeIdleSessions();
    static constexpr std::chrono::seconds kIdleSession{60};

    // Sends a keep-alive comment on every Server-Sent Event stream; call it every few seconds.
    void keepEventStreamsAlive();
    // Ends every Server-Sent Event stream: before the web server stops.
    void closeEventStreams();
    // What the start-up log should say about the stored subscriptions.
    const std::vector<std::string>& eventWarnings() const;

    // Accounts of the state directory that the configuration file shadows (for the start-up log).
    const std::vector<std::string>& shadowedAccounts() const { return shadowed_; }
    size_t cardCount() const;

private:
    struct Parts;
    std::vector<std::string> shadowed_;
    std::unique_ptr<Parts> parts_;
};

}  // namespace vorl::redfish
