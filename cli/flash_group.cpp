#include "cli/group_handlers.h"

namespace vorl::cli {

// Not built yet: the dispatcher treats the words as invalid.
int runFlashGroup(CardSession&, const Words&) { return -1; }

}  // namespace vorl::cli
