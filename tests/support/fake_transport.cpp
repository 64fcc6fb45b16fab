#include "tests/support/fake_transport.h"

#include <cstring>

#include "cardsim/sim_card.h"
#include "wire/command_header.h"

namespace vorl::test {
namespace {

RecordedRequest decodeRequest(const uint8_t* request) {
    RecordedRequest recorded;
    recorded.command = CommandHeader::commandCode(request);
    const uint32_t length = CommandHeader::payloadLength(request);
    recorded.payload.assign(request + CommandHeader::kSize,
                            request + CommandHeader::kSize + length);
    return recorded;
}

int writeResponse(uint16_t command, uint16_t status, const uint8_t* payload, uint32_t length,
                  uint32_t& responseLength, uint8_t* response) {
    if (!CommandHeader::buildResponse(response, command, status, length)) return 1;
    if (length > 0) std::memcpy(response + CommandHeader::kSize, payload, length);
    responseLength = CommandHeader::kSize + length;
    return 0;
}

}  // namespace

int FakeTransport::transact(const uint8_t* request, uint32_t& responseLength, uint8_t* response,
                            uint32_t waitPolls) {
    requests.push_back(decodeRequest(request));
    waitPollsSeen.push_back(waitPolls);
    ScriptedResponse answer;
    if (!script_.empty()) {
        answer = std::move(script_.front());
        script_.pop_front();
    } else if (fallback) {
        answer = fallback(requests.back());
    }
    if (answer.transportResult != 0) return answer.transportResult;
    if (writeResponse(requests.back().command, answer.status, answer.payload.data(),
                      static_cast<uint32_t>(answer.payload.size()), responseLength, response) != 0)
        return 1;
    if (answer.corruptChecksum) response[CommandHeader::kChecksumOffset] ^= 0x01;
    return 0;
}

int SimCardTransport::transact(const uint8_t* request, uint32_t& responseLength, uint8_t* response,
                               uint32_t /*waitPolls*/) {
    requests.push_back(decodeRequest(request));
    replyBuffer_.assign(CommandHeader::kMaxPayload, 0);
    sim::SimRequest simRequest;
    simRequest.command = requests.back().command;
    simRequest.payload = request + CommandHeader::kSize;
    simRequest.length = CommandHeader::payloadLength(request);
    simRequest.link = hostInterface_ ? sim::Link::HostInterface : sim::Link::Network;
    sim::SimReply reply;
    reply.payload = replyBuffer_.data();
    card_.execute(simRequest, reply);
    if (!hostInterface_ && !reply.sendOverNetwork) return 1;
    return writeResponse(simRequest.command, reply.status, reply.payload, reply.length,
                         responseLength, response);
}

}  // namespace vorl::test
