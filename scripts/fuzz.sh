#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and runs
# every fuzz target for SECONDS each (default 20), starting from its seeds in tests/fuzz/corpus.
# Any crash, leak, sanitizer report or time-out fails the run; the input that caused it is kept
# as build/fuzz/artifacts/<target>-crash-... (add it to the target's seeds once mended).
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
root=$PWD

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p build/fuzz/artifacts
passed=0
failed=0
for target in build/fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  work=$scratch/$name
  # New inputs go to a scratch corpus, the seeds are only read; the commands of the targets that
  # create local files (vorlcli's words and scripts) do so in a scratch directory. What the
  # code under test prints is dropped (-close_fd_mask); libFuzzer's own report is kept.
  mkdir -p "$work/corpus" "$work/files"
  seeds=()
  [ -d "tests/fuzz/corpus/$name" ] && seeds=("$root/tests/fuzz/corpus/$name")
  if (cd "$work/files" && TMPDIR="$work/files" "$root/$target" -max_total_time="$seconds" \
        -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 -close_fd_mask=3 \
        -artifact_prefix="$root/build/fuzz/artifacts/$name-" \
        "$work/corpus" "${seeds[@]}" </dev/null >"$work/log" 2>&1); then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    echo "fuzz: $name: ${runs:-?} runs, nothing found"
    passed=$((passed + 1))
  else
    echo "fuzz: $name FAILED; the end of its log:"
    tail -n 60 "$work/log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
