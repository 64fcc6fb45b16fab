#pragma once
// TCP sockets, the only socket API the rest of the suite sees. Win32: Winsock 1.1 (ws2_32);
// POSIX: BSD sockets. IPv4 only, as the card speaks.
#include <cstddef>
#include <cstdint>

namespace vorl::platform {

// Starts the socket layer (WSAStartup asking for 1.1 on Windows; nothing on POSIX).
// Returns 0 on success, non-zero on failure (after WSACleanup on Windows).
int startNetworking();

// Parses dotted-decimal IPv4 text the way inet_addr does. Returns false where inet_addr gives
// INADDR_NONE (so "255.255.255.255" is refused too); otherwise the address in network order.
bool parseIpv4(const char* text, uint32_t& addressNetworkOrder);

// Refused, Unreachable and TimedOut come from connect only (the card's reasons worth a log line).
enum class SocketError {
    None,
    WouldBlock,
    AddressInUse,
    Closed,
    Refused,
    Unreachable,
    TimedOut,
    Other
};

enum class SocketWait { Ready, TimedOut, Failed };

// recv calls made by every TcpSocket of the process so far (the benchmarks report it).
uint64_t receiveCallCount();

class TcpSocket {
public:
    TcpSocket() = default;
    explicit TcpSocket(intptr_t handle) : handle_(handle) {}
    ~TcpSocket() { close(); }
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Creates an IPv4 stream socket. Returns false when the platform refuses.
    bool open();
    bool isOpen() const { return handle_ != kInvalid; }
    // Connects the opened socket. Returns None, AddressInUse or Other.
    SocketError connect(uint32_t addressNetworkOrder, uint16_t port);
    // As connect, but gives up (Other) when the card has not accepted within `milliseconds`:
    // a peer that never answers the SYN would otherwise hold the caller for the kernel's
    // minutes of retries. The socket is blocking again afterwards.
    SocketError connectWithin(uint32_t addressNetworkOrder, uint16_t port, uint32_t milliseconds);
    // One send call: bytes sent, or -1 on error.
    long send(const void* data, size_t length);
    // One recv call: bytes received (> 0), 0 when the peer closed, -1 on error (see lastError).
    long receive(void* data, size_t length);
    // recv calls made on this socket so far.
    uint64_t receiveCalls() const { return receiveCalls_; }
    // Waits up to `milliseconds` until a receive would not block (data, the peer's close or an
    // error are waiting), or a send would not block. Failed when the platform fails the wait.
    SocketWait waitReadable(uint32_t milliseconds);
    SocketWait waitWritable(uint32_t milliseconds);
    // The error of the last failed call (WouldBlock for an empty non-blocking receive).
    SocketError lastError() const { return lastError_; }
    // Switches blocking mode (FIONBIO). Returns false on failure.
    bool setNonBlocking(bool nonBlocking);
    // Sends a whole buffer, looping over partial sends. Returns false on error.
    bool sendAll(const void* data, size_t length);
    // Receives exactly `length` bytes. Returns false on error or when the peer closed.
    bool receiveAll(void* data, size_t length);
    // As receiveAll, but false as well when the bytes have not all come within `milliseconds`.
    bool receiveAllWithin(void* data, size_t length, uint32_t milliseconds);
    // shutdown(both); the handle stays open until close().
    void shutdownBoth();
    void close();

    static constexpr intptr_t kInvalid = -1;

private:
    long receiveOnce(void* data, size_t length);
    SocketWait wait(bool forWriting, uint32_t milliseconds);

    intptr_t handle_ = kInvalid;
    SocketError lastError_ = SocketError::None;
    uint64_t receiveCalls_ = 0;
};

// Two connected stream sockets of this process (tests and fuzzing feed one end and read the
// other). False when the platform cannot make them.
bool makeConnectedPair(TcpSocket& first, TcpSocket& second);

// What a listening socket gets before bind: a port in TIME_WAIT may be bound again, a port in
// use may not (no SO_REUSEPORT on POSIX; SO_EXCLUSIVEADDRUSE on Windows). For listeners made by
// a library (the exporter's web server) as well as TcpListener.
void prepareListeningSocket(intptr_t handle);

class TcpListener {
public:
    TcpListener() = default;
    ~TcpListener() { close(); }
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Binds (with address reuse) and listens. Returns false on failure.
    bool listen(const char* address, uint16_t port);
    // Blocks for the next connection; an unopened socket on failure or after close().
    TcpSocket accept();
    // The bound port (useful when listening on port 0).
    uint16_t port() const;
    // Stops listening; a blocked accept() returns.
    void close();

private:
    intptr_t handle_ = TcpSocket::kInvalid;
};

}  // namespace vorl::platform
