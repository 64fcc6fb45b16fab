#include "cardsim/device_link.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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
void serveConnection(DeviceLinkCard& card, platform::TcpSocket& socket, uint64_t client) {
    std::vector<uint8_t> buffer(wire::kMaxTransfer);
    char drive = 0;
    uint8_t head[wire::kRequestHeadSize];
    while (socket.receiveAll(head, sizeof head)) {
        bool sent = false;
        if (head[0] == wire::kOpList || head[0] == wire::kOpStatistics) {
            const std::string text =
                head[0] == wire::kOpList ? card.deviceList() : card.statistics();
            sent = sendAnswer(socket, wire::kResultDone, 0, 0, text.data(),
                              static_cast<uint32_t>(text.size()));
        } else if (head[0] == wire::kOpOpen) {
            const char letter = static_cast<char>(std::toupper(head[1]));
            const bool opened = drive == 0 && card.open(letter);
            if (opened) drive = letter;
            sent = sendAnswer(socket, opened ? wire::kResultDone : wire::kResultRefused, 0, 0,
                              nullptr, 0);
        } else if (head[0] == wire::kOpQueueMouse) {
            sent = serveMouseControl(card, socket, head);
        } else if (head[0] == wire::kOpPassThrough) {
            const auto direction = static_cast<platform::DataDirection>(head[2]);
            const uint8_t cdbLength = head[3];
            const uint32_t size = getLe32(head + 20);
            // A size beyond the limit leaves the stream out of step: the connection ends.
            if (size > wire::kMaxTransfer || head[2] > 1 || cdbLength > 16) break;
            std::fill(buffer.begin(), buffer.begin() + size, 0);
            if (direction == platform::DataDirection::ToDevice &&
                !socket.receiveAll(buffer.data(), size))
                break;
            LinkAnswer answer;
            if (drive != 0)
                answer = card.passThrough(client, drive, head + 4, cdbLength, direction,
                                          buffer.data(), size);
            const bool back = !answer.refused && direction == platform::DataDirection::FromDevice;
            sent =
                sendAnswer(socket, answer.refused ? wire::kResultRefused : wire::kResultDone,
                           answer.scsiStatus, answer.moved, buffer.data(), back ? answer.moved : 0);
        }
        if (!sent) break;
    }
    card.clientGone(client);
}

class DeviceLinkServer {
public:
    DeviceLinkServer(SimCard& card, DeviceLinkConfig config) : card_(card, std::move(config)) {}
    ~DeviceLinkServer() { stop(); }

    bool listen(const std::string& address, uint16_t port) {
        address_ = address;
        return listener_.listen(address.c_str(), port);
    }

    void start() {
        acceptThread_ = std::thread([this] { acceptLoop(); });
    }

    void stop() {
        if (acceptThread_.joinable()) {
            stopping_ = true;
            wakeAccept();
            acceptThread_.join();
        }
        std::list<Connection> connections;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            connections.swap(connections_);
        }
        for (Connection& c : connections) c.socket.shutdownBoth();
        for (Connection& c : connections) c.thread.join();
        listener_.close();
    }

private:
    struct Connection {
        platform::TcpSocket socket;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void acceptLoop() {
        uint64_t nextClient = 1;
        while (!stopping_) {
            platform::TcpSocket socket = listener_.accept();
            if (stopping_ || !socket.isOpen()) break;
            std::lock_guard<std::mutex> guard(mutex_);
            reapFinished();
            Connection& c = connections_.emplace_back();
            c.socket = std::move(socket);
            const uint64_t client = nextClient++;
            c.thread = std::thread([this, &c, client] {
                serveConnection(card_, c.socket, client);
                c.done = true;
            });
        }
    }

    void reapFinished() {
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (it->done) {
                it->thread.join();
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }

    // A blocked accept() is woken by a connection of our own.
    void wakeAccept() {
        uint32_t address;
        const std::string target = address_ == "0.0.0.0" ? "127.0.0.1" : address_;
        if (!platform::parseIpv4(target.c_str(), address)) return;
        platform::TcpSocket socket;
        if (socket.open()) socket.connect(address, listener_.port());
    }

    DeviceLinkCard card_;
    platform::TcpListener listener_;
    std::string address_;
    std::thread acceptThread_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::list<Connection> connections_;
};

std::unique_ptr<DeviceLinkServer> server;

bool parsePort(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos)
        return false;
    const unsigned long value = std::stoul(text);
    if (value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

bool startDeviceLink(SimCard& card, SimOptions& options, const std::string& defaultAddress) {
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
    auto link = std::make_unique<DeviceLinkServer>(card, std::move(config));
    if (!link->listen(address, port)) {
        std::fprintf(stderr, "vorlsim: device link cannot listen on %s:%u\n", address.c_str(),
                     static_cast<unsigned>(port));
        // Many simulated cards share a machine: only an address asked for must be had.
        return !listenOption && !portOption;
    }
    link->start();
    std::printf("vorlsim: device link on %s:%u\n", address.c_str(), static_cast<unsigned>(port));
    std::fflush(stdout);
    server = std::move(link);
    return true;
}

void stopDeviceLink() {
    if (server) server->stop();
    server.reset();
}

}  // namespace vorl::sim
