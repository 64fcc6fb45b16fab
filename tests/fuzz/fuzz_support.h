#pragma once
// Shared pieces of the fuzz targets: a card transport that answers from the fuzzer's bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "wire/card_transport.h"
#include "wire/command_header.h"

namespace vorl::fuzz {

// Answers every request (and every "next response") from the input: a flag byte (fail, bad
// checksum, another command code), a status, a payload length and the payload. When the input
// is used up every transaction fails.
class AnsweringTransport : public CardTransport {
public:
    explicit AnsweringTransport(FuzzedDataProvider& input) : input_(input) {}

    int transact(const uint8_t* request, uint32_t& responseLength, uint8_t* response,
                 uint32_t) override {
        command_ = CommandHeader::commandCode(request);
        return answer(responseLength, response);
    }
    int receiveNextResponse(uint32_t& responseLength, uint8_t* response, uint32_t) override {
        return answer(responseLength, response);
    }
    int connect() override { return 0; }
    int disconnect() override { return 0; }

private:
    int answer(uint32_t& responseLength, uint8_t* response) {
        if (input_.remaining_bytes() == 0) return 1;
        const uint8_t flags = input_.ConsumeIntegral<uint8_t>();
        if (flags & 1) return 1;
        const uint16_t status = (flags & 8) ? input_.ConsumeIntegral<uint16_t>() : 0;
        const uint32_t length = input_.ConsumeIntegralInRange<uint32_t>(
            0, static_cast<uint32_t>(
                   std::min<size_t>(input_.remaining_bytes(), CommandHeader::kMaxPayload)));
        const std::vector<uint8_t> payload = input_.ConsumeBytes<uint8_t>(length);
        const uint16_t code = (flags & 4) ? static_cast<uint16_t>(command_ ^ 0x0100) : command_;
        CommandHeader::buildResponse(response, code, status, static_cast<uint32_t>(payload.size()));
        if (!payload.empty())
            std::memcpy(response + CommandHeader::kSize, payload.data(), payload.size());
        if (flags & 2) response[CommandHeader::kChecksumOffset] ^= 0x5A;
        responseLength = static_cast<uint32_t>(CommandHeader::kSize + payload.size());
        return 0;
    }

    FuzzedDataProvider& input_;
    uint16_t command_ = 0;
};

}  // namespace vorl::fuzz
