// vorl_redfish: every card of a fleet as a Redfish service. Reads its configuration (cards,
// the service's accounts), opens its state directory, and serves HTTPS until SIGINT or
// SIGTERM. Each card gets its session when a request or the event service's watch first
// needs it.
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/sockets.h"
#include "redfish/http_glue.h"
#include "redfish/redfish_config.h"
#include "redfish/redfish_service.h"
#include "redfish/service_state.h"
#include "web/daemon_options.h"
#include "web/log.h"

namespace {

namespace log = vorl::web::log;

// Until the service runs, SIGTERM and SIGINT end the process on the spot, so that a start held
// up by a file (a FIFO named as a password file, say) ends as well.
extern "C" void onSignalDuringStart(int) {
    _exit(0);
}

constexpr const char* kUsage =
    "Usage: vorl_redfish [options]\n"
    "  --config.file=FILE         cards, accounts, state directory (default "
    "/etc/vorl/vorl_redfish.yml)\n"
    "  --web.listen-address=ADDR  where to listen (default :443, every address)\n"
    "  --web.config.file=FILE     TLS certificate and key (default: a self-signed one made in "
    "the state directory)\n"
    "  --local-card               add the card in this server (host interface) as \"local\"\n";

void printUsage(FILE* out) {
    std::fputs(kUsage, out);
    std::fputs(vorl::web::kLimitOptionsUsage, out);
    std::fputs(log::kOptionsUsage, out);
    std::fputs("  --version, --help\n", out);
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "vorl_redfish: %s\n", message.c_str());
    printUsage(stderr);
    return 2;
}

struct Arguments {
    std::string configFile = "/etc/vorl/vorl_redfish.yml";
    std::string listenAddress = ":443";
    std::string webConfigFile;
    bool localCard = false;
    vorl::web::Limits limits;
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
            if (word == "--help")
                printUsage(stdout);
            else
                std::fputs("vorl_redfish " VORL_VERSION "\n", stdout);
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
        if (!vorl::web::applyDaemonOption(word, value, arguments.limits, error)) return false;
    }
    return true;
}

int fail(const std::string& message) {
    log::error(message);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vorl::redfish;
    struct sigaction action {};
    action.sa_handler = onSignalDuringStart;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT}) sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    Arguments arguments;
    std::string error;
    bool exitNow = false;
    if (!parseArguments(argc, argv, arguments, error, exitNow)) return usageError(error);
    if (exitNow) return 0;

    RedfishConfig config;
    if (!loadRedfishConfig(arguments.configFile, config, error)) return fail(error);
    for (const std::string& warning : config.warnings)
        log::warn(warning, {{"config", arguments.configFile}});
    for (const CardConfig& card : config.cards)
        if (arguments.localCard && card.id == "local")
            return fail(arguments.configFile + ": card id local is taken by --local-card");
    ServiceState state;
    if (!state.open(config.stateDir, error)) return fail(error);
    if (vorl::platform::startNetworking() != 0) return fail("networking did not start");

    // From here on this thread takes the signals with sigwait; the threads started below
    // inherit the mask and never see them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGTERM, SIGINT}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    ServiceOptions options;
    options.localCard = arguments.localCard;
    options.watchCards = true;
    RedfishService service(config, state, options);
    for (const std::string& name : service.shadowedAccounts())
        log::warn(
            "an account of the state directory is ignored: the configuration file has one "
            "of that name",
            {{"account", name}, {"state", config.stateDir + "/service.json"}});
    for (const std::string& warning : service.eventWarnings()) log::warn(warning);
    HttpOptions http;
    http.listenAddress = arguments.listenAddress;
    http.webConfigFile = arguments.webConfigFile;
    http.stateDir = config.stateDir;
    http.limits = arguments.limits;
    const auto server = startHttpServer(service, http, error);
    if (!server) return fail(error);
    log::info("listening", {{"address", arguments.listenAddress},
                            {"scheme", "https"},
                            {"cards", static_cast<unsigned long>(service.cardCount())},
                            {"accounts", static_cast<unsigned long>(config.accounts.size())},
                            {"config", arguments.configFile}});
    // Every few seconds the card sessions nobody used for a while are closed.
    const timespec sweep{5, 0};
    int signal = 0;
    for (;;) {
        signal = sigtimedwait(&signals, nullptr, &sweep);
        if (signal == SIGTERM || signal == SIGINT) break;
        service.closeIdleSessions();
        service.keepEventStreamsAlive();
    }
    log::info("stopping", {{"signal", signal == SIGINT ? "SIGINT" : "SIGTERM"}});
    service.closeEventStreams();
    if (!server->stop(std::chrono::seconds(2))) {
        // A request still waits for a card: it ends by its own deadline, but a stop must not
        // wait for it.
        log::warn("ending with requests still running");
        std::fflush(stderr);
        std::_Exit(0);
    }
    return 0;
}
