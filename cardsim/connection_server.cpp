#include "cardsim/connection_server.h"

#include <chrono>

namespace vorl::sim {

ConnectionServer::ConnectionServer(Factory factory) : factory_(std::move(factory)) {}

ConnectionServer::~ConnectionServer() {
    stop();
}

bool ConnectionServer::listen(const std::string& address, uint16_t port) {
    address_ = address;
    return listener_.listen(address.c_str(), port);
}

void ConnectionServer::start() {
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

void ConnectionServer::acceptLoop() {
    while (!stopping_) {
        platform::TcpSocket socket = listener_.accept();
        if (stopping_) break;
        if (!socket.isOpen()) {
            // Out of descriptors or similar: try again shortly rather than spin or give up.
            std::this_thread::sleep_for(std::chrono::milliseconds(kAcceptRetryMs));
            continue;
        }
        std::lock_guard<std::mutex> guard(mutex_);
        reapFinished();
        if (connections_.size() >= kMaxConnections) continue;  // the socket closes here
        Entry& entry = connections_.emplace_back();
        entry.socket = std::move(socket);
        entry.handler = factory_(entry.socket, nextClient_++);
        entry.thread = std::thread([this, &entry] { serve(entry); });
    }
}

void ConnectionServer::serve(Entry& entry) {
    if (entry.handler) entry.handler->run();
    {
        std::lock_guard<std::mutex> guard(entry.socketMutex);
        entry.socket.shutdownBoth();
        entry.socket.close();
        entry.closed = true;
    }
    entry.finished = true;
}

void ConnectionServer::reapFinished() {
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (it->finished) {
            it->thread.join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

void ConnectionServer::shutdownAll(const std::function<void()>& then) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (Entry& entry : connections_) {
        std::lock_guard<std::mutex> socketGuard(entry.socketMutex);
        if (!entry.closed) entry.socket.shutdownBoth();
    }
    if (then) then();
}

size_t ConnectionServer::openConnections() {
    std::lock_guard<std::mutex> guard(mutex_);
    reapFinished();
    return connections_.size();
}

// A blocked accept() is woken by a connection of our own; closing the listener under it
// would race with the accepting thread.
void ConnectionServer::wakeAccept() {
    uint32_t address;
    const std::string target = address_ == "0.0.0.0" ? "127.0.0.1" : address_;
    if (!platform::parseIpv4(target.c_str(), address)) return;
    platform::TcpSocket socket;
    if (socket.open()) socket.connect(address, listener_.port());
}

void ConnectionServer::stop() {
    if (acceptThread_.joinable()) {
        stopping_ = true;
        wakeAccept();
        acceptThread_.join();
    }
    shutdownAll();
    std::list<Entry> connections;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        connections.swap(connections_);
    }
    for (Entry& entry : connections) entry.thread.join();
    listener_.close();
}

}  // namespace vorl::sim
