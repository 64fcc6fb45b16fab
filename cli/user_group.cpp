#include "cli/group_handlers.h"

namespace vorl::cli {

int runUserGroup(CardSession&, const Words&) { return -1; }

}  // namespace vorl::cli
