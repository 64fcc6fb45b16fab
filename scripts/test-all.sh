#!/usr/bin/env bash
# Sets up a fresh machine and runs every test: native (with sanitizers), every fuzz target for
# 20 s, the Windows build under Wine, then the packages (the .deb in a scratch root, the
# installer under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh package
scripts/test-native.sh
scripts/fuzz.sh 20
scripts/test-windows.sh build/debug
scripts/test-packages.sh
