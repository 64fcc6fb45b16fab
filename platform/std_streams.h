#pragma once
// The standard streams of a console program.
#include <cstdio>

namespace vorl::platform {

// Moves standard output aside: returns a stream on the original standard output and points
// descriptor 1 (and so stdout) at standard error, so everything printed the usual way from then on
// goes to standard error. nullptr when the descriptors cannot be duplicated.
std::FILE* divertStandardOutput();

}  // namespace vorl::platform
