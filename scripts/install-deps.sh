#!/usr/bin/env bash
# Installs what building and testing the suite needs, skipping what is already there.
#   scripts/install-deps.sh          native build, tests, fuzzers and demo
#   scripts/install-deps.sh windows  also the MinGW-w64 cross compiler, Wine, and Xvfb, xdotool
#                                    and imagemagick for the windowed programs' tests
#   scripts/install-deps.sh package  also what builds and checks the packages (wixl, dpkg-dev, man)
set -euo pipefail

packages=(cmake ninja-build g++ python3 libssl-dev zlib1g-dev libgtest-dev libgmock-dev
          googletest libbenchmark-dev clang libclang-rt-14-dev libfuzzer-14-dev llvm
          # vorlcli --json, the exporter and its web layer (Boost.Beast and Asio), the Linux
          # heartbeat service and their tests
          nlohmann-json3-dev prometheus-cpp-dev libboost1.81-dev libyaml-cpp-dev libsystemd-dev
          python3-jsonschema python3-yaml python3-pytest jq curl openssl apache2-utils prometheus
          # strace: the exporter's test sees where its connect goes
          strace
          # the Ansible collection and its checks
          ansible-core yamllint
          # vorl_redfish's tests: the Redfish clients administrators use
          redfishtool python3-sushy python3-requests ansible)
if [ "${1:-}" = windows ] || [ "${1:-}" = package ]; then
  # Xvfb, xdotool and ImageMagick: the window programs run on a virtual display, are driven
  # there and photographed.
  packages+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 xvfb xdotool imagemagick)
fi
if [ "${1:-}" = package ]; then
  packages+=(wixl msitools dpkg-dev groff-base man-db)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
  "${missing[@]}" >/dev/null
