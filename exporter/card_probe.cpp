#include "exporter/card_probe.h"

#include <cstdio>
#include <memory>

#include "platform/deadline.h"
#include "protocol/card_session.h"
#include "protocol/network_transport.h"
#include "wire/status_codes.h"

namespace vorl::exporter {
namespace {

// "status 1 (Authentication failed)": the card's word, without the table's trailing blanks.
std::string statusReason(int status) {
    std::string message = statusMessage(status);
    while (!message.empty() && message.back() == ' ') message.pop_back();
    return "status " + std::to_string(status) + " (" + message + ")";
}

std::string commandText(uint16_t command) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", command);
    return text;
}

// What failed: an exchange without an answer (which the session reports as status 33) is told
// by the transport's reason, a refusal by the card's status.
std::string failureReason(const RecordingTransport& transport, int status) {
    if (status == kStatusConnectError && transport.exchangeFailed())
        return "command " + commandText(transport.failedCommand()) + ": " +
               transport.exchangeFailure();
    return statusReason(status);
}

}  // namespace

CardReading probeCard(const Target& target, const Module& module,
                      std::chrono::steady_clock::time_point deadline, ProbeLog* log) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return cardread::failedReading(module.collectors, "connect",
                                       "no time left before the probe's deadline");
    // The canonical text of the number that allowed_targets checked: the connection reads it
    // exactly as that number.
    auto network = std::make_unique<NetworkTransport>(target.text().c_str(), target.port);
    network->limitTo(platform::Deadline(static_cast<uint32_t>(left.count())));
    auto recording = std::make_unique<RecordingTransport>(std::move(network), log);
    const RecordingTransport& transport = *recording;
    CardSession session(std::move(recording));
    if (session.connect() != 0)
        return cardread::failedReading(module.collectors, "connect", transport.connectFailure());
    if (const int status = session.login(module.user, module.password); status != 0)
        return cardread::failedReading(module.collectors, "login",
                                       status == kStatusConnectError && transport.exchangeFailed()
                                           ? failureReason(transport, status)
                                           : "refused: " + statusReason(status));
    CardReading reading = cardread::readCard(session, module.collectors);
    for (const auto& result : reading.results) {
        if (result.ok) continue;
        reading.failureReason = failureReason(transport, result.status);
        break;
    }
    return reading;
}

CardReading probeLocalCard(unsigned collectors) {
    CardSession session(0, "", 0);
    if (session.connect() != 0)
        return cardread::failedReading(collectors, "connect",
                                       "the card's host interface could not be opened");
    return cardread::readCard(session, collectors);
}

}  // namespace vorl::exporter
