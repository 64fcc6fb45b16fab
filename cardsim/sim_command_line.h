#pragma once
// vorlsim's command line: the core options ("--key value" or "--key=value") and everything
// else as "--key[=value]" for the modules.
#include <cstdint>
#include <string>
#include <vector>

#include "cardsim/sim_options.h"

namespace vorl::sim {

struct SimCommandLine {
    static constexpr unsigned kMaxCards = 1024;
    std::string listen = "127.0.0.1";
    uint16_t port = 6577;
    std::string stateDir;  // empty: state in memory only
    unsigned cards = 1;    // simulated cards, on consecutive addresses from `listen`
    bool help = false;
};

// Fills `line` with the core options and `options` with the rest. Returns false with a message
// in `error` for a missing or bad value or a word that is not an option.
bool parseCommandLine(int argc, const char* const* argv, SimCommandLine& line, SimOptions& options,
                      std::string& error);

// The listen address of each card: `cards` consecutive IPv4 addresses from `listen`.
std::vector<std::string> cardAddresses(const SimCommandLine& line);

}  // namespace vorl::sim
