// The members of CardSession that know both transports. They live here, above the card command
// library and the host-interface library, so that neither of those depends on the other.
#include "hostifc/host_transport_factory.h"
#include "protocol/card_session.h"
#include "protocol/network_transport.h"

namespace vorl {
namespace {

std::unique_ptr<CardTransport> makeTransport(int transportType, const char* ipAddress,
                                             uint32_t port) {
    if (transportType == 0) return makeHostTransport();
    return std::make_unique<NetworkTransport>(ipAddress, port);
}

}  // namespace

CardSession::CardSession(int transportType, const char* ipAddress, uint32_t port)
    : CardSession(makeTransport(transportType, ipAddress, port)) {}

int CardSession::getDriveLetter(char& letter) {
    return hostTransportDriveLetter(*transport_, letter);
}

}  // namespace vorl
