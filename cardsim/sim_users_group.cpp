#include "cardsim/sim_groups.h"

namespace vorl::sim {

std::unique_ptr<SimGroup> makeUsersGroup(SimCard&, SimOptions&) { return nullptr; }

}  // namespace vorl::sim
