#include "cardsim/sim_command_line.h"

#include <cstring>

#include "platform/sockets.h"

namespace vorl::sim {
namespace {

bool parsePort(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

bool setCore(const std::string& key, const std::string& value, SimCommandLine& line,
             std::string& error) {
    if (key == "listen") {
        uint32_t address;
        if (!platform::parseIpv4(value.c_str(), address)) {
            error = "bad address for --listen: '" + value + "'";
            return false;
        }
        line.listen = value;
    } else if (key == "port") {
        if (!parsePort(value, line.port)) {
            error = "bad port for --port: '" + value + "'";
            return false;
        }
    } else if (key == "cards") {
        uint16_t cards = 0;
        if (!parsePort(value, cards) || cards < 1 || cards > SimCommandLine::kMaxCards) {
            error = "bad count for --cards: '" + value + "' (1 to " +
                    std::to_string(SimCommandLine::kMaxCards) + ")";
            return false;
        }
        line.cards = cards;
    } else {
        if (value.empty()) {
            error = "--state-dir needs a directory";
            return false;
        }
        line.stateDir = value;
    }
    return true;
}

// A checked dotted address as a number, first octet highest.
uint32_t hostOrderAddress(const std::string& text) {
    uint32_t networkOrder = 0;
    platform::parseIpv4(text.c_str(), networkOrder);
    uint8_t octets[4];
    std::memcpy(octets, &networkOrder, sizeof octets);
    return uint32_t{octets[0]} << 24 | uint32_t{octets[1]} << 16 | uint32_t{octets[2]} << 8 |
           octets[3];
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv, SimCommandLine& line, SimOptions& options,
                      std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.size() < 3 || word.compare(0, 2, "--") != 0) {
            error = "unexpected argument '" + word + "'";
            return false;
        }
        const size_t equals = word.find('=');
        const std::string key = word.substr(2, equals == std::string::npos ? equals : equals - 2);
        const bool inlineValue = equals != std::string::npos;
        if (key == "help") {
            line.help = true;
        } else if (key == "listen" || key == "port" || key == "state-dir" || key == "cards") {
            std::string value;
            if (inlineValue) {
                value = word.substr(equals + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                error = "option --" + key + " needs a value";
                return false;
            }
            if (!setCore(key, value, line, error)) return false;
        } else {
            options.add(key, inlineValue ? word.substr(equals + 1) : std::string());
        }
    }
    if (0xFFFFFFFFull - hostOrderAddress(line.listen) < line.cards - 1) {
        error = "--cards " + std::to_string(line.cards) + " from " + line.listen +
                " runs past the last IPv4 address";
        return false;
    }
    return true;
}

std::vector<std::string> cardAddresses(const SimCommandLine& line) {
    const uint32_t first = hostOrderAddress(line.listen);
    std::vector<std::string> addresses;
    for (unsigned i = 0; i < line.cards; ++i) {
        const uint32_t a = first + i;
        addresses.push_back(std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
                            std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF));
    }
    return addresses;
}

}  // namespace vorl::sim
