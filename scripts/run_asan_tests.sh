#!/usr/bin/env bash
# Builds the module and the conversion library with AddressSanitizer and
# UBSan (gcc, RelWithDebInfo) and runs the engine and module tests against
# that build. The sanitizer runtimes are preloaded into the interpreter,
# which is not built with them itself.
#
# Usage: scripts/run_asan_tests.sh [pytest arguments ...]
# Environment: PYTHON (default .venv/bin/python, needs pybind11, pytest,
# pymupdf and the other test packages), FOLI_ASAN_BUILD_DIR (default
# build/asan), JOBS (default 2).
#
# Leaks: the interpreter never frees much of what it allocates, so leak
# checking is off here; the fuzz target (engine/fuzz) runs our code with
# leak checking on.
set -euo pipefail
cd "$(dirname "$0")/.."

python="${PYTHON:-.venv/bin/python}"
build="$(realpath -m "${FOLI_ASAN_BUILD_DIR:-build/asan}")"
jobs="${JOBS:-2}"
# cmake and ninja may come from the Python environment.
PATH="$(cd "$(dirname "$python")" && pwd):$PATH"

cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DFOLI_SANITIZE=ON \
    -DPython_EXECUTABLE="$("$python" -c 'import sys; print(sys.executable)')" \
    -Dpybind11_DIR="$("$python" -m pybind11 --cmakedir)" >/dev/null
cmake --build "$build" -j "$jobs"

asan="$(gcc -print-file-name=libasan.so)"
ubsan="$(gcc -print-file-name=libubsan.so)"
for runtime in "$asan" "$ubsan"; do
    [ -e "$runtime" ] || { echo "sanitizer runtime $runtime not found" >&2; exit 1; }
done

export PYTHONPATH="$build/python"
export LD_PRELOAD="$asan:$ubsan"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# Child interpreters started by the tests inherit the preload as well.
# Checks by outside software (LibreOffice, readers) say nothing about our
# memory safety and are slow under the preload: they run in the plain run.
"$python" -m pytest -q -p no:cacheprovider tests --ignore=tests/probe -m "not external" "$@"
