#pragma once
// The card transport of a probe, wrapped so that the probe can say what went wrong: the first
// failed exchange (its command and the network transport's reason), and, for the probe debug
// page, every exchange with its sizes, status and time. Only command codes, sizes and statuses
// are kept, never a payload, so a login's user name and digest cannot leak through it.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "protocol/network_transport.h"
#include "wire/card_transport.h"

namespace vorl::exporter {

struct CardExchange {
    uint16_t command = 0;
    uint32_t requestBytes = 0;   // header and payload sent
    int result = 0;              // the transport's: 0 when an answer came
    uint16_t status = 0;         // the card's status in the answer (when result is 0)
    uint32_t responseBytes = 0;  // header and payload received
    double startSeconds = 0;     // from the start of the probe
    double seconds = 0;
    std::string failure;    // the transport's reason when result is not 0
    bool followUp = false;  // read after a stale answer to an earlier request
};

// What a probe exchanged with its card, for the probe debug page.
struct ProbeLog {
    // Enough for every collector several times over; later exchanges are only counted.
    static constexpr size_t kMaxExchanges = 256;

    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    bool connectTried = false;
    bool connected = false;
    double connectSeconds = 0;
    std::string connectFailure;
    std::vector<CardExchange> exchanges;
    size_t dropped = 0;
};

class RecordingTransport : public CardTransport {
public:
    // `log` may be null: then only the first failure is kept (no allocation per exchange).
    RecordingTransport(std::unique_ptr<NetworkTransport> network, ProbeLog* log);

    int transact(const uint8_t* request, uint32_t& responseLength, uint8_t* response,
                 uint32_t waitPolls) override;
    int connect() override;
    int disconnect() override;
    int receiveNextResponse(uint32_t& responseLength, uint8_t* response,
                            uint32_t waitPolls) override;

    // Why the connect failed ("connection refused", ...); empty after a good connect.
    const char* connectFailure() const { return connectFailure_; }
    // The first exchange that got no answer: its command and the transport's reason.
    bool exchangeFailed() const { return exchangeFailed_; }
    uint16_t failedCommand() const { return failedCommand_; }
    const char* exchangeFailure() const { return exchangeFailure_; }

private:
    void record(const CardExchange& exchange);
    void noteFailure();

    std::unique_ptr<NetworkTransport> network_;
    ProbeLog* log_;
    uint16_t lastCommand_ = 0;
    uint16_t failedCommand_ = 0;
    bool exchangeFailed_ = false;
    const char* connectFailure_ = "";
    const char* exchangeFailure_ = "";
};

}  // namespace vorl::exporter
