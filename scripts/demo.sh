#!/usr/bin/env bash
# The main job against the built-in simulated card: builds the release preset, starts vorlsim on
# 127.0.0.1 (card port 6577, device link 6578), runs a few vorlcli commands over the network and
# through the simulated host interface, and stops the card again.
#   scripts/demo.sh              installs what it needs and builds the release preset first
#   scripts/demo.sh BUILD_DIR    uses the vorlsim and vorlcli already built in BUILD_DIR
# When vorlsim cannot start (another program holds one of its ports), it says which port and
# exits non-zero: the commands would otherwise talk to whatever listens there.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
  bin=$1
else
  scripts/install-deps.sh
  cmake --preset release >/dev/null
  cmake --build --preset release --target vorlcli vorlsim
  bin=build/release
fi

state=$(mktemp -d)
# The device link's port is asked for explicitly: vorlsim then refuses to start without it.
"$bin/cardsim/vorlsim" --listen 127.0.0.1 --port 6577 --devlink-port=6578 --state-dir "$state" \
  >"$state/out" 2>"$state/err" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$state"' EXIT

# vorlsim says "listening on" once both ports are its own, or ends.
for _ in $(seq 200); do
  grep -q "listening on" "$state/out" && break
  kill -0 $sim 2>/dev/null || break
  sleep 0.05
done
if ! grep -q "listening on" "$state/out"; then
  cat "$state/err" >&2
  port=""
  if grep -q "device link cannot listen" "$state/err"; then
    port=6578
  elif grep -q "cannot listen" "$state/err"; then
    port=6577
  fi
  if [ -n "$port" ]; then
    echo "demo.sh: port $port on 127.0.0.1 is taken by another program; stop it and run the demo again" >&2
  else
    echo "demo.sh: vorlsim did not start" >&2
  fi
  exit 1
fi
cat "$state/out"

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
