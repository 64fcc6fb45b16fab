#!/usr/bin/env bash
# Builds the native debug preset (AddressSanitizer + UndefinedBehaviorSanitizer) and runs every
# unit and end-to-end test.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset debug >/dev/null
cmake --build --preset debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset debug -j2
