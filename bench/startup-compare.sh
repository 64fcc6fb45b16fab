#!/usr/bin/env bash
# Sets the whole-process cost of vorlcli against a minimal client making the same exchanges
# (bench/startup_client.c), in text and in JSON mode, the password piped to each, against a local
# vorlsim: `-user -listAllUser`, and `-flash -upload` of a 64-block image (vorlsim's default
# image). Runs the six in turn, RUNS rounds, and reports each one's median wall time per run and
# its ratio to the minimal client of its pair; asserts nothing.
#   bench/startup-compare.sh [BUILD_DIR] [RUNS]     (default build/release, 300 runs)
# Run it on a quiet machine; figures from a loaded one mean little.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
runs=${2:-300}
work=$(mktemp -d)
sim_pid=""
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT

cc -O2 -o "$work/startup_client" "$root/bench/startup_client.c" -lcrypto -lz
"$build/cardsim/vorlsim" --write-image="$work/image.ima" >/dev/null
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
    time_run "$work/minimal-upload" "$work/startup_client" "$address" admin "$work/image.ima"
    time_run "$work/text-upload" "$build/cli/vorlcli" -nw "$address" admin -flash -upload \
        "$work/image.ima"
    time_run "$work/json-upload" "$build/cli/vorlcli" --json -nw "$address" admin -flash -upload \
        "$work/image.ima"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# Prints the medians of one pair: the minimal client, then vorlcli in text and JSON mode.
report() {
    local suffix=$1 words=$2 minimal text json
    minimal=$(median "$work/minimal$suffix")
    text=$(median "$work/text$suffix")
    json=$(median "$work/json$suffix")
    printf '%-40s %8s us\n' "minimal client ($words)" "$minimal"
    printf '%-40s %8s us  %sx\n' "vorlcli $words" "$text" "$(ratio "$text" "$minimal")"
    printf '%-40s %8s us  %sx\n' "vorlcli --json $words" "$json" "$(ratio "$json" "$minimal")"
}
report "" "-user -listAllUser"
report "-upload" "-flash -upload"
