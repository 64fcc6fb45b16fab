#!/usr/bin/env bash
# The main job against the built-in simulated card: builds the release preset, starts vorlsim on
# 127.0.0.1, runs a few vorlcli commands over the network and through the simulated host
# interface, and stops the card again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target vorlcli vorlsim

bin=build/release
state=$(mktemp -d)
"$bin/cardsim/vorlsim" --listen 127.0.0.1 --port 6577 --state-dir "$state" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$state"' EXIT
for _ in $(seq 100); do
  (exec 3<>/dev/tcp/127.0.0.1/6577) 2>/dev/null && break
  sleep 0.05
done

run() {
  echo
  echo "\$ $*"
  "$@" || echo "(exit status $?)"
}
# The password is read from standard input when it is not a terminal.
run sh -c "printf 'vorladmin\n' | $bin/cli/vorlcli -nw 127.0.0.1 admin -user -listall"
run sh -c "printf 'vorladmin\n' | $bin/cli/vorlcli -nw 127.0.0.1 admin -user -add operator Operator1"
run sh -c "printf 'vorladmin\n' | $bin/cli/vorlcli -nw 127.0.0.1 admin -user -listAllUser"
run sh -c "printf 'vorladmin\n' | $bin/cli/vorlcli -nw 127.0.0.1 admin -net -getconfig"
run env VORL_HOSTIFC=sim:127.0.0.1:6578 "$bin/cli/vorlcli" -cd -user -listall
