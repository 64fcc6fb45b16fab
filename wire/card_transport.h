#pragma once
// The way a CardSession reaches the card: over TCP (NetworkTransport) or through the host
// interface (HostTransport).
#include <cstdint>

namespace vorl {

class CardTransport {
public:
    virtual ~CardTransport() = default;

    // Carries one whole request packet (header + the payload its header announces) and receives
    // one whole response packet into `response` (CommandHeader::kMaxPacket bytes).
    // `responseLength` gets header length + payload length. Returns 0 on success, non-zero on
    // failure (24: host-interface time-out; 1: any other failure).
    virtual int transact(const uint8_t* request, uint32_t& responseLength, uint8_t* response,
                         uint32_t waitPolls) = 0;
    // Opens the way to the card: 0 on success, non-zero on failure.
    virtual int connect() = 0;
    // Closes the way to the card; returns 0. The session calls it exactly once.
    virtual int disconnect() = 0;

    // After the session found that the response of the last transact answered an earlier
    // request (one that gave up waiting for it): receives the next response, within the time
    // bound and poll budget of that same transact. 0 or non-zero, as transact. A transport that
    // carries exactly one answer per request has no further response: 1.
    virtual int receiveNextResponse(uint32_t& /*responseLength*/, uint8_t* /*response*/,
                                    uint32_t /*waitPolls*/) {
        return 1;
    }

    // True once a transact failed because another program held the machine-wide access mutex
    // of the host interface past the wait limit (it stays true). Other transports: never.
    virtual bool accessLockTimedOut() const { return false; }
};

}  // namespace vorl
