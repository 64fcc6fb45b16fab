#include "cardsim/device_link.h"

namespace vorl::sim {

// Not built yet: the simulated card has no host interface.
bool startDeviceLink(SimCard&, SimOptions&) { return true; }
void stopDeviceLink() {}

}  // namespace vorl::sim
