#include "web/server.h"

#include <sys/resource.h>

#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <csignal>
#include <mutex>
#include <optional>
#include <thread>

#include "web/connection.h"
#include "web/listen_address.h"
#include "web/log.h"
#include "web/server_core.h"

namespace vorl::web {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

// Descriptors kept back from connections: card sessions, files, the listeners.
constexpr rlim_t kReservedDescriptors = 256;

std::string bindReason(const boost::system::error_code& error) {
    if (error == asio::error::address_in_use) return "address in use";
    if (error == asio::error::access_denied) return "permission denied";
    if (error.value() == EADDRNOTAVAIL) return "address not available on this host";
    std::string text = error.message();
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = char(text[0] + 32);
    return text;
}

// The soft limit of open files raised to the hard one; the resulting soft limit.
rlim_t raiseFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        const rlim_t before = limit.rlim_cur;
        limit.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) limit.rlim_cur = before;
    }
    return limit.rlim_cur;
}

bool isOutOfDescriptors(const boost::system::error_code& error) {
    return error == asio::error::no_descriptors || error.value() == ENFILE ||
           error == asio::error::no_buffer_space || error == asio::error::no_memory;
}

}  // namespace

struct Server::Impl {
    struct Listener {
        std::string address;
        tcp::acceptor acceptor;
        asio::steady_timer pause;
        std::chrono::steady_clock::time_point lastWarning{};
    };

    Impl(ServerSettings settings, Handler handler)
        : settings(std::move(settings)), handler(std::move(handler)) {}

    void accept(Listener& listener);
    void onAccepted(tcp::socket socket);

    ServerSettings settings;
    Handler handler;
    // Destroyed after the io_context, whose pending handlers hold the last connections.
    std::unique_ptr<detail::ServerCore> core;
    asio::io_context io;
    std::vector<std::unique_ptr<Listener>> listeners;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::vector<std::thread> threads;
    std::atomic<bool> stopping{false};
    uint64_t nextId = 0;  // on the acceptors' handlers only, which run one at a time per listener
    std::mutex idMutex;
};

void Server::Impl::accept(Listener& listener) {
    listener.acceptor.async_accept(
        asio::make_strand(io),
        [this, &listener](boost::system::error_code error, tcp::socket socket) {
            if (stopping) return;
            if (error == asio::error::operation_aborted) return;
            if (isOutOfDescriptors(error)) {
                // Out of descriptors: retrying at once would spin. Let closes catch up, and say
                // so once a minute, not ten times a second.
                const auto now = std::chrono::steady_clock::now();
                if (now - listener.lastWarning > std::chrono::minutes(1)) {
                    listener.lastWarning = now;
                    log::warn("cannot accept connections",
                              {{"address", listener.address}, {"reason", error.message()}});
                }
                listener.pause.expires_after(std::chrono::milliseconds(100));
                listener.pause.async_wait([this, &listener](boost::system::error_code waited) {
                    if (!waited && !stopping) accept(listener);
                });
                return;
            }
            if (!error) onAccepted(std::move(socket));
            accept(listener);
        });
}

void Server::Impl::onAccepted(tcp::socket socket) {
    boost::system::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    socket.non_blocking(true, ignored);
    uint64_t id;
    {
        std::lock_guard<std::mutex> guard(idMutex);
        id = ++nextId;
    }
    ++core->accepted;
    auto connection = std::make_shared<detail::Connection>(*core, std::move(socket), id);
    auto admission = core->registry.admit(id, connection);
    if (!admission.admitted) {
        ++core->refused;
        log::debug("connection refused: every connection is busy",
                   {{"max_connections", core->limits.maxConnections}});
        return;  // closed as it goes
    }
    if (admission.victim) {
        ++core->evicted;
        admission.victim->closeSoon("evicted for a new connection");
    }
    connection->start();
}

Server::Server(ServerSettings settings, Handler handler)
    : impl_(std::make_unique<Impl>(std::move(settings), std::move(handler))) {}

