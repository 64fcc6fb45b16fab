#!/usr/bin/env bash
# Sets the whole-process cost of vorlcli against a minimal client making the same exchanges
# (bench/startup_client.c): `-user -listAllUser` against a local vorlsim, in text and in JSON mode,
# the password piped to both. Reports the mean wall time per run and the ratio; asserts nothing.
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

# Mean milliseconds per run of the command line "$@", the password piped in, output discarded.
mean_ms() {
    local start end
    start=$(date +%s%N)
    for _ in $(seq "$runs"); do
        printf 'vorladmin\n' | "$@" >/dev/null 2>&1 || true
    done
    end=$(date +%s%N)
    echo $(( (end - start) / runs / 1000 ))
}

minimal=$(mean_ms "$work/startup_client" "$address" admin)
text=$(mean_ms "$build/cli/vorlcli" -nw "$address" admin -user -listAllUser)
json=$(mean_ms "$build/cli/vorlcli" --json -nw "$address" admin -user -listAllUser)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf '%-34s %8s us\n' "minimal client" "$minimal"
printf '%-34s %8s us  %sx\n' "vorlcli -user -listAllUser" "$text" "$(ratio "$text" "$minimal")"
printf '%-34s %8s us  %sx\n' "vorlcli --json -user -listAllUser" "$json" "$(ratio "$json" "$minimal")"
