// The network transport's byte stream: whatever a card (or anything at port 6577) sends is read
// through NetworkTransport and CardSession::transact, stale answers and all.
//
// Input: the card's stream, then the transactions, read from the end: a count (1 to 8), then
// each one's command code (2 bytes, little-endian in the input). make_seeds.py writes exchanges
// captured from vorlsim (a login, a listing, a flash block) in this form.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "platform/deadline.h"
#include "platform/sockets.h"
#include "protocol/card_session.h"
#include "protocol/network_transport.h"
#include "tests/fuzz/far_end.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl;
    FuzzedDataProvider input(data, size);
    std::vector<uint16_t> commands(input.ConsumeIntegralInRange<uint8_t>(1, 8));
    for (uint16_t& command : commands) command = input.ConsumeIntegral<uint16_t>();

    fuzz::FarEnd card;
    platform::TcpSocket host;
    if (!card.connect(host)) return 0;
    // The card's bytes are all there before the host reads, and then the card's end of the
    // stream: the requests are sent, nothing ever waits for the limit, and the stream is parsed
    // in every possible cut.
    card.sendThenStop(input.ConsumeRemainingBytes<uint8_t>());
    platform::WaitLimitOverride shortLimit(100);
    auto transport = std::make_unique<NetworkTransport>("127.0.0.1", CardSession::kCardPort);
    transport->attach(std::move(host));
    CardSession session(std::move(transport));
    std::vector<uint8_t> buffer(CardSession::MaxPayload);
    for (const uint16_t command : commands) {
        uint32_t responseLength = 0;
        session.transact(command, buffer.data(), 0, responseLength, 0,
                         static_cast<uint32_t>(buffer.size()));
    }
    return 0;
}
