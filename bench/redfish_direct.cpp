// The card exchange behind one vorl_redfish GET of a card's EthernetInterface (the network
// configuration, 0x0700), made directly through the library COUNT times: over one session
// kept logged in (as the service keeps its own), and as a tool without the service makes it
// (connect, log in, ask, close). bench/redfish_bench.py sets the GET's latency beside both.
// Usage: redfish_direct ADDRESS COUNT. Prints "kept_median_us X fresh_median_us Y failures N".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "protocol/card_session.h"
#include "protocol/network_records.h"

namespace {

using Clock = std::chrono::steady_clock;

double medianMicroseconds(std::vector<double>& samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2] * 1e6;
}

bool login(vorl::CardSession& session) {
    return session.connect() == 0 && session.login("admin", "vorladmin") == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: redfish_direct ADDRESS COUNT\n");
        return 2;
    }
    const int count = std::atoi(argv[2]);
    int failures = 0;
    std::vector<double> kept, fresh;
    vorl::CardSession session(1, argv[1], vorl::CardSession::kCardPort);
    if (!login(session)) {
        std::fprintf(stderr, "redfish_direct: no session with %s\n", argv[1]);
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        vorl::NetworkConfig config;
        if (session.getNetworkConfig(config) != 0) ++failures;
        kept.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    for (int i = 0; i < count / 10 + 1; ++i) {
        const auto start = Clock::now();
        {
            vorl::CardSession once(1, argv[1], vorl::CardSession::kCardPort);
            vorl::NetworkConfig config;
            if (!login(once) || once.getNetworkConfig(config) != 0) ++failures;
        }
        fresh.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::printf("kept_median_us %.1f fresh_median_us %.1f failures %d\n", medianMicroseconds(kept),
                medianMicroseconds(fresh), failures);
    return 0;
}
