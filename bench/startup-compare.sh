#!/usr/bin/env bash
# Sets the whole-process cost of vorlcli against a minimal client making the same exchanges
# (bench/startup_client.c): `-user -listAllUser` against a local vorlsim, in text and in JSON mode,
# the password piped to both. Runs the three in turn, RUNS rounds, and reports each one's median
# wall time per run and its ratio to the minimal client; asserts nothing.
#   bench/startup-compare.sh [BUILD_DIR] [RUNS]     (default build/release, 300 runs)
# Run it on a quiet machine; figures from a loaded one mean little.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
runs=${2:-300}
work=$(mktemp -d)
sim_pid=""
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT

cc -O2 -o "$work/startup_client" "$root/bench/startup_client.c" -lcrypto
address=127.66.$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))
"$build/cardsim/vorlsim" --listen "$address" --state-dir "$work/state" >/dev/null 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/$address/6577") 2>/dev/null && break
    sleep 0.1
done

# Appends the microseconds of one run of "$@" (the password piped in, output discarded) to $1.
time_run() {
    local log=$1 start end
    shift
    start=$(date +%s%N)
    printf 'vorladmin\n' | "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    echo $(( (end - start) / 1000 )) >>"$log"
}
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for _ in $(seq "$runs"); do
    time_run "$work/minimal" "$work/startup_client" "$address" admin
    time_run "$work/text" "$build/cli/vorlcli" -nw "$address" admin -user -listAllUser
    time_run "$work/json" "$build/cli/vorlcli" --json -nw "$address" admin -user -listAllUser
done
minimal=$(median "$work/minimal")
text=$(median "$work/text")
json=$(median "$work/json")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf '%-34s %8s us\n' "minimal client" "$minimal"
printf '%-34s %8s us  %sx\n' "vorlcli -user -listAllUser" "$text" "$(ratio "$text" "$minimal")"
printf '%-34s %8s us  %sx\n' "vorlcli --json -user -listAllUser" "$json" "$(ratio "$json" "$minimal")"
