#pragma once
// The card's TCP transport: one request out, one response back, the response found by its
// 8-byte signature. The only transport that honours waitPolls.
#include <cstdint>

#include "platform/sockets.h"
#include "wire/card_transport.h"

namespace vorl {

class NetworkTransport : public CardTransport {
public:
    // Copies the address (at most 31 characters are kept) and port and starts networking; a
    // failed start shows later as a failed connect.
    NetworkTransport(const char* ipAddress, uint32_t port);

    // 0 or 1.
    int transact(const uint8_t* request, uint32_t& responseLength, uint8_t* response,
                 uint32_t waitPolls) override;
    // 0 or 33.
    int connect() override;
    // Shuts the socket down and closes it. Returns 0.
    int disconnect() override;

    // 0 or 33.
    int startNetworking();
    // Reads one response packet into `response` (kMaxPacket bytes). 0 or 33. A header whose
    // length is below 32, or that announces a packet larger than kMaxPacket, is a failure
    // found before any payload is read.
    int receiveResponse(uint8_t* response, uint32_t& responseLength, uint32_t waitPolls);
    // Sends the header and the payload it announces. 0 or 33.
    int sendRequest(const uint8_t* request, uint32_t waitPolls);

    // Cap on the retries after "address in use" (each 1 ms apart) before connect gives up.
    static constexpr int kMaxAddressInUseRetries = 1000;

private:
    // Reads until the 8 signature bytes arrived in a row. 0 or 33.
    int findSignature(uint32_t waitPolls);
    bool receiveByte(uint8_t& byte);

    char address_[32] = {};
    uint32_t port_;
    platform::TcpSocket socket_;
};

}  // namespace vorl
