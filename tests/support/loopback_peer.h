#pragma once
// A one-connection TCP peer on 127.0.0.1 for transport tests: accepts one client and runs a
// script against it on its own thread.
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "platform/sockets.h"

namespace vorl::test {

// A client socket connected to 127.0.0.1:`port`; not open when the connection failed.
platform::TcpSocket connectToLoopback(uint16_t port);

class LoopbackPeer {
public:
    using Script = std::function<void(platform::TcpSocket&)>;
    explicit LoopbackPeer(Script script);
    ~LoopbackPeer();
    uint16_t port() const { return port_; }

    // Reads one request packet (header + announced payload); empty on failure.
    static std::vector<uint8_t> readRequest(platform::TcpSocket& socket);
    // A response packet with `status` and `payload`.
    static std::vector<uint8_t> response(uint16_t command, uint16_t status,
                                         const std::vector<uint8_t>& payload = {});

private:
    platform::TcpListener listener_;
    uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace vorl::test
