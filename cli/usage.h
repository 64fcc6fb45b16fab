#pragma once
// The usage pages of vorlcli.
#include <string>

#include "cli/prompts.h"

namespace vorl::cli {

// The program's own file name: `programPath` without everything up to its last "\" or "/".
std::string programFileName(const char* programPath);

// Prints the six usage pages, pausing for one character between them. `detailed` adds the
// lines of the less common commands.
void printUsage(Console& console, const char* programPath, bool detailed);
void printUsage(const char* programPath, bool detailed);

}  // namespace vorl::cli
