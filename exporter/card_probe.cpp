#include "exporter/card_probe.h"

#include <memory>

#include "platform/deadline.h"
#include "protocol/card_session.h"
#include "protocol/network_transport.h"

namespace vorl::exporter {

CardReading probeCard(const Target& target, const Module& module,
                      std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return cardread::failedReading(module.collectors);
    // The canonical text of the number that allowed_targets checked: the connection reads it
    // exactly as that number.
    auto transport = std::make_unique<NetworkTransport>(target.text().c_str(), target.port);
    transport->limitTo(platform::Deadline(static_cast<uint32_t>(left.count())));
    CardSession session(std::move(transport));
    if (session.connect() != 0 || session.login(module.user, module.password) != 0)
        return cardread::failedReading(module.collectors);
    return cardread::readCard(session, module.collectors);
}

CardReading probeLocalCard(unsigned collectors) {
    CardSession session(0, "", 0);
    if (session.connect() != 0) return cardread::failedReading(collectors);
    return cardread::readCard(session, collectors);
}

}  // namespace vorl::exporter
