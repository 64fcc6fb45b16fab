#pragma once
// The first-level dispatcher of vorlcli: word 1 names the command group.
#include <string>

#include "cli/group_handlers.h"

namespace vorl::cli {

// Runs the command in `words` (word 0 the leading word, word 1 the group keyword, words 2 onward
// the group's arguments). Returns the handler's result, or -1 when no group matches.
// Results of groups that report data go to `report`; the overload without one prints them as text.
int dispatchCommand(CardSession& session, const Words& words, Report& report);
int dispatchCommand(CardSession& session, const Words& words);

}  // namespace vorl::cli
