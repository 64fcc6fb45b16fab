#!/usr/bin/env bash
# Sets up a fresh machine and runs every test: native (with sanitizers), every fuzz target for
# 20 s, then the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh windows
scripts/test-native.sh
scripts/fuzz.sh 20
scripts/test-windows.sh build/debug
