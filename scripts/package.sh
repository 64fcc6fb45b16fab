#!/usr/bin/env bash
# Builds every package into build/packages/:
#   vorl_<version>_amd64.deb and vorl-<version>-linux-x86_64.tar.gz   vorlcli, vorlpulse, vorlsim for Linux
#   vorl-<version>-x64.msi                                            the Windows installer
# Installs what it needs with apt-get (scripts/install-deps.sh package).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh package

out=$PWD/build/packages
rm -rf "$out"
mkdir -p "$out"

cmake --preset package >/dev/null
# The packages hold vorlcli, vorlpulse, vorlsim, vorl_exporter and vorl_redfish; nothing else
# needs building for them.
cmake --build --preset package --target vorlcli vorlpulse vorlsim vorl_exporter vorl_redfish
rm -rf build/package/cpack
(cd build/package && cpack -B "$PWD/cpack" >/dev/null)
cp build/package/cpack/*.deb build/package/cpack/*.tar.gz "$out/"

cmake --preset windows >/dev/null
cmake --build --preset windows --target vorlcli vorlsim vorlpanel vorlpoint vorlpulse
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
packaging/windows/build-msi.sh build/windows "$version" "$out/vorl-$version-x64.msi" >/dev/null

ls -1 "$out"/*.deb "$out"/*.tar.gz "$out"/*.msi
