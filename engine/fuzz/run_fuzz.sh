#!/usr/bin/env bash
# Builds the fuzz target with clang (FOLI_FUZZ=ON), replays every regression
# input, then fuzzes for a while from the seed corpus on one core. Fails on
# any crash, sanitizer report, leak, time-out or broken output contract;
# what made it fail is left in the work folder as crash-*, leak-*,
# timeout-* or oom-*.
#
# Usage: engine/fuzz/run_fuzz.sh [seconds]          (default 120)
# Environment: PYTHON (default .venv/bin/python, writes the seed corpus),
# FOLI_FUZZ_SEED (a fixed seed makes the run repeatable: the same inputs in
# the same order, cut short only by the time limit; default random),
# FOLI_FUZZ_BUILD_DIR (default build/fuzz), FOLI_FUZZ_WORK_DIR (default
# <build>/work: the growing corpus and the artifacts), JOBS (default 2).
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds="${1:-120}"
python="${PYTHON:-.venv/bin/python}"
build="${FOLI_FUZZ_BUILD_DIR:-build/fuzz}"
work="${FOLI_FUZZ_WORK_DIR:-$build/work}"
jobs="${JOBS:-2}"
# cmake and ninja may come from the Python environment.
PATH="$(cd "$(dirname "$python")" && pwd):$PATH"

cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DFOLI_FUZZ=ON >/dev/null
cmake --build "$build" -j "$jobs" --target foli_conversion_fuzzer
fuzzer="$build/engine/fuzz/foli_conversion_fuzzer"

mkdir -p "$work/corpus" "$work/artifacts"
"$python" engine/fuzz/make_corpus.py "$work/corpus"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
common=(-timeout=30 -rss_limit_mb=2560 -max_len=32768 -dict=engine/fuzz/pdf.dict "-artifact_prefix=$work/artifacts/")

echo "replaying the regression inputs"
mapfile -t regressions < <(find engine/fuzz/regressions -type f ! -name '.*' | sort)
if [ ${#regressions[@]} -gt 0 ]; then
    "$fuzzer" "${common[@]}" "${regressions[@]}"
fi

seed=()
[ -n "${FOLI_FUZZ_SEED:-}" ] && seed=(-seed="$FOLI_FUZZ_SEED")
echo "fuzzing for $seconds s"
"$fuzzer" "${common[@]}" "${seed[@]}" -max_total_time="$seconds" -print_final_stats=1 "$work/corpus"
