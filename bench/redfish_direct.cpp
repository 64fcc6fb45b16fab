// The card exchange behind one vorl_redfish GET of a card's EthernetInterface (the network
// configuration, 0x0700), made directly through the library COUNT times over one logged-in
// session: bench/redfish_bench.py sets the GET's latency beside this one.
// Usage: redfish_direct ADDRESS COUNT. Prints "mean_us X failures N".
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "protocol/card_session.h"
#include "protocol/network_records.h"

int main(int argc, char** argv) {
    if (argc != 3 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: redfish_direct ADDRESS COUNT\n");
        return 2;
    }
    const int count = std::atoi(argv[2]);
    vorl::CardSession session(1, argv[1], vorl::CardSession::kCardPort);
    if (session.connect() != 0 || session.login("admin", "vorladmin") != 0) {
        std::fprintf(stderr, "redfish_direct: no session with %s\n", argv[1]);
        return 1;
    }
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        vorl::NetworkConfig config;
        if (session.getNetworkConfig(config) != 0) ++failures;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("mean_us %.1f failures %d\n", seconds * 1e6 / count, failures);
    return 0;
}