Server::~Server() {
    stop();
}

bool Server::start(std::string& error) {
    Impl& impl = *impl_;
    // A client that resets while OpenSSL writes would otherwise end the process.
    std::signal(SIGPIPE, SIG_IGN);
    Limits& limits = impl.settings.limits;
    const rlim_t files = raiseFileLimit();
    const rlim_t usable =
        files > 2 * kReservedDescriptors ? files - kReservedDescriptors : files / 2;
    if (limits.maxConnections > usable) {
        log::warn("fewer connections than asked: the limit of open files is too low",
                  {{"max_connections", static_cast<unsigned long>(usable)},
                   {"open_files_limit", static_cast<unsigned long>(files)}});
        limits.maxConnections = static_cast<size_t>(usable);
    }
    for (const std::string& address : impl.settings.listenAddresses) {
        std::string host;
        int port = 0;
        if (!parseListenAddress(address, host, port, true)) {
            error = "cannot listen on " + address + ": not HOST:PORT";
            return false;
        }
        boost::system::error_code failure;
        const auto ip = asio::ip::make_address(host, failure);
        if (failure) {
            error = "cannot listen on " + address + ": " + host + " is not an IP address";
            return false;
        }
        auto listener = std::make_unique<Impl::Listener>(
            Impl::Listener{address, tcp::acceptor(impl.io), asio::steady_timer(impl.io), {}});
        const tcp::endpoint endpoint(ip, static_cast<uint16_t>(port));
        tcp::acceptor& acceptor = listener->acceptor;
        acceptor.open(endpoint.protocol(), failure);
        if (!failure) acceptor.set_option(tcp::acceptor::reuse_address(true), failure);
        if (!failure) acceptor.bind(endpoint, failure);
        if (!failure) acceptor.listen(asio::socket_base::max_listen_connections, failure);
        if (failure) {
            error = "cannot listen on " + address + ": " + bindReason(failure);
            impl.listeners.clear();
            return false;
        }
        impl.listeners.push_back(std::move(listener));
    }
    impl.core = std::make_unique<detail::ServerCore>(impl.settings, impl.handler);
    for (auto& listener : impl.listeners) impl.accept(*listener);
    impl.work.emplace(impl.io.get_executor());
    const unsigned threads = std::max(1u, impl.settings.ioThreads);
    for (unsigned i = 0; i < threads; ++i) impl.threads.emplace_back([&impl] { impl.io.run(); });
    return true;
}

void Server::stop() {
    Impl& impl = *impl_;
    if (impl.stopping.exchange(true)) return;
    impl.work.reset();
    impl.io.stop();
    for (auto& thread : impl.threads) thread.join();
    impl.threads.clear();
    // No IO thread runs now: the connections can be closed from here. Their clients learn it
    // at once, and nothing a connection's deadline holds outlives the server.
    if (impl.core)
        for (const auto& connection : impl.core->registry.all()) connection->closeStopped();
    for (auto& listener : impl.listeners) {
        boost::system::error_code ignored;
        listener->acceptor.close(ignored);
    }
}

ServerStats Server::stats() const {
    ServerStats stats;
    const detail::ServerCore* core = impl_->core.get();
    if (core == nullptr) return stats;
    stats.open = core->registry.size();
    stats.idle = core->registry.count(detail::Tier::Idle);
    stats.accepted = core->accepted;
    stats.evicted = core->evicted;
    stats.refused = core->refused;
    stats.timedOut = core->timedOut;
    stats.tlsFailures = core->tlsFailures;
    return stats;
}

uint16_t Server::port(size_t index) const {
    if (index >= impl_->listeners.size()) return 0;
    boost::system::error_code error;
    const auto endpoint = impl_->listeners[index]->acceptor.local_endpoint(error);
    return error ? 0 : endpoint.port();
}

}  // namespace vorl::web
