// vorlsim's request reader: the bytes a client sends to the card port, read request by request.
#include <vector>

#include "cardsim/sim_packet_reader.h"
#include "platform/sockets.h"
#include "wire/command_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl;
    if (size > 70000) return 0;  // all of it must fit the socket pair's buffer at once
    platform::TcpSocket client, card;
    if (!platform::makeConnectedPair(client, card)) return 0;
    if (size > 0 && !client.sendAll(data, size)) return 0;
    client.shutdownBoth();
    static std::vector<uint8_t> packet(CommandHeader::kMaxPacket);
    for (;;) {
        const sim::ReadResult result = sim::readRequest(card, packet.data());
        if (result == sim::ReadResult::Closed || result == sim::ReadResult::TooLong) break;
    }
    return 0;
}
