#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-14 (the whole library instrumented, with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs each target for an equal share of
# one total time, so that adding a target does not lengthen the run.
# Fails when a target finds a crash, a hang, a memory blow-up or a broken invariant.
#
#   scripts/run_fuzzers.sh [total seconds]     default 180, or VARNAK_FUZZ_SECONDS
#
# VARNAK_FUZZ_SEED fixes libFuzzer's random seed (default 0: a new one each run), so that a
# run's mutations can be repeated; CI fixes it.
#
# New inputs go to build/fuzz/work/<target>/corpus, never into the sources. A failing input
# is left in build/fuzz/work/<target>/artifacts/: copy it to tests/fuzz/regressions/<kind>/
# so that the ordinary test suite replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."

total_seconds=${1:-${VARNAK_FUZZ_SECONDS:-180}}
fuzz_seed=${VARNAK_FUZZ_SEED:-0}
# Absolute paths throughout: the varnak-tools targets run each input in a scratch folder
# that they make their working directory, so a relative corpus or artifact path would
# point into it.
root=$(pwd)
build_dir="$root/build/fuzz"
fuzz_sources="$root/tests/fuzz"

VARNAK_WITH_FUZZING=1 scripts/setup.sh
# Optimised (the fuzz build adds -O1 to what it instruments) but with assertions on (a Debug
# build, no NDEBUG), so that a broken assertion is a crash too. Warnings and errors of the
# configure are shown.
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build_dir" --log-level=WARNING \
  -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=Debug -DVARNAK_FUZZ=ON

# The targets, as tests/fuzz/CMakeLists.txt lists them, one a line: target, input kind (its
# corpus and regressions folders), dictionary, longest input in bytes.
mapfile -t targets <"$build_dir/tests/fuzz/fuzz_targets.txt"
(( ${#targets[@]} > 0 )) || { echo "the fuzz build lists no targets" >&2; exit 1; }
names=()
for entry in "${targets[@]}"; do
  names+=("${entry%% *}")
done
cmake --build "$build_dir" --parallel 2 --target "${names[@]}"
seconds=$(( total_seconds / ${#targets[@]} ))
(( seconds >= 1 )) || seconds=1

failed=()
for entry in "${targets[@]}"; do
  read -r target kind dictionary max_len <<<"$entry"
  work="$build_dir/work/$target"
  mkdir -p "$work/corpus" "$work/artifacts"
  rm -f "$work/artifacts/"*  # failures of an earlier run; this run's are the ones to show
  echo "== $target: ${seconds} s"
  status=0
  # The first corpus directory takes the new inputs; the seeds and the past failures are
  # read from the sources.
  "$build_dir/tests/fuzz/$target" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len="$max_len" \
    -seed="$fuzz_seed" \
    -dict="$fuzz_sources/$dictionary.dict" -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
    "$work/corpus" "$fuzz_sources/corpus/$kind" "$fuzz_sources/regressions/$kind" \
    >"$work/fuzz.log" 2>&1 || status=$?
  if [[ $status -ne 0 ]]; then
    tail -n 60 "$work/fuzz.log"
    echo "== $target FAILED (exit $status); inputs left in $work/artifacts/:"
    ls -l "$work/artifacts/"
    failed+=("$target")
  else
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/fuzz.log" || true
    echo "== $target: no failure"
  fi
done

if [[ ${#failed[@]} -ne 0 ]]; then
  echo "Fuzzing found failures in: ${failed[*]}"
  exit 1
fi
echo "Fuzzing found no failure."
