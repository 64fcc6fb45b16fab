#pragma once
// Internal: the open connections and who goes first when they are too many. A connection is
// idle (waiting for a request: cheapest to lose), starting (in its TLS handshake or request
// head) or busy (reading a body, being answered). When the cap is reached a new connection
// takes the place of the one idle the longest, else of the one starting the longest; when
// every connection is busy, the new one is refused. Thread-safe.
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace vorl::web::detail {

enum class Tier { Idle, Starting, Busy };

template <typename Connection>
class ConnectionRegistry {
public:
    explicit ConnectionRegistry(size_t capacity) : capacity_(capacity) {}

    struct Admission {
        bool admitted = false;
        std::shared_ptr<Connection> victim;  // to be closed for the new one; may be null
    };

    // Enters a new connection as idle, making room first when the registry is full.
    Admission admit(uint64_t id, std::weak_ptr<Connection> connection) {
        std::lock_guard<std::mutex> guard(mutex_);
        Admission admission;
        while (nodes_.size() >= capacity_ && !admission.victim) {
            std::list<uint64_t>* order = !orders_[0].empty()   ? &orders_[0]
                                         : !orders_[1].empty() ? &orders_[1]
                                                               : nullptr;
            if (order == nullptr) return admission;  // every one busy
            const uint64_t oldest = order->front();
            admission.victim = nodes_.at(oldest).connection.lock();
            eraseLocked(oldest);
        }
        auto& order = orders_[static_cast<size_t>(Tier::Idle)];
        order.push_back(id);
        nodes_.emplace(id, Node{std::move(connection), Tier::Idle, std::prev(order.end())});
        admission.admitted = true;
        return admission;
    }

    // Moves a connection to the back of `tier`'s order (its newest member).
    void setTier(uint64_t id, Tier tier) {
        std::lock_guard<std::mutex> guard(mutex_);
        const auto found = nodes_.find(id);
        if (found == nodes_.end()) return;
        Node& node = found->second;
        auto& to = orders_[static_cast<size_t>(tier)];
        to.splice(to.end(), orders_[static_cast<size_t>(node.tier)], node.position);
        node.tier = tier;
    }

    void remove(uint64_t id) {
        std::lock_guard<std::mutex> guard(mutex_);
        eraseLocked(id);
    }

    size_t size() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return nodes_.size();
    }

    size_t count(Tier tier) const {
        std::lock_guard<std::mutex> guard(mutex_);
        return orders_[static_cast<size_t>(tier)].size();
    }

    std::vector<std::shared_ptr<Connection>> all() const {
        std::lock_guard<std::mutex> guard(mutex_);
        std::vector<std::shared_ptr<Connection>> found;
        for (const auto& [id, node] : nodes_)
            if (auto connection = node.connection.lock()) found.push_back(std::move(connection));
        return found;
    }

private:
    struct Node {
        std::weak_ptr<Connection> connection;
        Tier tier;
        std::list<uint64_t>::iterator position;
    };

    void eraseLocked(uint64_t id) {
        const auto found = nodes_.find(id);
        if (found == nodes_.end()) return;
        orders_[static_cast<size_t>(found->second.tier)].erase(found->second.position);
        nodes_.erase(found);
    }

    mutable std::mutex mutex_;
    const size_t capacity_;
    std::unordered_map<uint64_t, Node> nodes_;
    std::list<uint64_t> orders_[3];  // by Tier, oldest first
};

}  // namespace vorl::web::detail
