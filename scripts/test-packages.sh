#!/usr/bin/env bash
# Builds every package (scripts/package.sh) and checks it: the .deb installs into a scratch root,
# its vorlcli talks to its vorlsim and its manual pages render without warnings; the .msi
# installs under Wine, runs, installs again, repairs, upgrades and uninstalls cleanly.
# Works without a terminal; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/package.sh
export VORL_PACKAGES=$PWD/build/packages VORL_WINDOWS_BIN=$PWD/build/windows
cd tests/packages
python3 -m unittest -v test_deb test_msi
