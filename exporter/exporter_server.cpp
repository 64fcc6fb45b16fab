#include "exporter/exporter_server.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>

#include "exporter/card_probe.h"
#include "exporter/exporter_metrics.h"
#include "exporter/metrics_text.h"
#include "exporter/probe_debug.h"
#include "exporter/process_metrics.h"
#include "exporter/query_string.h"
#include "web/log.h"

namespace vorl::exporter {
namespace {

using Clock = std::chrono::steady_clock;
namespace log = web::log;

constexpr const char* kExposition = "text/plain; version=0.0.4; charset=utf-8";
// Time kept back from Prometheus's scrape timeout for the answer to travel.
constexpr std::chrono::milliseconds kScrapeMargin{500};
// How long a /metrics request waits for the local card's reading.
constexpr std::chrono::seconds kLocalCardWait{10};

web::Response exposition(std::string body) {
    web::Response response = web::textResponse(200, std::move(body));
    response.headers.set("Content-Type", kExposition);
    return response;
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

// The web layer's connection figures, in the exposition format.
std::string connectionMetricsText(const web::ServerStats& stats) {
    std::string text =
        "# HELP vorl_exporter_http_connections_open HTTP connections open now.\n"
        "# TYPE vorl_exporter_http_connections_open gauge\n"
        "vorl_exporter_http_connections_open " +
        std::to_string(stats.open) +
        "\n# HELP vorl_exporter_http_connections_idle HTTP connections waiting for a request.\n"
        "# TYPE vorl_exporter_http_connections_idle gauge\n"
        "vorl_exporter_http_connections_idle " +
        std::to_string(stats.idle) +
        "\n# HELP vorl_exporter_http_connections_accepted_total HTTP connections accepted.\n"
        "# TYPE vorl_exporter_http_connections_accepted_total counter\n"
        "vorl_exporter_http_connections_accepted_total " +
        std::to_string(stats.accepted) +
        "\n# HELP vorl_exporter_http_connections_closed_total HTTP connections the exporter "
        "closed on its own, by reason.\n"
        "# TYPE vorl_exporter_http_connections_closed_total counter\n";
    const std::pair<const char*, uint64_t> closed[] = {{"deadline", stats.timedOut},
                                                       {"evicted", stats.evicted},
                                                       {"refused", stats.refused},
                                                       {"tls_handshake", stats.tlsFailures}};
    for (const auto& [reason, count] : closed)
        text += "vorl_exporter_http_connections_closed_total{reason=\"" + std::string(reason) +
                "\"} " + std::to_string(count) + "\n";
    return text;
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

ExporterServer::ExporterServer(ServerOptions options, ExporterConfig config, web::WebConfig web,
                               web::TlsContext tls)
    : options_(std::move(options)),
      web_(std::move(web)),
      tls_(std::move(tls)),
      config_(std::make_shared<const ExporterConfig>(std::move(config))),
      metrics_(std::make_unique<ExporterMetrics>()),
      pool_(options_.probeWorkers, options_.probesPerTarget) {
    auto bind = [this](void (ExporterServer::*handler)(web::Request, web::Responder)) {
        return [this, handler](web::Request request, web::Responder responder) {
            (this->*handler)(std::move(request), std::move(responder));
        };
    };
    auto text = [](const char* body) {
        return [body](web::Request, web::Responder responder) {
            responder.send(web::textResponse(200, body));
        };
    };
    router_.add("GET", "/probe", bind(&ExporterServer::handleProbe))
        .add("GET", "/metrics", bind(&ExporterServer::handleMetrics))
        .add("GET", "/", bind(&ExporterServer::handleIndex))
        .add("GET", "/-/healthy", text("Healthy\n"))
        .add("GET", "/-/ready", text("Ready\n"))
        .add("POST", "/-/reload", bind(&ExporterServer::handleReload))
        .add("PUT", "/-/reload", bind(&ExporterServer::handleReload));
    if (!web_.users.empty()) auth_ = std::make_shared<web::BasicAuth>(web_.users);
}

ExporterServer::~ExporterServer() {
    stop(std::chrono::hours(24 * 365));
}

bool ExporterServer::start(std::string& error) {
    control_ = std::make_unique<web::TaskQueue>(1, 4);
    web::ServerSettings settings;
    settings.listenAddresses = {options_.listenAddress};
    settings.limits = options_.limits;
    settings.tls = tls_;
    settings.ioThreads = options_.ioThreads;
    web::Handler handler = router_.handler();
    if (auth_) handler = web::requireBasicAuth(auth_, "vorl_exporter", std::move(handler));
    server_ = std::make_unique<web::Server>(std::move(settings), std::move(handler));
    return server_->start(error);
}

bool ExporterServer::stop(std::chrono::milliseconds grace) {
    if (server_) server_->stop();  // no request comes any more
    if (auth_) auth_->stop();
    if (!pool_.stop(grace)) return false;
    if (control_ && !control_->stop(grace)) return false;
    return true;
}

web::ServerStats ExporterServer::webStats() const {
    return server_ ? server_->stats() : web::ServerStats{};
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
    }
    if (ok) {
        log::info("configuration reloaded", {{"file", options_.configFile}});
        for (const auto& warning : config()->warnings) log::warn(warning);
    } else
        log::error("reload failed, the previous configuration stays", {{"reason", error}});
    metrics_->reloaded(ok);
    return ok;
}

void ExporterServer::requestReload() {
    if (!control_ || !control_->post([this] {
            std::string error;
            reload(error);
        }))
        log::warn("reload not started: reloads are waiting already");
}

void ExporterServer::handleProbe(web::Request request, web::Responder responder) {
    const auto start = Clock::now();
    std::map<std::string, std::string> query;
    Target target;
    auto refuse = [&](int status, const std::string& reason) {
        metrics_->probeDone("refused", 0);
        responder.send(web::textResponse(status, reason + "\n"));
    };
    if (!parseQuery(request.query, query)) return refuse(400, "malformed query string");
    std::string reason;
    if (!parseTarget(query["target"], target, reason))
        return refuse(400, "target '" + labelText(query["target"]) + "' refused: " + reason +
                               " (the target is a card's IPv4 address, optionally with :PORT)");
    auto config = this->config();
    const std::string where = target.text() + ":" + std::to_string(target.port);
    if (!config->allows(target))
        return refuse(403, "target " + where + " is not in allowed_targets");
    const std::string moduleName = query.count("module") ? query["module"] : "default";
    const auto module = config->modules.find(moduleName);
    if (module == config->modules.end()) return refuse(400, "unknown module '" + moduleName + "'");

    const std::string* header = request.headers.find("X-Prometheus-Scrape-Timeout-Seconds");
    const auto deadline =
        probeDeadline(header ? header->c_str() : nullptr, module->second.timeout, start);
    // The card's commands end a little before the answer is due, so that what was read by
    // then (a slow collector aside) still reaches the answer.
    const auto cardDeadline = deadline - std::min<Clock::duration>(std::chrono::milliseconds(250),
                                                                   (deadline - start) / 4);
    const Module* settings = &module->second;
    const bool debug = query.count("debug") && query["debug"] == "true";
    // The debug page's record of the exchanges; filled only when this request's probe is the
    // one that runs (a probe already running for the same card and module is shared instead).
    auto log = std::make_shared<ProbeLog>();
    auto ranHere = std::make_shared<std::atomic<bool>>(false);
    auto probe = [config, settings, target, cardDeadline, debug, log, ranHere] {
        *ranHere = true;
        return probeCard(target, *settings, cardDeadline, debug ? log.get() : nullptr);
    };
    auto done = [this, responder, config, settings, target, moduleName, start, debug, log,
                 ranHere](std::optional<CardReading> reading) {
        // A probe that is still running past the deadline may still be writing its record.
        const bool finished = reading.has_value();
        if (!finished)
            reading = cardread::failedReading(
                settings->collectors, "slot",
                "no probe slot came free, or the probe this one shared did not end, in time");
        bool allOk = !reading->results.empty();
        for (const auto& result : reading->results) allOk = allOk && result.ok;
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        metrics_->probeDone(allOk ? "success" : "failure", seconds);
        if (!allOk && web::log::enabled(web::log::Level::Debug))
            web::log::debug("probe failed",
                            {{"target", target.text() + ":" + std::to_string(target.port)},
                             {"module", moduleName},
                             {"collector", reading->failedStep},
                             {"reason", reading->failureReason}});
        if (debug) {
            responder.send(web::textResponse(
                200, probeDebugPage(target, moduleName, *settings, finished ? *log : ProbeLog{},
                                    *reading, !*ranHere, cardMetricsText(*reading))));
            return;
        }
        responder.send(exposition(cardMetricsText(*reading)));
    };
    pool_.submit(where + "/" + moduleName, where, std::move(probe), deadline, std::move(done));
}

void ExporterServer::handleMetrics(web::Request, web::Responder responder) {
    std::string body =
        metrics_->text(pool_.running()) + connectionMetricsText(webStats()) + processMetricsText();
    if (!options_.localCard) {
        responder.send(exposition(std::move(body)));
        return;
    }
    // The host interface is one channel: its exchanges run one at a time, off the IO threads,
    // and are shared by the /metrics requests that come meanwhile.
    pool_.submit(
        "local", "local", [] { return probeLocalCard(kAllCollectors); },
        Clock::now() + kLocalCardWait,
        [responder, body = std::move(body)](std::optional<CardReading> reading) mutable {
            if (!reading) reading = cardread::failedReading(kAllCollectors);
            responder.send(exposition(body + cardMetricsText(*reading)));
        });
}

void ExporterServer::handleIndex(web::Request, web::Responder responder) {
    std::string body =
        "<!DOCTYPE html>\n<html><head><title>VORL exporter</title></head><body>\n"
        "<h1>VORL exporter</h1>\n<ul>\n"
        "<li><a href=\"/probe?target=127.0.0.1\">/probe?target=HOST&amp;module=NAME</a>: a card's "
        "metrics</li>\n<li><a href=\"/metrics\">/metrics</a>: the exporter's own metrics" +
        std::string(options_.localCard ? " and the local card's" : "") +
        "</li>\n<li><a href=\"/-/healthy\">/-/healthy</a>, <a href=\"/-/ready\">/-/ready</a></li>\n"
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
    web::Response response = web::textResponse(200, std::move(body));
    response.headers.set("Content-Type", "text/html; charset=utf-8");
    responder.send(std::move(response));
}

void ExporterServer::handleReload(web::Request, web::Responder responder) {
    // A body, if any, is ignored: `curl -X POST .../-/reload` sends none.
    const bool queued = control_->post([this, responder] {
        std::string error;
        if (!reload(error)) {
            responder.send(web::textResponse(
                500, "reload failed, the previous configuration stays: " + error + "\n"));
            return;
        }
        responder.send(web::textResponse(200, "configuration reloaded\n"));
    });
    if (!queued) {
        web::Response busy = web::textResponse(503, "reloads are waiting already\n");
        busy.headers.add("Retry-After", "1");
        responder.send(std::move(busy));
    }
}

}  // namespace vorl::exporter
