// vorl_redfish: every card of a fleet as a Redfish service. Reads its configuration (cards,
// the service's accounts), opens its state directory, and serves HTTPS until SIGINT or
// SIGTERM. No card is contacted at start: each gets its session when a request first needs it.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/sockets.h"
#include "redfish/http_glue.h"
#include "redfish/redfish_config.h"
#include "redfish/redfish_service.h"
#include "redfish/service_state.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onStop(int) {
    stopRequested = 1;
}

constexpr const char* kUsage =
    "Usage: vorl_redfish [options]\n"
    "  --config.file=FILE         cards, accounts, state directory (default "
    "/etc/vorl/vorl_redfish.yml)\n"
    "  --web.listen-address=ADDR  where to listen (default :443, every address)\n"
    "  --web.config.file=FILE     TLS certificate and key (default: a self-signed one made in "
    "the state directory)\n"
    "  --local-card               add the card in this server (host interface) as \"local\"\n"
    "  --version, --help\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "vorl_redfish: %s\n%s", message.c_str(), kUsage);
    return 2;
}

struct Arguments {
    std::string configFile = "/etc/vorl/vorl_redfish.yml";
    std::string listenAddress = ":443";
    std::string webConfigFile;
    bool localCard = false;
};

// Reads "--key=value" or "--key value"; false for an unknown word or a missing value.
bool parseArguments(int argc, char** argv, Arguments& arguments, std::string& error,
                    bool& exitNow) {
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i], value;
        const size_t equals = word.find('=');
        const bool hasValue = equals != std::string::npos;
        if (hasValue) {
            value = word.substr(equals + 1);
            word = word.substr(0, equals);
        }
        if (word == "--help" || word == "--version") {
            std::fputs(word == "--help" ? kUsage : "vorl_redfish " VORL_VERSION "\n", stdout);
            exitNow = true;
            return true;
        }
        if (word == "--local-card" && !hasValue) {
            arguments.localCard = true;
            continue;
        }
        std::string* target = word == "--config.file"          ? &arguments.configFile
                              : word == "--web.listen-address" ? &arguments.listenAddress
                              : word == "--web.config.file"    ? &arguments.webConfigFile
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

}  // namespace

int main(int argc, char** argv) {
    using namespace vorl::redfish;
    std::signal(SIGINT, onStop);
    std::signal(SIGTERM, onStop);
    std::signal(SIGPIPE, SIG_IGN);
    Arguments arguments;
    std::string error;
    bool exitNow = false;
    if (!parseArguments(argc, argv, arguments, error, exitNow)) return usageError(error);
    if (exitNow) return 0;

    RedfishConfig config;
    if (!loadRedfishConfig(arguments.configFile, config, error)) {
        std::fprintf(stderr, "vorl_redfish: %s\n", error.c_str());
        return 1;
    }
    for (const CardConfig& card : config.cards) {
        if (arguments.localCard && card.id == "local") {
            std::fprintf(stderr, "vorl_redfish: %s: card id local is taken by --local-card\n",
                         arguments.configFile.c_str());
            return 1;
        }
    }
    ServiceState state;
    if (!state.open(config.stateDir, error)) {
        std::fprintf(stderr, "vorl_redfish: %s\n", error.c_str());
        return 1;
    }
    if (vorl::platform::startNetworking() != 0) {
        std::fprintf(stderr, "vorl_redfish: networking did not start\n");
        return 1;
    }
    ServiceOptions options;
    options.localCard = arguments.localCard;
    RedfishService service(config, state, options);
    for (const std::string& name : service.shadowedAccounts())
        std::fprintf(stderr,
                     "vorl_redfish: account %s of %s/service.json is ignored: the configuration "
                     "file has one of that name\n",
                     name.c_str(), config.stateDir.c_str());
    HttpOptions http;
    http.listenAddress = arguments.listenAddress;
    http.webConfigFile = arguments.webConfigFile;
    http.stateDir = config.stateDir;
    const auto server = startHttpServer(service, http, error);
    if (!server) {
        std::fprintf(stderr, "vorl_redfish: %s\n", error.c_str());
        return 1;
    }
    const size_t cards = service.cardCount();
    std::fprintf(stderr, "vorl_redfish: %s, %zu card%s, %zu account%s from %s\n",
                 server->describe().c_str(), cards, cards == 1 ? "" : "s", config.accounts.size(),
                 config.accounts.size() == 1 ? "" : "s", arguments.configFile.c_str());
    auto lastSweep = std::chrono::steady_clock::now();
    while (!stopRequested) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (std::chrono::steady_clock::now() - lastSweep > std::chrono::seconds(5)) {
            service.closeIdleSessions();
            lastSweep = std::chrono::steady_clock::now();
        }
    }
    return 0;
}
