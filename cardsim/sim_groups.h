#pragma once
// The groups of the simulated card, one factory per file. A factory returns nullptr while its
// group is not built yet; the card then answers that group's commands with status 32.
//
// Each group file keeps its own table of command codes and record layouts on purpose, written
// from the card's side rather than taken from protocol/: an independent peer catches a wrong
// shared constant that a simulator built on the same table would agree with. Status codes are
// one exception (wire/status_codes.h): they name outcomes, not a layout to cross-check. The
// vendor SCSI opcodes of the device link are the other (wire/vendor_commands.h): they describe
// the drive, not the card's commands.
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
