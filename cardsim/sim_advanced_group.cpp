#include "cardsim/sim_groups.h"

namespace vorl::sim {

// Not built yet: the card answers these commands with status 32.
std::unique_ptr<SimGroup> makeAdvancedGroup(SimCard&, SimOptions&) { return nullptr; }

}  // namespace vorl::sim
