#pragma once
// vorlcli from its command line to its exit status.

namespace vorl::cli {

// Runs vorlcli with the program's arguments; returns the exit status.
int runProgram(int argc, char** argv);

}  // namespace vorl::cli
