#include "exporter/exporter_server.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "exporter/card_probe.h"
#include "exporter/exporter_metrics.h"
#include "exporter/metrics_text.h"
#include "exporter/probe_debug.h"
#include "exporter/process_metrics.h"
#include "exporter/query_string.h"
#include "exporter/tls_context.h"
#include "platform/sockets.h"

namespace vorl::exporter {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kExposition = "text/plain; version=0.0.4; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
// Time kept back from Prometheus's scrape timeout for the answer to travel.
constexpr std::chrono::milliseconds kScrapeMargin{500};
// A client that sends nothing (a stalled TLS handshake, a half-sent request) or reads nothing
// holds its thread this long at most.
constexpr time_t kClientTimeoutSeconds = 5;

void reply(httplib::Response& response, int status, const char* type, std::string body) {
    response.status = status;
    response.set_header("Cache-Control", "no-store");
    response.set_content(std::move(body), type);
}

std::string escapeHtml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string rawQuery(const httplib::Request& request) {
    const size_t question = request.target.find('?');
    return question == std::string::npos ? std::string() : request.target.substr(question + 1);
}

}  // namespace

Clock::time_point probeDeadline(const char* scrapeTimeoutHeader, std::chrono::milliseconds timeout,
                                Clock::time_point start) {
    if (scrapeTimeoutHeader != nullptr) {
        char* end = nullptr;
        const double seconds = std::strtod(scrapeTimeoutHeader, &end);
        if (end != scrapeTimeoutHeader && *end == '\0' && seconds > 0 && seconds < 86400) {
            const auto scrape = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
            const auto bounded = scrape > 2 * kScrapeMargin ? scrape - kScrapeMargin : scrape / 2;
            if (bounded < timeout) timeout = bounded;
        }
    }
    return start + timeout;
}

bool parseListenAddress(const std::string& text, std::string& host, int& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 >= text.size() || text.size() - colon > 6)
        return false;
    port = 0;
    for (size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        port = port * 10 + (text[i] - '0');
    }
    if (port < 1 || port > 65535) return false;
    host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string::npos)
        return false;  // an IPv6 address needs its brackets
    if (host.empty()) host = "0.0.0.0";
    if (host == "localhost") host = "127.0.0.1";
    return true;
}

ExporterServer::ExporterServer(ServerOptions options, ExporterConfig config, WebConfig web)
    : options_(std::move(options)),
      web_(std::move(web)),
      config_(std::make_shared<const ExporterConfig>(std::move(config))),
      metrics_(std::make_unique<ExporterMetrics>()),
      pool_(options_.probeLimit) {}

ExporterServer::~ExporterServer() {
    if (http_) http_->stop();
    if (listener_.joinable()) listener_.join();
}

bool ExporterServer::start(std::string& error) {
    std::string host;
    int port = 0;
    if (!parseListenAddress(options_.listenAddress, host, port)) {
        error = "cannot listen on " + options_.listenAddress + ": not HOST:PORT";
        return false;
    }
    if (web_.tls()) {
        std::string tlsError;
        auto server = std::make_unique<httplib::SSLServer>(
            [&](SSL_CTX& context) { return setUpTls(context, web_, tlsError); });
        if (!server->is_valid()) {
            error = tlsError.empty() ? "cannot start TLS" : tlsError;
            return false;
        }
        http_ = std::move(server);
    } else {
        http_ = std::make_unique<httplib::Server>();
    }
    const size_t threads = options_.httpThreads;
    http_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    http_->set_socket_options(
        [](socket_t socket) { platform::prepareListeningSocket(static_cast<intptr_t>(socket)); });
    http_->set_tcp_nodelay(true);
    http_->set_read_timeout(kClientTimeoutSeconds);
    http_->set_write_timeout(kClientTimeoutSeconds);
    // Plain HTTP: one request per connection. The library watches an idle kept-alive connection
    // by waking every 10 ms, which for a fleet scraped every 15 s costs more CPU than a new
    // connection per scrape (bench/exporter_bench.py: 2.9 % against 2.2 % of a core). With TLS
    // a new connection costs a full handshake, far more than that watching: keep them alive.
    http_->set_keep_alive_max_count(web_.tls() ? 1000 : 1);
    http_->set_keep_alive_timeout(kClientTimeoutSeconds);
    http_->set_payload_max_length(kMaxQueryLength);
    route();
    if (!http_->bind_to_port(host, port)) {
        error = "cannot listen on " + options_.listenAddress;
        return false;
    }
    listener_ = std::thread([this] { http_->listen_after_bind(); });
    return true;
}

void ExporterServer::route() {
    using httplib::Server;
    http_->set_pre_routing_handler([this](const Request& request, Response& response) {
        return authorized(request, response) ? Server::HandlerResponse::Unhandled
                                             : Server::HandlerResponse::Handled;
    });
    auto bind = [this](void (ExporterServer::*handler)(const Request&, Response&)) {
        return [this, handler](const Request& request, Response& response) {
            (this->*handler)(request, response);
        };
    };
    http_->Get("/probe", bind(&ExporterServer::handleProbe));
    http_->Get("/metrics", bind(&ExporterServer::handleMetrics));
    http_->Get("/", bind(&ExporterServer::handleIndex));
    http_->Get("/-/healthy", [](const Request&, Response& response) {
        reply(response, 200, kText, "Healthy\n");
    });
    http_->Post("/-/reload", bind(&ExporterServer::handleReload));
    http_->Get("/-/reload", [](const Request&, Response& response) {
        reply(response, 405, kText, "use POST to reload the configuration\n");
    });
    http_->set_exception_handler([](const Request&, Response& response, std::exception_ptr) {
        reply(response, 500, kText, "internal error\n");
    });
}

