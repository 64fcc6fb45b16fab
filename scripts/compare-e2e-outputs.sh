#!/usr/bin/env bash
# Runs the native end-to-end tests against two builds and compares every vorlcli run they make:
# the words, the input, the exit status and both output streams, byte for byte. Use it to show
# that a change which must not alter what users see leaves every scenario's output as it was.
#
#   scripts/compare-e2e-outputs.sh [--text-only] BEFORE_BUILD_DIR AFTER_BUILD_DIR
#
# --text-only leaves out the runs made with --json: a change that gives a group its documents
# changes those on purpose, while every console text must stay as it was.
#
# Each build directory needs cli/vorlcli and cardsim/vorlsim. Both runs use the tests of this
# checkout. Loopback addresses, temporary paths and the card clock's times differ from run to run
# and are masked before the comparison. Text runs alone are compared: --json runs are not
# recorded, and the --json twins the tests make of every run are switched off (VORL_JSON_TWINS=0).
# Exit status 0 when the two records match.
set -euo pipefail

text_only=0
if [ "${1:-}" = "--text-only" ]; then
    text_only=1
    shift
fi
if [ $# -ne 2 ]; then
    echo "usage: $0 [--text-only] BEFORE_BUILD_DIR AFTER_BUILD_DIR" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

record() {
    local build=$1 out=$2
    local tests=()
    for file in "$root"/tests/e2e/test_*.py; do
        local name
        name=$(basename "$file" .py)
        case "$name" in test_win_*) continue ;; esac
        tests+=("$name")
    done
    mkdir -p "$out"
    printf '%s\n' "${tests[@]}" | xargs -P 2 -I{} env \
        VORLCLI="$build/cli/vorlcli" VORLSIM="$build/cardsim/vorlsim" \
        VORL_E2E_RECORD="$out/{}.jsonl" VORL_JSON_TWINS=0 PYTHONDONTWRITEBYTECODE=1 \
        sh -c 'cd "$0" && python3 -m unittest -q {} >"$1/{}.log" 2>&1 || echo "FAILED: {} (see $1/{}.log)"' \
        "$root/tests/e2e" "$out"
}

normalise() {
    python3 - "$1" "$text_only" <<'EOF'
import json, pathlib, re, sys
mask = [(re.compile(r"127\.\d+\.\d+\.\d+"), "127.X.X.X"),
        (re.compile(r"/tmp/[^\s'\"]+"), "/tmp/X"),
        # the simulated card's clock runs with the host's: times of day differ run to run
        (re.compile(r"[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}"), "TIME")]
def clean(value):
    if isinstance(value, list):
        return [clean(v) for v in value]
    if isinstance(value, str):
        for pattern, text in mask:
            value = pattern.sub(text, value)
    return value
runs = {}
for path in sorted(pathlib.Path(sys.argv[1]).glob("*.jsonl")):
    for line in path.read_text().splitlines():
        entry = json.loads(line)
        if sys.argv[2] == "1" and "--json" in entry["args"]:
            continue
        runs.setdefault(entry["test"], []).append({k: clean(v) for k, v in entry.items()})
for test in sorted(runs):
    for n, entry in enumerate(runs[test]):
        print(json.dumps(entry, sort_keys=True))
EOF
}

echo "recording $1 ..."
record "$(cd "$1" && pwd)" "$work/before"
echo "recording $2 ..."
record "$(cd "$2" && pwd)" "$work/after"
normalise "$work/before" >"$work/before.txt"
normalise "$work/after" >"$work/after.txt"
echo "$(wc -l <"$work/before.txt") vorlcli runs before, $(wc -l <"$work/after.txt") after"
if diff -u "$work/before.txt" "$work/after.txt"; then
    echo "identical: every recorded run has the same words, input, exit status and output"
else
    echo "DIFFERENT" >&2
    exit 1
fi
