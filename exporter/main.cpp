// vorl_exporter: a Prometheus exporter for VORL cards. /probe?target=HOST&module=NAME reads a
// card over the network; /metrics gives the exporter's own metrics (and, with --local-card,
// the card in this server over the host interface). SIGHUP reloads the configuration.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "exporter/exporter_server.h"
#include "platform/sockets.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t reloadRequested = 0;

extern "C" void onStop(int) {
    stopRequested = 1;
}
extern "C" void onHangup(int) {
    reloadRequested = 1;
}

constexpr const char* kUsage =
    "Usage: vorl_exporter [options]\n"
    "  --config.file=FILE         modules and allowed targets (default "
    "/etc/vorl/vorl_exporter.yml)\n"
    "  --web.listen-address=ADDR  where to listen (default localhost:9577; :9577 for every "
    "address)\n"
    "  --web.config.file=FILE     TLS and basic authentication (Prometheus exporters' format)\n"
    "  --local-card               add the card in this server (host interface) to /metrics\n"
    "  --config.check             check the configuration (and web configuration) and exit\n"
    "  --version, --help\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "vorl_exporter: %s\n%s", message.c_str(), kUsage);
    return 2;
}

// Reads "--key=value" or "--key value"; false for an unknown word or a missing value.
bool parseArguments(int argc, char** argv, vorl::exporter::ServerOptions& options,
                    std::string& error, bool& exitNow, bool& checkOnly) {
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i], value;
        const size_t equals = word.find('=');
        const bool hasValue = equals != std::string::npos;
        if (hasValue) {
            value = word.substr(equals + 1);
            word = word.substr(0, equals);
        }
        if (word == "--help" || word == "--version") {
            std::fputs(word == "--help" ? kUsage : "vorl_exporter " VORL_VERSION "\n", stdout);
            exitNow = true;
            return true;
        }
        if (word == "--local-card" && !hasValue) {
            options.localCard = true;
            continue;
        }
        if (word == "--config.check" && !hasValue) {
            checkOnly = true;
            continue;
        }
        std::string* target = word == "--config.file"          ? &options.configFile
                              : word == "--web.listen-address" ? &options.listenAddress
                              : word == "--web.config.file"    ? &options.webConfigFile
                                                               : nullptr;
        if (target == nullptr) {
            error = "unknown option " + word;
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                error = word + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (value.empty()) {
            error = word + " needs a value";
            return false;
        }
        *target = value;
    }
    return true;
}

void printWarnings(const std::vector<std::string>& warnings, const char* prefix) {
    for (const auto& warning : warnings) std::fprintf(stderr, "%s%s\n", prefix, warning.c_str());
}

// As `promtool check config`: each file checked in turn, SUCCESS or FAILED with the reason;
// exit status 0 when every file checks out, else 1.
int checkFiles(const vorl::exporter::ServerOptions& options) {
    using namespace vorl::exporter;
    std::string error;
    std::printf("Checking %s\n", options.configFile.c_str());
    ExporterConfig config;
    if (!loadConfigFile(options.configFile, config, error)) {
        std::fprintf(stderr, "  FAILED: %s\n", error.c_str());
        return 1;
    }
    printWarnings(config.warnings, "  WARNING: ");
    std::printf(" SUCCESS: %s is a valid vorl_exporter configuration\n",
                options.configFile.c_str());
    if (options.webConfigFile.empty()) return 0;
    std::printf("Checking %s\n", options.webConfigFile.c_str());
    WebConfig web;
    if (!loadWebConfig(options.webConfigFile, web, error)) {
        std::fprintf(stderr, "  FAILED: %s\n", error.c_str());
        return 1;
    }
    std::printf(" SUCCESS: %s is a valid web configuration\n", options.webConfigFile.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vorl::exporter;
    std::signal(SIGINT, onStop);
    std::signal(SIGTERM, onStop);
    std::signal(SIGHUP, onHangup);
    std::signal(SIGPIPE, SIG_IGN);
    ServerOptions options;
    options.configFile = "/etc/vorl/vorl_exporter.yml";
    std::string error;
    bool exitNow = false, checkOnly = false;
    if (!parseArguments(argc, argv, options, error, exitNow, checkOnly)) return usageError(error);
    if (exitNow) return 0;
    if (checkOnly) return checkFiles(options);

    ExporterConfig config;
    if (!loadConfigFile(options.configFile, config, error)) {
        std::fprintf(stderr, "vorl_exporter: %s\n", error.c_str());
        return 1;
    }
    printWarnings(config.warnings, "vorl_exporter: warning: ");
    WebConfig web;
    if (!options.webConfigFile.empty() && !loadWebConfig(options.webConfigFile, web, error)) {
        std::fprintf(stderr, "vorl_exporter: %s\n", error.c_str());
        return 1;
    }
    if (vorl::platform::startNetworking() != 0) {
        std::fprintf(stderr, "vorl_exporter: networking did not start\n");
        return 1;
    }
    const size_t modules = config.modules.size();
    const char* scheme = web.tls() ? (web.users.empty() ? "https" : "https, basic auth")
                                   : (web.users.empty() ? "http" : "http, basic auth");
    ExporterServer server(options, std::move(config), std::move(web));
    if (!server.start(error)) {
        std::fprintf(stderr, "vorl_exporter: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "vorl_exporter: listening on %s (%s), %zu module%s from %s\n",
                 options.listenAddress.c_str(), scheme, modules, modules == 1 ? "" : "s",
                 options.configFile.c_str());
    while (!stopRequested) {
        if (reloadRequested) {
            reloadRequested = 0;
            server.reload(error);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
}
