#include "protocol/card_session.h"

#include <cstring>

#include "wire/status_codes.h"

namespace vorl {

CardSession::CardSession(std::unique_ptr<CardTransport> transport)
    : transport_(std::move(transport)),
      request_(new uint8_t[CommandHeader::kMaxPacket]),
      response_(new uint8_t[CommandHeader::kMaxPacket]) {}

CardSession::~CardSession() {
    if (transport_) transport_->disconnect();
}

void CardSession::exchangeConnection(CardSession& other) {
    transport_.swap(other.transport_);
}

int CardSession::connect() {
    return transport_->connect() == 0 ? kStatusSuccess : kStatusConnectError;
}

int CardSession::transact(uint16_t commandCode, uint8_t* buffer, uint32_t payloadLength,
                          uint32_t& responseLength, uint32_t waitPolls, uint32_t bufferCapacity) {
    uint8_t* request = request_.get();
    uint8_t* response = response_.get();
    lastAnswerStatus_ = -1;
    if (!CommandHeader::build(request, commandCode, payloadLength)) return kStatusConnectError;
    if (payloadLength > 0) std::memcpy(request + CommandHeader::kSize, buffer, payloadLength);

    uint32_t packetLength = 0;
    int result = transport_->transact(request, packetLength, response, waitPolls);
    for (;;) {
        if (result != 0) return kStatusConnectError;
        if (!CommandHeader::checksumValid(response)) {
            responseLength = 0;
            return kStatusConnectError;
        }
        if (CommandHeader::commandCode(response) == commandCode) break;
        // The answer to an earlier request that had stopped waiting for it (a late refusal
        // of -SetStatic, say): never hand it to this caller. The transport reads on within the
        // same time bound.
        result = transport_->receiveNextResponse(packetLength, response, waitPolls);
    }
    lastAnswerStatus_ = CommandHeader::status(response);
    // The transports refuse anything that does not fit the packet buffer; the caller's buffer
    // may be smaller still. Such an answer was read off the wire whole, so the stream stays in
    // step, but it is never copied.
    const uint32_t payload = CommandHeader::payloadLength(response);
    if (payload > MaxPayload || payload > bufferCapacity) return kStatusConnectError;
    responseLength = payload;
    if (payload != 0) std::memcpy(buffer, response + CommandHeader::kSize, payload);
    return CommandHeader::status(response);
}

}  // namespace vorl
