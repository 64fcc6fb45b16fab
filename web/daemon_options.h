#pragma once
// The command-line options every daemon on the web layer shares: the --web.* limits and the
// --log.* settings, so that each program parses only its own.
#include <string>
#include <string_view>

#include "web/limits.h"

namespace vorl::web {

// Applies `name` with `value` to `limits` or the log. False with the reason in `error` for a bad
// value or for an option that is neither ("unknown option NAME").
bool applyDaemonOption(std::string_view name, std::string_view value, Limits& limits,
                       std::string& error);

}  // namespace vorl::web
