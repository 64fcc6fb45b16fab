#pragma once
// vorlsim's command line: the core options ("--key value" or "--key=value") and everything
// else as "--key[=value]" for the modules.
#include <cstdint>
#include <string>

#include "cardsim/sim_options.h"

namespace vorl::sim {

struct SimCommandLine {
    std::string listen = "127.0.0.1";
    uint16_t port = 6577;
    std::string stateDir;  // empty: state in memory only
    bool help = false;
};

// Fills `line` with the core options and `options` with the rest. Returns false with a message
// in `error` for a missing or bad value or a word that is not an option.
bool parseCommandLine(int argc, const char* const* argv, SimCommandLine& line, SimOptions& options,
                      std::string& error);

}  // namespace vorl::sim
