#include "cli/group_handlers.h"

namespace vorl::cli {

// Not built yet: the dispatcher treats the words as invalid.
int runModemCfg(CardSession&, const Words&) { return -1; }
int runPppCfg(CardSession&, const Words&) { return -1; }
int runAsrCfg(CardSession&, const Words&) { return -1; }
int runSetServerInfo(CardSession&, const Words&) { return -1; }
int runGetServerInfo(CardSession&, const Words&) { return -1; }
int runGetCardHealth(CardSession&, const Words&) { return -1; }
int runGetI2cCfg(CardSession&, const Words&) { return -1; }
int runSetI2cCfg(CardSession&, const Words&) { return -1; }
int runGetIpmiCfg(CardSession&, const Words&) { return -1; }
int runSetIpmiCfg(CardSession&, const Words&) { return -1; }
int runHostCtrl(CardSession&, const Words&) { return -1; }

}  // namespace vorl::cli
