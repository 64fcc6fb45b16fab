#include "config/program.h"

int main() {
    return vorl::panel::runProgram();
}
