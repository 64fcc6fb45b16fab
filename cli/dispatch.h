#pragma once
// The first-level dispatcher of vorlcli: word 1 names the command group.
#include <string>

#include "cli/group_handlers.h"

namespace vorl::cli {

// Runs the command in `words` (word 0 the leading word, word 1 the group keyword, words 2 onward
// the group's arguments). Returns the handler's result, or -1 when no group matches.
int dispatchCommand(CardSession& session, const Words& words);

}  // namespace vorl::cli
