// vorlsim: the simulated VORL card. Serves the card command protocol over TCP (with login) and
// the host-interface device link, until SIGINT or SIGTERM.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "cardsim/device_link.h"
#include "cardsim/sim_card.h"
#include "cardsim/sim_command_line.h"
#include "cardsim/sim_faults.h"
#include "cardsim/sim_server.h"
#include "platform/sockets.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onStopSignal(int) {
    stopRequested = 1;
}

constexpr const char* kUsage =
    "Usage: vorlsim [--listen ADDR] [--port N] [--state-dir DIR] [fault and module options]\n"
    "  --listen ADDR       IPv4 address to listen on (default 127.0.0.1)\n"
    "  --port N            TCP port of the card protocol (default 6577)\n"
    "  --state-dir DIR     keep the card's state in DIR across restarts (default: in memory)\n"
    "  --stray-bytes=N     N junk bytes before every response\n"
    "  --bad-checksum=CODE responses to CODE carry a wrong header checksum\n"
    "  --no-reply=CODE     no response to CODE (the connection stays open)\n"
    "  --half-reply=CODE   half the response to CODE, then the connection closes\n"
    "  --force-status=CODE:S  answer CODE with status S without running it\n"
    "  --help              this text\n"
    "CODE is hex (0x0502) or decimal; several codes may be given separated by commas.\n"
    "See cardsim/README.md for the modules' options. Default account: admin / vorladmin.\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "vorlsim: %s\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vorl::sim;
    // Installed first, so that a stop request during start-up still ends in a clean exit.
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    SimCommandLine line;
    SimOptions options;
    std::string error;
    if (!parseCommandLine(argc, argv, line, options, error)) return usageError(error);
    if (line.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!line.stateDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(line.stateDir, ec);
        if (ec) {
            std::fprintf(stderr, "vorlsim: cannot create state directory %s: %s\n",
                         line.stateDir.c_str(), ec.message().c_str());
            return 1;
        }
    }
    if (vorl::platform::startNetworking() != 0) {
        std::fprintf(stderr, "vorlsim: networking did not start\n");
        return 1;
    }

    SimCard card(line.stateDir, options);
    DeviceLink deviceLink;
    if (!deviceLink.start(card, options, line.listen)) return 1;
    SimFaults faults;
    const bool faultsOk = faults.take(options, error);
    const auto unused = options.unused();
    if (!faultsOk || !unused.empty()) {
        deviceLink.stop();
        return usageError(faultsOk ? "unknown option --" + unused.front() : error);
    }

    int result = 0;
    {
        SimServer server(card, faults);
        if (!server.listen(line.listen, line.port)) {
            std::fprintf(stderr, "vorlsim: cannot listen on %s:%u\n", line.listen.c_str(),
                         static_cast<unsigned>(line.port));
            result = 1;
        } else {
            server.start();
            std::printf("vorlsim: listening on %s:%u\n", line.listen.c_str(),
                        static_cast<unsigned>(server.port()));
            std::fflush(stdout);
            while (!stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            server.stop();
        }
    }
    deviceLink.stop();
    return result;
}
