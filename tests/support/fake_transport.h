#pragma once
// Test transports for CardSession:
// - FakeTransport records every request and answers from a script (or a callback).
// - SimCardTransport hands each request to an in-process simulated card (SimCard), so library
//   code can be tested against the real card behaviour without sockets.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "wire/card_transport.h"

namespace vorl::sim {
class SimCard;
}

namespace vorl::test {

struct RecordedRequest {
    uint16_t command = 0;
    std::vector<uint8_t> payload;
};

struct ScriptedResponse {
    uint16_t status = 0;
    std::vector<uint8_t> payload;
    int transportResult = 0;  // non-zero: the transport fails (no response)
    bool corruptChecksum = false;
};

class FakeTransport : public CardTransport {
public:
    // Answers queued responses in order; when the queue is empty, `fallback` answers (default:
    // status 0, empty payload).
    void queue(ScriptedResponse response) { script_.push_back(std::move(response)); }
    void queue(uint16_t status, std::vector<uint8_t> payload = {}) {
        queue(ScriptedResponse{status, std::move(payload)});
    }
    std::function<ScriptedResponse(const RecordedRequest&)> fallback;

    int transact(const uint8_t* request, uint32_t& responseLength, uint8_t* response,
                 uint32_t waitPolls) override;
    int connect() override { return connectResult; }
    int disconnect() override {
        ++disconnects;
        return 0;
    }

    std::vector<RecordedRequest> requests;
    std::vector<uint32_t> waitPollsSeen;
    int connectResult = 0;
    int disconnects = 0;

private:
    std::deque<ScriptedResponse> script_;
};

class SimCardTransport : public CardTransport {
public:
    explicit SimCardTransport(sim::SimCard& card, bool hostInterface = false)
        : card_(card), hostInterface_(hostInterface) {}
    int transact(const uint8_t* request, uint32_t& responseLength, uint8_t* response,
                 uint32_t waitPolls) override;
    int connect() override { return 0; }
    int disconnect() override { return 0; }

    std::vector<RecordedRequest> requests;

private:
    sim::SimCard& card_;
    bool hostInterface_;
    std::vector<uint8_t> replyBuffer_;
};

}  // namespace vorl::test