std::shared_ptr<const ExporterConfig> ExporterServer::config() const {
    std::lock_guard<std::mutex> guard(configMutex_);
    return config_;
}

bool ExporterServer::reload(std::string& error) {
    ExporterConfig fresh;
    const bool ok = loadConfigFile(options_.configFile, fresh, error);
    if (ok) {
        std::lock_guard<std::mutex> guard(configMutex_);
        config_ = std::make_shared<const ExporterConfig>(std::move(fresh));
        std::fprintf(stderr, "vorl_exporter: configuration reloaded from %s\n",
                     options_.configFile.c_str());
    } else {
        std::fprintf(stderr, "vorl_exporter: reload failed, the previous configuration stays: %s\n",
                     error.c_str());
    }
    metrics_->reloaded(ok);
    return ok;
}

bool ExporterServer::authorized(const Request& request, Response& response) {
    if (web_.users.empty()) return true;
    const auto header = request.headers.find("Authorization");
    if (header != request.headers.end() && checkBasicAuth(web_, header->second.c_str()))
        return true;
    response.set_header("WWW-Authenticate", "Basic realm=\"vorl_exporter\"");
    reply(response, 401, kText, "Unauthorized\n");
    return false;
}

void ExporterServer::handleProbe(const Request& request, Response& response) {
    const auto start = Clock::now();
    std::map<std::string, std::string> query;
    Target target;
    auto refuse = [&](int status, const std::string& reason) {
        metrics_->probeDone("refused", 0);
        reply(response, status, kText, reason + "\n");
    };
    if (!parseQuery(rawQuery(request), query)) return refuse(400, "malformed query string");
    std::string reason;
    if (!parseTarget(query["target"], target, reason))
        return refuse(400, "target '" + labelText(query["target"]) + "' refused: " + reason +
                               " (the target is a card's IPv4 address, optionally with :PORT)");
    const auto config = this->config();
    const std::string where = target.text() + ":" + std::to_string(target.port);
    if (!config->allows(target))
        return refuse(403, "target " + where + " is not in allowed_targets");
    const std::string moduleName = query.count("module") ? query["module"] : "default";
    const auto module = config->modules.find(moduleName);
    if (module == config->modules.end()) return refuse(400, "unknown module '" + moduleName + "'");

    const auto header = request.headers.find("X-Prometheus-Scrape-Timeout-Seconds");
    const auto deadline =
        probeDeadline(header == request.headers.end() ? nullptr : header->second.c_str(),
                      module->second.timeout, start);
    const std::string key = where + "/" + moduleName;
    const Module& settings = module->second;
    // The card's commands end a little before the answer is due, so that what was read by
    // then (a slow collector aside) still reaches the answer.
    const auto cardDeadline = deadline - std::min<Clock::duration>(std::chrono::milliseconds(250),
                                                                   (deadline - start) / 4);
    const bool debug = query.count("debug") && query["debug"] == "true";
    ProbeLog log;
    bool ranHere = false;
    auto reading = pool_.run(
        key,
        [&] {
            ranHere = true;
            return probeCard(target, settings, cardDeadline, debug ? &log : nullptr);
        },
        deadline);
    if (!reading)
        reading = cardread::failedReading(
            settings.collectors, "slot",
            "no probe slot came free, or the probe this one shared did not end, in time");
    bool allOk = !reading->results.empty();
    for (const auto& result : reading->results) allOk = allOk && result.ok;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    metrics_->probeDone(allOk ? "success" : "failure", seconds);
    if (debug)
        return reply(response, 200, kText,
                     probeDebugPage(target, moduleName, settings, log, *reading, !ranHere,
                                    cardMetricsText(*reading)));
    reply(response, 200, kExposition, cardMetricsText(*reading));
}

void ExporterServer::handleMetrics(const Request&, Response& response) {
    std::string body = metrics_->text(pool_.running()) + processMetricsText();
    if (options_.localCard) {
        // One host-interface exchange at a time: the card's drive is a shared channel.
        std::lock_guard<std::mutex> guard(localCardMutex_);
        body += cardMetricsText(probeLocalCard(kAllCollectors));
    }
    reply(response, 200, kExposition, std::move(body));
}

void ExporterServer::handleIndex(const Request&, Response& response) {
    std::string body =
        "<!DOCTYPE html>\n<html><head><title>VORL exporter</title></head><body>\n"
        "<h1>VORL exporter</h1>\n<ul>\n"
        "<li><a href=\"/probe?target=127.0.0.1\">/probe?target=HOST&amp;module=NAME</a>: a card's "
        "metrics</li>\n<li><a href=\"/metrics\">/metrics</a>: the exporter's own metrics" +
        std::string(options_.localCard ? " and the local card's" : "") +
        "</li>\n<li><a href=\"/-/healthy\">/-/healthy</a></li>\n"
        "<li>/-/reload (POST): reads the configuration again</li>\n</ul>\n<h2>Modules</h2>\n<ul>\n";
    for (const auto& [name, module] : config()->modules) {
        std::string collectors;
        for (unsigned bit = 1; collectorName(bit) != nullptr; bit <<= 1)
            if (module.collectors & bit)
                collectors += (collectors.empty() ? "" : ", ") + std::string(collectorName(bit));
        body += "<li>" + escapeHtml(name) + ": " + collectors + "; timeout " +
                std::to_string(module.timeout.count()) + " ms</li>\n";
    }
    body += "</ul>\n</body></html>\n";
    reply(response, 200, "text/html; charset=utf-8", std::move(body));
}

void ExporterServer::handleReload(const Request&, Response& response) {
    std::string error;
    if (!reload(error))
        return reply(response, 500, kText,
                     "reload failed, the previous configuration stays: " + error + "\n");
    reply(response, 200, kText, "configuration reloaded\n");
}

}  // namespace vorl::exporter
