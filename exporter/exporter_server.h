#pragma once
// The exporter's HTTP side: /probe, /metrics, /, /-/healthy, /-/reload, on cpp-httplib (HTTPS
// when the web configuration names a certificate). It holds the configuration (replaced whole
// on a successful reload), the probe pool and the exporter's own metrics. Requests are served
// by a fixed set of threads; a probe runs on the thread of its request.
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "exporter/exporter_config.h"
#include "exporter/probe_pool.h"
#include "exporter/web_config.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace vorl::exporter {

class ExporterMetrics;

struct ServerOptions {
    std::string configFile;
    std::string listenAddress = "localhost:9577";
    std::string webConfigFile;
    bool localCard = false;
    size_t probeLimit = 32;   // card sessions at once
    size_t httpThreads = 64;  // connections served at once (kept-alive ones included)
};

class ExporterServer {
public:
    ExporterServer(ServerOptions options, ExporterConfig config, WebConfig web);
    ~ExporterServer();
    ExporterServer(const ExporterServer&) = delete;
    ExporterServer& operator=(const ExporterServer&) = delete;

    // Starts listening; false with the reason in `error`.
    bool start(std::string& error);
    // Reads the configuration file again. On failure the old configuration stays and `error`
    // says why. Both outcomes are logged.
    bool reload(std::string& error);

private:
    using Request = httplib::Request;
    using Response = httplib::Response;

    void handleProbe(const Request& request, Response& response);
    void handleMetrics(const Request& request, Response& response);
    void handleIndex(const Request& request, Response& response);
    void handleReload(const Request& request, Response& response);
    // Basic authentication when the web configuration asks for it; false once it answered 401.
    bool authorized(const Request& request, Response& response);
    void route();
    std::shared_ptr<const ExporterConfig> config() const;

    ServerOptions options_;
    WebConfig web_;
    mutable std::mutex configMutex_;
    std::shared_ptr<const ExporterConfig> config_;
    std::unique_ptr<ExporterMetrics> metrics_;
    ProbePool pool_;
    std::mutex localCardMutex_;
    std::unique_ptr<httplib::Server> http_;
    std::thread listener_;
};

// A probe's deadline: the module's `timeout` from `start`, or Prometheus's scrape timeout (the
// X-Prometheus-Scrape-Timeout-Seconds header, nullptr when absent) less a margin when that is
// shorter. A header that is not a positive number of seconds is ignored.
std::chrono::steady_clock::time_point probeDeadline(const char* scrapeTimeoutHeader,
                                                    std::chrono::milliseconds timeout,
                                                    std::chrono::steady_clock::time_point start);

// "localhost:9577", ":9577", "0.0.0.0:9577" or "[::1]:9577" as a host to bind and a port;
// false for anything else. "localhost" and an empty host mean 127.0.0.1 and 0.0.0.0.
bool parseListenAddress(const std::string& text, std::string& host, int& port);

}  // namespace vorl::exporter
