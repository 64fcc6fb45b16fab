#pragma once
// Shared pieces of the fuzz targets: a card transport that answers from the fuzzer's bytes, and
// the far end of a connection that a target plays itself.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/sockets.h"
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

// A connected pair whose far end is the target's: it writes the peer's whole stream up front,
// then closes only its sending side, so the near end reads every byte and then the end of the
// stream, while its own sends still succeed. Nothing here blocks: what does not fit the socket's
// buffer is dropped, and drain() throws away what the near end sent.
class FarEnd {
public:
    FarEnd() = default;
    ~FarEnd() {
        if (fd_ >= 0) ::close(fd_);
    }
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    // Connects `near` to this end. False when the platform cannot make the pair.
    bool connect(platform::TcpSocket& near) {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
        fd_ = fds[0];
        near = platform::TcpSocket(fds[1]);
        return true;
    }
    void sendThenStop(const std::vector<uint8_t>& stream) {
        for (size_t at = 0; at < stream.size();) {
            const ssize_t sent =
                ::send(fd_, stream.data() + at, stream.size() - at, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent <= 0) break;
            at += static_cast<size_t>(sent);
        }
        ::shutdown(fd_, SHUT_WR);
    }
    void drain() {
        uint8_t sink[16384];
        while (::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) > 0) {
        }
    }

private:
    int fd_ = -1;
};

}  // namespace vorl::fuzz
