#include "cardsim/device_link.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cardsim/connection_server.h"
#include "cardsim/device_link_card.h"
#include "cardsim/mouse_control.h"
#include "platform/device_link_wire.h"
#include "platform/sockets.h"
#include "wire/byte_order.h"

namespace vorl::sim {
namespace {

namespace wire = platform::devlink;

bool sendAnswer(platform::TcpSocket& socket, uint8_t result, uint8_t scsiStatus, uint32_t moved,
                const void* data, uint32_t length) {
    uint8_t head[wire::kAnswerHeadSize] = {};
    head[0] = result;
    head[1] = scsiStatus;
    putLe32(head + 4, moved);
    putLe32(head + 8, length);
    return socket.sendAll(head, sizeof head) && (length == 0 || socket.sendAll(data, length));
}

// Serves one connection: list and statistics queries, or one opened drive's requests.
class DeviceLinkConnection : public ConnectionHandler {
public:
    DeviceLinkConnection(DeviceLinkCard& card, platform::TcpSocket& socket, uint64_t client)
        : card_(card), socket_(socket), client_(client), buffer_(wire::kMaxTransfer) {}

    void run() override {
        uint8_t head[wire::kRequestHeadSize];
        while (socket_.receiveAll(head, sizeof head) && serveOne(head)) {
        }
        card_.clientGone(client_);
    }

private:
    // False when the connection is to end.
    bool serveOne(const uint8_t* head) {
        if (head[0] == wire::kOpList || head[0] == wire::kOpStatistics) {
            const std::string text =
                head[0] == wire::kOpList ? card_.deviceList() : card_.statistics();
            return sendAnswer(socket_, wire::kResultDone, 0, 0, text.data(),
                              static_cast<uint32_t>(text.size()));
        }
        if (head[0] == wire::kOpOpen) {
            const char letter = static_cast<char>(std::toupper(head[1]));
            const bool opened = drive_ == 0 && card_.open(letter);
            if (opened) drive_ = letter;
            return sendAnswer(socket_, opened ? wire::kResultDone : wire::kResultRefused, 0, 0,
                              nullptr, 0);
        }
        if (head[0] == wire::kOpQueueMouse) return serveMouseControl(card_, socket_, head);
        if (head[0] != wire::kOpPassThrough) return false;
        const auto direction = static_cast<platform::DataDirection>(head[2]);
        const uint8_t cdbLength = head[3];
        const uint32_t size = getLe32(head + 20);
        // A size beyond the limit leaves the stream out of step: the connection ends.
        if (size > wire::kMaxTransfer || head[2] > 1 || cdbLength > 16) return false;
        std::fill(buffer_.begin(), buffer_.begin() + size, 0);
        if (direction == platform::DataDirection::ToDevice &&
            !socket_.receiveAll(buffer_.data(), size))
            return false;
        LinkAnswer answer;
        if (drive_ != 0)
            answer = card_.passThrough(client_, drive_, head + 4, cdbLength, direction,
                                       buffer_.data(), size);
        const bool back = !answer.refused && direction == platform::DataDirection::FromDevice;
        return sendAnswer(socket_, answer.refused ? wire::kResultRefused : wire::kResultDone,
                          answer.scsiStatus, answer.moved, buffer_.data(), back ? answer.moved : 0);
    }

    DeviceLinkCard& card_;
    platform::TcpSocket& socket_;
    const uint64_t client_;
    std::vector<uint8_t> buffer_;
    char drive_ = 0;
};

bool parsePort(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos)
        return false;
    const unsigned long value = std::stoul(text);
    if (value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

DeviceLink::DeviceLink() = default;

DeviceLink::~DeviceLink() {
    stop();
}

bool DeviceLink::start(SimCard& card, SimOptions& options, const std::string& defaultAddress) {
    DeviceLinkConfig config;
    std::string error;
    if (!config.take(options, error)) {
        std::fprintf(stderr, "vorlsim: %s\n", error.c_str());
        return false;
    }
    const auto listenOption = options.take("devlink-listen");
    const auto portOption = options.take("devlink-port");
    std::string address = listenOption.value_or(defaultAddress);
    uint16_t port = wire::kDefaultPort;
    uint32_t parsed;
    if (!platform::parseIpv4(address.c_str(), parsed) ||
        (portOption && !parsePort(*portOption, port))) {
        std::fprintf(stderr, "vorlsim: bad --devlink-listen or --devlink-port\n");
        return false;
    }
    if (portOption && port == 0) return true;  // --devlink-port=0: no device link
    auto linkCard = std::make_unique<DeviceLinkCard>(card, std::move(config));
    DeviceLinkCard* served = linkCard.get();
    auto server =
        std::make_unique<ConnectionServer>([served](platform::TcpSocket& socket, uint64_t client) {
            return std::make_unique<DeviceLinkConnection>(*served, socket, client);
        });
    if (!server->listen(address, port)) {
        std::fprintf(stderr, "vorlsim: device link cannot listen on %s:%u\n", address.c_str(),
                     static_cast<unsigned>(port));
        // Many simulated cards share a machine: only an address asked for must be had.
        return !listenOption && !portOption;
    }
    server->start();
    std::printf("vorlsim: device link on %s:%u\n", address.c_str(), static_cast<unsigned>(port));
    std::fflush(stdout);
    card_ = std::move(linkCard);
    server_ = std::move(server);
    return true;
}

void DeviceLink::stop() {
    if (server_) server_->stop();
    server_.reset();
    card_.reset();
}

}  // namespace vorl::sim
