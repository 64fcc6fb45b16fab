#include "tests/support/loopback_peer.h"

#include <cstring>

#include "wire/command_header.h"

namespace vorl::test {

platform::TcpSocket connectToLoopback(uint16_t port) {
    uint32_t address = 0;
    platform::TcpSocket socket;
    if (!platform::parseIpv4("127.0.0.1", address) || !socket.open() ||
        socket.connect(address, port) != platform::SocketError::None)
        socket.close();
    return socket;
}

LoopbackPeer::LoopbackPeer(Script script) {
    platform::startNetworking();
    listener_.listen("127.0.0.1", 0);
    port_ = listener_.port();
    thread_ = std::thread([this, script = std::move(script)] {
        platform::TcpSocket client = listener_.accept();
        if (client.isOpen()) script(client);
    });
}

LoopbackPeer::~LoopbackPeer() {
    listener_.close();
    if (thread_.joinable()) thread_.join();
}

std::vector<uint8_t> LoopbackPeer::readRequest(platform::TcpSocket& socket) {
    std::vector<uint8_t> packet(CommandHeader::kSize);
    if (!socket.receiveAll(packet.data(), packet.size())) return {};
    const uint32_t payload = CommandHeader::payloadLength(packet.data());
    packet.resize(CommandHeader::kSize + payload);
    if (payload > 0 && !socket.receiveAll(packet.data() + CommandHeader::kSize, payload)) return {};
    return packet;
}

std::vector<uint8_t> LoopbackPeer::response(uint16_t command, uint16_t status,
                                            const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> packet(CommandHeader::kSize + payload.size());
    CommandHeader::buildResponse(packet.data(), command, status,
                                 static_cast<uint32_t>(payload.size()));
    if (!payload.empty())
        std::memcpy(packet.data() + CommandHeader::kSize, payload.data(), payload.size());
    return packet;
}

}  // namespace vorl::test
