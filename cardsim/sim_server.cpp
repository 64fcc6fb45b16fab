#include "cardsim/sim_server.h"

#include <chrono>

namespace vorl::sim {

SimServer::SimServer(SimCard& card, SimFaults faults) : card_(card), faults_(std::move(faults)) {}

SimServer::~SimServer() {
    stop();
}

bool SimServer::listen(const std::string& address, uint16_t port) {
    address_ = address;
    return listener_.listen(address.c_str(), port);
}

void SimServer::start() {
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

void SimServer::acceptLoop() {
    while (!stopping_) {
        platform::TcpSocket socket = listener_.accept();
        if (stopping_) break;
        if (!socket.isOpen()) {
            // Out of descriptors or similar: try again shortly rather than spin.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        std::lock_guard<std::mutex> guard(mutex_);
        reapFinished();
        if (connections_.size() >= kMaxConnections) continue;  // the socket closes here
        auto connection = std::make_unique<SimConnection>(
            std::move(socket), card_, faults_, [this](bool defaults) { restartCard(defaults); });
        SimConnection* raw = connection.get();
        connections_.push_back(Entry{std::move(connection), std::thread([raw] { raw->run(); })});
    }
}

void SimServer::reapFinished() {
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (it->connection->finished()) {
            it->thread.join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

void SimServer::restartCard(bool withDefaults) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (Entry& entry : connections_) entry.connection->shutdown();
    card_.restart(withDefaults);
}

size_t SimServer::openConnections() {
    std::lock_guard<std::mutex> guard(mutex_);
    reapFinished();
    return connections_.size();
}

// A blocked accept() is woken by a connection of our own; closing the listener under it
// would race with the accepting thread.
void SimServer::wakeAccept() {
    uint32_t address;
    const std::string target = address_ == "0.0.0.0" ? "127.0.0.1" : address_;
    if (!platform::parseIpv4(target.c_str(), address)) return;
    platform::TcpSocket socket;
    if (socket.open()) socket.connect(address, listener_.port());
}

void SimServer::stop() {
    if (acceptThread_.joinable()) {
        stopping_ = true;
        wakeAccept();
        acceptThread_.join();
    }
    std::list<Entry> connections;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        connections.swap(connections_);
    }
    for (Entry& entry : connections) entry.connection->shutdown();
    for (Entry& entry : connections) entry.thread.join();
    listener_.close();
}

}  // namespace vorl::sim
