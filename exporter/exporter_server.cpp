#include "exporter/exporter_server.h"

#include <civetweb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "exporter/card_probe.h"
#include "exporter/exporter_metrics.h"
#include "exporter/metrics_text.h"
#include "exporter/query_string.h"

namespace vorl::exporter {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kExposition = "text/plain; version=0.0.4; charset=utf-8";
// Time kept back from Prometheus's scrape timeout for the answer to travel.
constexpr std::chrono::milliseconds kScrapeMargin{500};

void reply(mg_connection* conn, int status, const char* type, const std::string& body) {
    mg_printf(conn,
              "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %zu\r\n"
              "Cache-Control: no-store\r\nConnection: close\r\n\r\n",
              status, mg_get_response_code_text(conn, status), type, body.size());
    mg_write(conn, body.data(), body.size());
}

void replyText(mg_connection* conn, int status, const std::string& body) {
    reply(conn, status, "text/plain; charset=utf-8", body);
}

// The probe's deadline: the module's timeout, or Prometheus's scrape timeout less a margin
// when that is shorter.
Clock::time_point probeDeadline(mg_connection* conn, std::chrono::milliseconds timeout,
                                Clock::time_point start) {
    const char* header = mg_get_header(conn, "X-Prometheus-Scrape-Timeout-Seconds");
    if (header != nullptr) {
        char* end = nullptr;
        const double seconds = std::strtod(header, &end);
        if (end != header && seconds > 0 && seconds < 86400) {
            const auto scrape = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
            const auto bounded = scrape > 2 * kScrapeMargin ? scrape - kScrapeMargin : scrape / 2;
            if (bounded < timeout) timeout = bounded;
        }
    }
    return start + timeout;
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

template <int (ExporterServer::*Handler)(mg_connection*)>
int dispatch(mg_connection* conn, void* data) {
    auto* server = static_cast<ExporterServer*>(data);
    if (!server->authorized(conn)) return 401;
    return (server->*Handler)(conn);
}

int logMessage(const mg_connection*, const char* message) {
    std::fprintf(stderr, "vorl_exporter: web server: %s\n", message);
    return 1;
}

// "localhost:9577" and ":9577" as CivetWeb writes them.
std::string civetPorts(const std::string& address) {
    std::string ports = address;
    if (ports.rfind("localhost:", 0) == 0) ports = "127.0.0.1:" + ports.substr(10);
    if (!ports.empty() && ports[0] == ':') ports = ports.substr(1);
    return ports;
}

}  // namespace

ExporterServer::ExporterServer(ServerOptions options, ExporterConfig config, WebConfig web)
    : options_(std::move(options)),
      web_(std::move(web)),
      config_(std::make_shared<const ExporterConfig>(std::move(config))),
      metrics_(std::make_unique<ExporterMetrics>()),
      pool_(options_.workers, options_.workers * 8) {}

ExporterServer::~ExporterServer() {
    if (context_ != nullptr) mg_stop(context_);
}

bool ExporterServer::start(std::string& error) {
    const std::string ports = civetPorts(options_.listenAddress);
    std::vector<const char*> settings = {"listening_ports",    ports.c_str(), "num_threads", "64",
                                         "request_timeout_ms", "120000"};
    settings.push_back(nullptr);
    mg_callbacks callbacks{};
    callbacks.log_message = logMessage;
    mg_init_library(0);
    context_ = mg_start(&callbacks, this, settings.data());
    if (context_ == nullptr) {
        error = "cannot listen on " + options_.listenAddress;
        return false;
    }
    mg_set_request_handler(context_, "/probe$", dispatch<&ExporterServer::handleProbe>, this);
    mg_set_request_handler(context_, "/metrics$", dispatch<&ExporterServer::handleMetrics>, this);
    mg_set_request_handler(context_, "/-/healthy$", dispatch<&ExporterServer::handleHealthy>, this);
    mg_set_request_handler(context_, "/-/reload$", dispatch<&ExporterServer::handleReload>, this);
    mg_set_request_handler(context_, "/$", dispatch<&ExporterServer::handleIndex>, this);
    return true;
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

bool ExporterServer::authorized(mg_connection* conn) {
    if (web_.users.empty() || checkBasicAuth(web_, mg_get_header(conn, "Authorization")))
        return true;
    mg_printf(conn,
              "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"vorl_exporter\"\r\n"
              "Content-Type: text/plain\r\nContent-Length: 13\r\nConnection: close\r\n\r\n"
              "Unauthorized\n");
    return false;
}

int ExporterServer::handleProbe(mg_connection* conn) {
    const auto start = Clock::now();
    const mg_request_info* request = mg_get_request_info(conn);
    std::map<std::string, std::string> query;
    Target target;
    auto refuse = [&](int status, const std::string& reason) {
        metrics_->probeDone("refused", 0);
        replyText(conn, status, reason + "\n");
        return status;
    };
    if (!parseQuery(request->query_string ? request->query_string : "", query))
        return refuse(400, "malformed query string");
    if (!parseTarget(query["target"], target))
        return refuse(400, "target must be an IPv4 address, optionally with :PORT");
    const auto config = this->config();
    if (!config->allows(target.address))
        return refuse(403, "target " + target.address + " is not in allowed_targets");
    const std::string moduleName = query.count("module") ? query["module"] : "default";
    const auto module = config->modules.find(moduleName);
    if (module == config->modules.end()) return refuse(400, "unknown module '" + moduleName + "'");

    const auto deadline = probeDeadline(conn, module->second.timeout, start);
    const std::string key = target.address + ":" + std::to_string(target.port) + "/" + moduleName;
    const Module settings = module->second;
    // The card's commands end a little before the answer is due, so that what was read by
    // then (a slow collector aside) still reaches the answer.
    const auto cardDeadline = deadline - std::min<Clock::duration>(std::chrono::milliseconds(250),
                                                                   (deadline - start) / 4);
    auto reading = pool_.run(
        key, [target, settings, cardDeadline] { return probeCard(target, settings, cardDeadline); },
        deadline);
    if (!reading) reading = failedReading(module->second.collectors);
    bool allOk = !reading->results.empty();
    for (const auto& result : reading->results) allOk = allOk && result.ok;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    metrics_->probeDone(allOk ? "success" : "failure", seconds);
    reply(conn, 200, kExposition, cardMetricsText(*reading));
    return 200;
}

int ExporterServer::handleMetrics(mg_connection* conn) {
    std::string body = metrics_->text(pool_.running());
    if (options_.localCard) {
        // One host-interface exchange at a time: the card's drive is a shared channel.
        std::lock_guard<std::mutex> guard(localCardMutex_);
        body += cardMetricsText(probeLocalCard(kAllCollectors));
    }
    reply(conn, 200, kExposition, body);
    return 200;
}

int ExporterServer::handleIndex(mg_connection* conn) {
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
    reply(conn, 200, "text/html; charset=utf-8", body);
    return 200;
}

int ExporterServer::handleHealthy(mg_connection* conn) {
    replyText(conn, 200, "Healthy\n");
    return 200;
}

int ExporterServer::handleReload(mg_connection* conn) {
    if (std::string(mg_get_request_info(conn)->request_method) != "POST") {
        replyText(conn, 405, "use POST to reload the configuration\n");
        return 405;
    }
    std::string error;
    if (!reload(error)) {
        replyText(conn, 500, "reload failed, the previous configuration stays: " + error + "\n");
        return 500;
    }
    replyText(conn, 200, "configuration reloaded\n");
    return 200;
}

}  // namespace vorl::exporter
