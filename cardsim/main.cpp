// vorlsim: the simulated VORL card. Serves the card command protocol over TCP (with login) and
// the host-interface device link, until SIGINT or SIGTERM.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

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
    "Usage: vorlsim [--listen ADDR] [--port N] [--state-dir DIR] [--cards N] [fault and module "
    "options]\n"
    "  --listen ADDR       IPv4 address to listen on (default 127.0.0.1)\n"
    "  --port N            TCP port of the card protocol (default 6577)\n"
    "  --state-dir DIR     keep the card's state in DIR across restarts (default: in memory)\n"
    "  --cards N           serve N cards on consecutive addresses from --listen (default 1);\n"
    "                      each keeps its state in DIR/ADDRESS\n"
    "  --stray-bytes=N     N junk bytes before every response\n"
    "  --bad-checksum=CODE responses to CODE carry a wrong header checksum\n"
    "  --no-reply=CODE     no response to CODE (the connection stays open)\n"
    "  --half-reply=CODE   half the response to CODE, then the connection closes\n"
    "  --force-status=CODE:S  answer CODE with status S without running it\n"
    "  --fault-on=CODE:N[-M]  the faults for CODE hit only its requests N to M (from 1)\n"
    "  --help              this text\n"
    "CODE is hex (0x0502) or decimal; several codes may be given separated by commas.\n"
    "See cardsim/README.md for the modules' options. Default account: admin / vorladmin.\n";

// One simulated card with its listeners; the server and the link stop before the card goes.
struct ServedCard {
    ServedCard(const std::filesystem::path& stateDir, vorl::sim::SimOptions& options,
               const vorl::sim::SimFaults& faults)
        : card(stateDir, options), server(card, faults) {}
    vorl::sim::SimCard card;
    vorl::sim::DeviceLink deviceLink;
    vorl::sim::SimServer server;
};

bool createStateDir(const std::filesystem::path& dir) {
    if (dir.empty()) return true;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec)
        std::fprintf(stderr, "vorlsim: cannot create state directory %s: %s\n",
                     dir.string().c_str(), ec.message().c_str());
    return !ec;
}

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
    if (line.cards > 1 && options.has("devlink-listen"))
        return usageError("--devlink-listen names one address: each of --cards has its own");
    if (vorl::platform::startNetworking() != 0) {
        std::fprintf(stderr, "vorlsim: networking did not start\n");
        return 1;
    }
    SimFaults faults;
    if (!faults.take(options, error)) return usageError(error);

    std::vector<std::unique_ptr<ServedCard>> cards;
    const auto addresses = cardAddresses(line);
    int result = 0;
    for (const auto& address : addresses) {
        // With several cards each keeps its flash in a folder named after its address.
        std::filesystem::path stateDir = line.stateDir;
        if (!stateDir.empty() && line.cards > 1) stateDir /= address;
        if (!createStateDir(stateDir)) {
            result = 1;
            break;
        }
        cards.push_back(std::make_unique<ServedCard>(stateDir, options, faults));
        if (!cards.back()->deviceLink.start(cards.back()->card, options, address)) {
            result = 1;
            break;
        }
        if (cards.size() == 1 && !options.unused().empty()) {
            cards.clear();
            return usageError("unknown option --" + options.unused().front());
        }
        if (!cards.back()->server.listen(address, line.port)) {
            std::fprintf(stderr, "vorlsim: cannot listen on %s:%u\n", address.c_str(),
                         static_cast<unsigned>(line.port));
            result = 1;
            break;
        }
        cards.back()->server.start();
        std::printf("vorlsim: listening on %s:%u\n", address.c_str(),
                    static_cast<unsigned>(cards.back()->server.port()));
        std::fflush(stdout);
    }
    if (result == 0)
        while (!stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (auto& served : cards) {
        served->server.stop();
        served->deviceLink.stop();
    }
    return result;
}
