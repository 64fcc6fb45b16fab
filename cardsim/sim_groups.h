#pragma once
// The groups of the simulated card, one factory per file. A factory returns nullptr while its
// group is not built yet; the card then answers that group's commands with status 32.
// Each group names its command codes itself rather than taking them from the card command
// library: the simulated card is an independent peer, so a wrong code in the library shows up
// as a refusal in the tests instead of being agreed with. (The vendor SCSI opcodes of the device
// link do come from wire/vendor_commands.h: they describe the drive, not the card's commands.)
#include <memory>

#include "cardsim/sim_group.h"
#include "cardsim/sim_options.h"

namespace vorl::sim {

std::unique_ptr<SimGroup> makeUsersGroup(SimCard& card, SimOptions& options);     // 0x05
std::unique_ptr<SimGroup> makeNetworkGroup(SimCard& card, SimOptions& options);   // 0x07, 0x08
std::unique_ptr<SimGroup> makeGeneralGroup(SimCard& card, SimOptions& options);   // 0x09, 0x0A
std::unique_ptr<SimGroup> makeFlashGroup(SimCard& card, SimOptions& options);     // 0x06
std::unique_ptr<SimGroup> makeEventLogGroup(SimCard& card, SimOptions& options);  // 0x04
std::unique_ptr<SimGroup> makeAdvancedGroup(SimCard& card, SimOptions& options);  // 0x01-0x03, 0x0C

}  // namespace vorl::sim
