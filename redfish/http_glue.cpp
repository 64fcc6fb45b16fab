#include "redfish/http_glue.h"

#include <map>
#include <mutex>

#include "redfish/redfish_service.h"
#include "redfish/tls_certificate.h"
#include "web/log.h"
#include "web/server.h"
#include "web/task_queue.h"
#include "web/tls_context.h"
#include "web/web_config.h"

namespace vorl::redfish {
namespace {

// Counts the requests of each card that are waiting or being handled.
class CardGate {
public:
    explicit CardGate(size_t limit) : limit_(limit) {}

    bool enter(const std::string& card) {
        std::lock_guard<std::mutex> guard(mutex_);
        size_t& count = inFlight_[card];
        if (count >= limit_) return false;
        ++count;
        return true;
    }

    void leave(const std::string& card) {
        std::lock_guard<std::mutex> guard(mutex_);
        const auto found = inFlight_.find(card);
        if (found != inFlight_.end() && --found->second == 0) inFlight_.erase(found);
    }

private:
    std::mutex mutex_;
    std::map<std::string, size_t> inFlight_;
    size_t limit_;
};

class WebServer : public HttpServer {
public:
    WebServer(RedfishService& service, const HttpOptions& options)
        : service_(service),
          options_(options),
          gate_(options.perCardInFlight),
          workers_(options.workers, options.queued) {}

    ~WebServer() override { stop(std::chrono::hours(24)); }

    bool start(web::TlsContext tls, std::string& error) {
        web::ServerSettings settings;
        settings.listenAddresses = {options_.listenAddress};
        settings.limits = options_.limits;
        settings.tls = std::move(tls);
        settings.ioThreads = options_.ioThreads;
        settings.bodyLimit = [this](const web::Request& head, const web::Limits& limits) {
            return service_.bodyLimit(head, limits);
        };
        server_ = std::make_unique<web::Server>(
            std::move(settings), [this](web::Request request, web::Responder responder) {
                accept(std::move(request), std::move(responder));
            });
        if (!server_->start(error)) return false;
        description_ = "https on " + options_.listenAddress;
        return true;
    }

    std::string describe() const override { return description_; }

    bool stop(std::chrono::milliseconds grace) override {
        if (server_) server_->stop();
        return workers_.stop(grace);
    }

private:
    // On an IO thread: queue the request for a worker, or refuse it at once.
    void accept(web::Request request, web::Responder responder) {
        std::string card = service_.cardOf(request);
        if (!card.empty() && !gate_.enter(card)) {
            responder.send(service_.tooBusy(1));
            return;
        }
        auto job = [this, card, request = std::move(request), responder]() {
            // A client that left while its request waited is not worth a card exchange.
            if (!responder.clientGone()) service_.serve(request, responder);
            if (!card.empty()) gate_.leave(card);
        };
        if (!workers_.post(std::move(job))) {
            if (!card.empty()) gate_.leave(card);
            responder.send(service_.tooBusy(1));
        }
    }

    RedfishService& service_;
    HttpOptions options_;
    CardGate gate_;
    std::unique_ptr<web::Server> server_;
    // Declared after the server: the workers (and the Responders their requests hold) go first.
    web::TaskQueue workers_;
    std::string description_;
};

// The web configuration of this service holds TLS settings only: its logins are the accounts of
// its own configuration file.
bool readWebConfig(const std::string& path, web::WebConfig& web, std::string& error) {
    if (!web::loadWebConfig(path, web, error)) return false;
    if (!web.users.empty()) {
        error = path +
                ": basic_auth_users is not used by vorl_redfish: its logins are the "
                "accounts of its configuration file";
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<HttpServer> startHttpServer(RedfishService& service, const HttpOptions& options,
                                            std::string& error) {
    web::WebConfig web;
    if (!options.webConfigFile.empty() && !readWebConfig(options.webConfigFile, web, error))
        return nullptr;
    if (!web.tls() &&
        !ensureSelfSignedCertificate(options.stateDir, web.certFile, web.keyFile, error))
        return nullptr;
    web::TlsContext tls = web::makeTlsContext(web, error);
    if (!tls) return nullptr;
    auto server = std::make_unique<WebServer>(service, options);
    if (!server->start(std::move(tls), error)) return nullptr;
    return server;
}

}  // namespace vorl::redfish
