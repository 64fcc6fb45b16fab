#include "cardsim/sim_server.h"

#include "cardsim/sim_connection.h"

namespace vorl::sim {

SimServer::SimServer(SimCard& card, SimFaults faults)
    : card_(card),
      faults_(std::move(faults)),
      server_([this](platform::TcpSocket& socket, uint64_t) {
          return std::make_unique<SimConnection>(socket, card_, faults_, requests_,
                                                 [this](bool defaults) { restartCard(defaults); });
      }) {}

void SimServer::restartCard(bool withDefaults) {
    server_.shutdownAll([&] { card_.restart(withDefaults); });
}

}  // namespace vorl::sim
