// vorl_exporter: a Prometheus exporter for VORL cards. /probe?target=HOST&module=NAME reads a
// card over the network; /metrics gives the exporter's own metrics (and, with --local-card,
// the card in this server over the host interface). SIGHUP reloads the configuration.
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "exporter/exporter_server.h"
#include "platform/sockets.h"
#include "web/daemon_options.h"
#include "web/log.h"
#include "web/tls_context.h"

namespace {

namespace log = vorl::web::log;

volatile std::sig_atomic_t reloadAskedDuringStart = 0;

// Until the server runs, SIGTERM and SIGINT end the process on the spot: a start held up by a
// file (a FIFO named as a certificate, say) ends as well. SIGHUP is kept for later.
extern "C" void onSignalDuringStart(int signal) {
    if (signal == SIGHUP) {
        reloadAskedDuringStart = 1;
        return;
    }
    _exit(0);
}

constexpr const char* kUsage =
    "Usage: vorl_exporter [options]\n"
    "  --config.file=FILE         modules and allowed targets (default "
    "/etc/vorl/vorl_exporter.yml)\n"
    "  --web.listen-address=ADDR  where to listen (default localhost:9577; :9577 for every "
    "address)\n"
    "  --web.config.file=FILE     TLS and basic authentication (Prometheus exporters' format)\n"
    "  --local-card               add the card in this server (host interface) to /metrics\n"
    "  --config.check             check the configuration (and web configuration) and exit\n";

void printUsage(FILE* out) {
    std::fputs(kUsage, out);
    std::fputs(vorl::web::kLimitOptionsUsage, out);
    std::fputs(log::kOptionsUsage, out);
    std::fputs("  --version, --help\n", out);
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "vorl_exporter: %s\n", message.c_str());
    printUsage(stderr);
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
            if (word == "--help")
                printUsage(stdout);
            else
                std::fputs("vorl_exporter " VORL_VERSION "\n", stdout);
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
        const bool known =
            target != nullptr || word.rfind("--web.", 0) == 0 || word.rfind("--log.", 0) == 0;
        if (!known) {
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
        if (target != nullptr) {
            *target = value;
            continue;
        }
        if (!vorl::web::applyDaemonOption(word, value, options.limits, error)) return false;
    }
    return true;
}

void installStartHandlers() {
    struct sigaction action {};
    action.sa_handler = onSignalDuringStart;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void logWarnings(const std::vector<std::string>& warnings) {
    for (const auto& warning : warnings) log::warn(warning);
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
    for (const auto& warning : config.warnings)
        std::fprintf(stderr, "  WARNING: %s\n", warning.c_str());
    std::printf(" SUCCESS: %s is a valid vorl_exporter configuration\n",
                options.configFile.c_str());
    if (options.webConfigFile.empty()) return 0;
    std::printf("Checking %s\n", options.webConfigFile.c_str());
    vorl::web::WebConfig web;
    if (!vorl::web::loadWebConfig(options.webConfigFile, web, error)) {
        std::fprintf(stderr, "  FAILED: %s\n", error.c_str());
        return 1;
    }
    std::printf(" SUCCESS: %s is a valid web configuration\n", options.webConfigFile.c_str());
    return 0;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "vorl_exporter: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vorl::exporter;
    installStartHandlers();
    ServerOptions options;
    options.configFile = "/etc/vorl/vorl_exporter.yml";
    std::string error;
    bool exitNow = false, checkOnly = false;
    if (!parseArguments(argc, argv, options, error, exitNow, checkOnly)) return usageError(error);
    if (exitNow) return 0;
    if (checkOnly) return checkFiles(options);

    ExporterConfig config;
    if (!loadConfigFile(options.configFile, config, error)) return fail(error);
    logWarnings(config.warnings);
    vorl::web::WebConfig web;
    if (!options.webConfigFile.empty() &&
        !vorl::web::loadWebConfig(options.webConfigFile, web, error))
        return fail(error);
    vorl::web::TlsContext tls;
    if (web.tls() && !(tls = vorl::web::makeTlsContext(web, error))) return fail(error);
    if (vorl::platform::startNetworking() != 0) return fail("networking did not start");

    // From here on this thread takes the signals with sigwait; the threads started below
    // inherit the mask and never see them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const size_t modules = config.modules.size();
    const char* scheme = web.tls() ? (web.users.empty() ? "https" : "https, basic auth")
                                   : (web.users.empty() ? "http" : "http, basic auth");
    ExporterServer server(options, std::move(config), std::move(web), std::move(tls));
    if (!server.start(error)) {
        log::error("cannot start", {{"reason", error}});
        return 1;
    }
    log::info("listening", {{"address", options.listenAddress},
                            {"scheme", scheme},
                            {"modules", static_cast<unsigned long>(modules)},
                            {"config", options.configFile}});
    if (reloadAskedDuringStart) server.requestReload();
    int signal = 0;
    for (;;) {
        if (sigwait(&signals, &signal) != 0) continue;
        if (signal != SIGHUP) break;
        server.requestReload();
    }
    log::info("stopping", {{"signal", signal == SIGINT ? "SIGINT" : "SIGTERM"}});
    if (!server.stop(std::chrono::seconds(2))) {
        // A probe or a reload still holds a card or a file: each ends by its own deadline, but
        // a stop must not wait for them.
        log::warn("ending with work still running");
        std::fflush(stderr);
        std::_Exit(0);
    }
    return 0;
}
