// The network transport's byte stream: whatever a card (or anything at port 6577) sends is read
// through NetworkTransport and CardSession::transact, stale answers and all.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "platform/deadline.h"
#include "platform/sockets.h"
#include "protocol/card_session.h"
#include "protocol/network_transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl;
    FuzzedDataProvider input(data, size);
    const uint16_t command = input.ConsumeIntegral<uint16_t>();
    // At most a packet and then some: all of it fits the socket pair's buffer at once.
    const std::vector<uint8_t> stream = input.ConsumeBytes<uint8_t>(70000);

    platform::TcpSocket card, host;
    if (!platform::makeConnectedPair(card, host)) return 0;
    // The card's bytes are all there before the host reads, then the card goes away: nothing
    // ever waits for the limit, and the stream is parsed in every possible cut.
    if (!stream.empty() && !card.sendAll(stream.data(), stream.size())) return 0;
    card.shutdownBoth();
    platform::WaitLimitOverride shortLimit(100);
    auto transport = std::make_unique<NetworkTransport>("127.0.0.1", 6577);
    transport->attach(std::move(host));
    CardSession session(std::move(transport));
    std::vector<uint8_t> buffer(CardSession::MaxPayload);
    for (int i = 0; i < 4; ++i) {
        uint32_t responseLength = 0;
        session.transact(static_cast<uint16_t>(command + (i & 1)), buffer.data(), 0, responseLength,
                         0, static_cast<uint32_t>(buffer.size()));
    }
    return 0;
}
