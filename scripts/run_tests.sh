#!/usr/bin/env bash
# Installs everything, then runs all tests against the installed module:
# the module and engine tests in one interpreter, and the byte-level tests
# against the probe library in a second one (the probe must be the
# conversion library of its own process). Then a compile check of the
# engine against a newer MuPDF's headers, the same engine and module tests
# against an AddressSanitizer build, a short fuzzing run and a short
# mutation round (engine/fuzz/mutate.py).
# FOLI_FUZZ_SECONDS (default 90) sets the length of the fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh test
# The extra checks need clang for the fuzz target.
scripts/install_debian_packages.sh scripts/debian-packages-checks.txt
.venv/bin/python -m pytest tests --ignore=tests/probe
.venv/bin/python -m pytest tests/probe
scripts/check_newer_mupdf.sh
PYTHON=.venv/bin/python scripts/run_asan_tests.sh
# A fixed seed keeps this check repeatable; fuzz with a random one by hand.
PYTHON=.venv/bin/python FOLI_FUZZ_SEED="${FOLI_FUZZ_SEED:-1}" engine/fuzz/run_fuzz.sh "${FOLI_FUZZ_SECONDS:-90}"
# A short fixed-seed mutation round over real PDFs against the installed
# module: 1,500 damaged inputs, one format each in turn, every conversion in
# a child with a time limit and a memory cap; fails on any crash, stall or
# broken output contract.
.venv/bin/python engine/fuzz/mutate.py --inputs "${FOLI_MUTATE_INPUTS:-1500}" --seed 1 --jobs 2 \
    --timeout 60 --formats-per-input 1 --work build/mutate
