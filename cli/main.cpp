#include "cli/program.h"

int main(int argc, char** argv) {
    return vorl::cli::runProgram(argc, argv);
}
