#include "web/daemon_options.h"

#include "web/log.h"

namespace vorl::web {

bool applyDaemonOption(std::string_view name, std::string_view value, Limits& limits,
                       std::string& error) {
    const LimitOption limit = applyLimitOption(name, value, limits, error);
    if (limit != LimitOption::NotMine) return limit == LimitOption::Applied;
    const log::Option logOption = log::applyOption(name, value, error);
    if (logOption == log::Option::NotMine) error = "unknown option " + std::string(name);
    return logOption == log::Option::Applied;
}

}  // namespace vorl::web
