#pragma once
// The exporter's HTTP side: /probe, /metrics, /, /-/healthy, /-/reload, on CivetWeb. It holds
// the configuration (replaced whole on a successful reload), the probe pool and the
// exporter's own metrics.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "exporter/exporter_config.h"
#include "exporter/probe_pool.h"
#include "exporter/web_config.h"

struct mg_context;
struct mg_connection;

namespace vorl::exporter {

class ExporterMetrics;

struct ServerOptions {
    std::string configFile;
    std::string listenAddress = "localhost:9577";
    std::string webConfigFile;
    bool localCard = false;
    size_t workers = 32;
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

    // The request handlers (called by CivetWeb's threads).
    int handleProbe(mg_connection* conn);
    int handleMetrics(mg_connection* conn);
    int handleIndex(mg_connection* conn);
    int handleHealthy(mg_connection* conn);
    int handleReload(mg_connection* conn);
    // Basic authentication when the web configuration asks for it; false once it answered 401.
    bool authorized(mg_connection* conn);
    const WebConfig& webConfig() const { return web_; }

private:
    std::shared_ptr<const ExporterConfig> config() const;

    ServerOptions options_;
    WebConfig web_;
    mutable std::mutex configMutex_;
    std::shared_ptr<const ExporterConfig> config_;
    std::unique_ptr<ExporterMetrics> metrics_;
    ProbePool pool_;
    std::mutex localCardMutex_;
    mg_context* context_ = nullptr;
};

}  // namespace vorl::exporter
