#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and runs
# every fuzz target for SECONDS each (default 20), starting from its seeds in tests/fuzz/corpus.
# Each target's executions per second and coverage (libFuzzer's "cov:", edges reached) are
# printed. Any crash, leak, sanitizer report or time-out fails the run; the input that caused it
# is kept as build/fuzz/artifacts/<target>-crash-... (add it to the target's seeds once mended).
# A target whose coverage ends below its floor in tests/fuzz/coverage_floors.txt fails too (it no
# longer reaches the code it names), as does a target without a floor and a floor without a
# target. Every target runs and is reported before the run fails.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
root=$PWD
floors=tests/fuzz/coverage_floors.txt
[ -f "$floors" ] || { echo "fuzz: $floors is missing"; exit 1; }

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p build/fuzz/artifacts
passed=0
failed=0
ran=" "
for target in build/fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  ran+="$name "
  work=$scratch/$name
  # New inputs go to a scratch corpus, the seeds are only read; the commands of the targets that
  # create local files (vorlcli's words and scripts) do so in a scratch directory. What the
  # code under test prints is dropped (-close_fd_mask); libFuzzer's own report is kept.
  mkdir -p "$work/corpus" "$work/files"
  seeds=()
  [ -d "tests/fuzz/corpus/$name" ] && seeds=("$root/tests/fuzz/corpus/$name")
  status=0
  (cd "$work/files" && TMPDIR="$work/files" "$root/$target" -max_total_time="$seconds" \
      -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 -close_fd_mask=3 \
      -artifact_prefix="$root/build/fuzz/artifacts/$name-" \
      "$work/corpus" "${seeds[@]}" </dev/null >"$work/log" 2>&1) || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
  coverage=$(grep -o 'cov: [0-9]*' "$work/log" | tail -n 1 | cut -d' ' -f2 || true)
  floor=$(awk -v name="$name" '$1 == name { print $2 }' "$floors")
  figures="${runs:-?} runs, ${speed:-?} exec/s, coverage ${coverage:-?} edges (floor ${floor:-none})"
  if [ "$status" -ne 0 ]; then
    echo "fuzz: $name FAILED: $figures; the end of its log:"
    tail -n 60 "$work/log"
    failed=$((failed + 1))
  elif ! [[ "$floor" =~ ^[0-9]+$ ]]; then
    echo "fuzz: $name FAILED: $figures; it needs one coverage floor: add the line" \
      "\"$name N\" to $floors, N a little under the coverage above (see that file)"
    failed=$((failed + 1))
  elif [ -z "$coverage" ] || [ "$coverage" -lt "$floor" ]; then
    echo "fuzz: $name FAILED: $figures; below its floor, it no longer reaches the code it names"
    failed=$((failed + 1))
  else
    echo "fuzz: $name: $figures, nothing found"
    passed=$((passed + 1))
  fi
done
# A floor whose target was not built checks nothing: the target was renamed or dropped.
while read -r name _; do
  [[ -z "$name" || "$name" == \#* ]] && continue
  if [[ "$ran" != *" $name "* ]]; then
    echo "fuzz: $floors names $name, which is not a fuzz target: mend or drop the line"
    failed=$((failed + 1))
  fi
done <"$floors"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
