#pragma once
// The card's TCP transport: one request out, one response back, the response found by its
// 8-byte signature. The only transport that honours waitPolls.
//
// Reads go through a receive buffer that lives as long as the transport: a response that
// arrives in one piece costs one recv call, and bytes that follow a response stay for the next.
// Every wait for the card is bounded: a transaction gives up when its whole answer has not come
// within platform::answerWaitLimitMs() (60 s) of sending the request; the connection then
// counts as lost and every later transaction fails at once.
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/deadline.h"
#include "platform/sockets.h"
#include "wire/card_transport.h"
#include "wire/command_header.h"

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
    // Runs over `connected`, a socket already connected to a card, instead of connecting
    // (tests and fuzzing). 0 or 33.
    int attach(platform::TcpSocket connected);
    // Bounds every later transaction to end by `limit` as well (a caller with a deadline of its
    // own, such as a probe that must answer within a scrape).
    void limitTo(platform::Deadline limit) { limit_ = limit; }
    // Why the last connect or transaction failed, in a few words ("connection refused", "no
    // answer in time", "the card closed the connection", ...); nullptr after a success.
    const char* lastFailure() const { return failure_; }
    // recv calls made on the card's connection so far (the benchmarks report them).
    uint64_t receiveCalls() const { return socket_.receiveCalls(); }
    // The response after a stale one, within the bound of the transaction in progress. 0 or 1.
    int receiveNextResponse(uint32_t& responseLength, uint8_t* response,
                            uint32_t waitPolls) override;

    // 0 or 33.
    int startNetworking();
    // Reads one response packet into `response` (kMaxPacket bytes). 0 or 33. A header whose
    // length is below 32, or that announces a packet larger than kMaxPacket, is a failure
    // found before any payload is read.
    int receiveResponse(uint8_t* response, uint32_t& responseLength, uint32_t waitPolls);
    // Sends the header and the payload it announces, and starts the transaction's time bound.
    // 0 or 33.
    int sendRequest(const uint8_t* request, uint32_t waitPolls);

    // Cap on the retries after "address in use" (each 1 ms apart) before connect gives up.
    static constexpr int kMaxAddressInUseRetries = 1000;
    // One poll of a bounded wait: waitPolls N > 0 gives up the search for the response after
    // N + 1 polls of this length in which nothing arrived.
    static constexpr uint32_t kPollMs = 500;
    // The receive buffer holds a whole packet.
    static constexpr size_t kReceiveBufferSize = CommandHeader::kMaxPacket;

private:
    enum class Fill { Got, Empty, Expired, Failed };

    // Reads until the 8 signature bytes arrived in a row; they are then the first buffered
    // bytes. 0 or 33.
    int findSignature(uint32_t waitPolls);
    // Waits until `count` bytes (at most kReceiveBufferSize) are buffered from the read
    // position, within the transaction's bound.
    bool fillTo(size_t count);
    // One wait of at most `windowMs` (never past the transaction's bound) and one recv into
    // the buffer: Got, Empty (the window passed quietly), Expired (the bound passed), Failed
    // (closed or a socket error).
    Fill fill(uint32_t windowMs);
    size_t buffered() const { return end_ - start_; }
    // The card did not answer in time: the stream is out of step for good.
    void giveUp();

    char address_[32] = {};
    uint32_t port_;
    platform::TcpSocket socket_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t start_ = 0;  // first unread byte
    size_t end_ = 0;    // one past the last received byte
    platform::Deadline deadline_{0};
    std::optional<platform::Deadline> limit_;
    uint32_t emptyPolls_ = 0;
    bool lost_ = false;
    const char* failure_ = nullptr;
};

}  // namespace vorl
