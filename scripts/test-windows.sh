#!/usr/bin/env bash
# Cross-builds the Windows preset (MinGW-w64, static .exe files) and runs its tests under Wine:
# the unit test program and the test_win_*.py end-to-end tests, which drive vorlcli.exe against
# a native vorlsim.
#   scripts/test-windows.sh [NATIVE_BUILD_DIR]   (default build/debug; its vorlsim serves the tests)
# Works without a terminal; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

native_dir=${1:-build/debug}
if [ ! -f "$native_dir/CMakeCache.txt" ]; then
  echo "test-windows.sh: $native_dir is not a configured native build (see scripts/test-native.sh)" >&2
  exit 2
fi
native_dir=$(cd "$native_dir" && pwd)
# Brings the native card simulator up to date (nothing to do when it is built already).
cmake --build "$native_dir" --target vorlsim

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
build_dir=$PWD/build/windows
export WINEPREFIX=$build_dir/wineprefix
export WINEDEBUG=-all
# No Mono or Gecko install prompts: nothing here needs them, and CI has no one to answer.
export WINEDLLOVERRIDES="mscoree,mshtml="

started=$(date +%s)
cmake --preset windows -DVORL_NATIVE_BUILD="$native_dir" >/dev/null
cmake --build --preset windows
built=$(date +%s)

stop_wineserver() { "$wineserver" -k 2>/dev/null || true; }
trap stop_wineserver EXIT

mkdir -p "$build_dir"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  "$wine" wineboot -i </dev/null >/dev/null 2>&1
  "$wineserver" -w
fi
# One wineserver for the whole run: each Wine start then takes milliseconds, not a second.
"$wineserver" -p
# The first Wine program starts Wine's background services, which live as long as the
# wineserver and keep that program's standard streams open. Start them here, detached, so they
# never hold a test's output pipe.
"$wine" cmd /c exit </dev/null >/dev/null 2>&1

ctest --preset windows -j2
tested=$(date +%s)
echo "Windows build: $((built - started)) s, tests under Wine: $((tested - built)) s"
