#pragma once
// The exporter's HTTP side on the web layer: /probe, /metrics, /, /-/healthy, /-/ready and
// /-/reload (HTTPS and basic authentication when the web configuration asks). It holds the
// configuration (replaced whole on a successful reload), the probe pool and the exporter's own
// metrics. The IO threads only route: probes run on the pool's workers, reloads and the local
// card's reading on a control thread.
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "exporter/exporter_config.h"
#include "exporter/probe_pool.h"
#include "web/basic_auth.h"
#include "web/limits.h"
#include "web/router.h"
#include "web/server.h"
#include "web/task_queue.h"
#include "web/web_config.h"

namespace vorl::exporter {

class ExporterMetrics;

struct ServerOptions {
    std::string configFile;
    std::string listenAddress = "localhost:9577";
    std::string webConfigFile;
    bool localCard = false;
    size_t probeWorkers = 128;   // card sessions at once, all cards together
    size_t probesPerTarget = 2;  // card sessions at once to one card address
    // One IO thread: the exporter's requests are light, and each hand-over between threads
    // costs a switch (a probe already makes two: to its worker and back).
    unsigned ioThreads = 1;
    web::Limits limits;
};

class ExporterServer {
public:
    // `tls`: the context made from `web` (null for plain HTTP).
    ExporterServer(ServerOptions options, ExporterConfig config, web::WebConfig web,
                   web::TlsContext tls);
    ~ExporterServer();
    ExporterServer(const ExporterServer&) = delete;
    ExporterServer& operator=(const ExporterServer&) = delete;

    // Starts listening; false with the reason in `error` ("cannot listen on ...: address in
    // use").
    bool start(std::string& error);
    // Reads the configuration file again, on the control thread (a file that blocks holds
    // nothing else up). Both outcomes are logged.
    void requestReload();
    // The same, here and now. On failure the old configuration stays and `error` says why.
    bool reload(std::string& error);
    // Stops serving and probing; false when probes still run after `grace`.
    bool stop(std::chrono::milliseconds grace);

    web::ServerStats webStats() const;

private:
    void handleProbe(web::Request request, web::Responder responder);
    void handleMetrics(web::Request request, web::Responder responder);
    void handleIndex(web::Request request, web::Responder responder);
    void handleReload(web::Request request, web::Responder responder);
    std::shared_ptr<const ExporterConfig> config() const;

    ServerOptions options_;
    web::WebConfig web_;
    web::TlsContext tls_;
    mutable std::mutex configMutex_;
    std::shared_ptr<const ExporterConfig> config_;
    std::unique_ptr<ExporterMetrics> metrics_;
    std::shared_ptr<web::BasicAuth> auth_;
    web::Router router_;
    // Destroyed last: what the workers below still hold (a Responder) needs it. stop() empties
    // them first.
    std::unique_ptr<web::Server> server_;
    std::unique_ptr<web::TaskQueue> control_;  // reloads and the local card, one at a time
    ProbePool pool_;
};

// A probe's deadline: the module's `timeout` from `start`, or Prometheus's scrape timeout (the
// X-Prometheus-Scrape-Timeout-Seconds header, nullptr when absent) less a margin when that is
// shorter. A header that is not a positive number of seconds is ignored.
std::chrono::steady_clock::time_point probeDeadline(const char* scrapeTimeoutHeader,
                                                    std::chrono::milliseconds timeout,
                                                    std::chrono::steady_clock::time_point start);

}  // namespace vorl::exporter
