// Placeholder until the host interface exists: a transport that never finds the card.
#include "hostifc/host_transport_factory.h"

namespace vorl {
namespace {

class NoHostTransport : public CardTransport {
public:
    int transact(const uint8_t*, uint32_t&, uint8_t*, uint32_t) override { return 1; }
    int connect() override { return 1; }
    int disconnect() override { return 0; }
};

}  // namespace

std::unique_ptr<CardTransport> makeHostTransport() { return std::make_unique<NoHostTransport>(); }

int hostTransportDriveLetter(CardTransport&, char&) { return -1; }

}  // namespace vorl
