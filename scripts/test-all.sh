#!/usr/bin/env bash
# Sets up a fresh machine and runs every test: native (with sanitizers), then the Windows build
# under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh windows
scripts/test-native.sh
scripts/test-windows.sh build/debug
