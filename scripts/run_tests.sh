#!/usr/bin/env bash
# Installs everything, then runs all tests against the installed module:
# the module and engine tests in one interpreter, and the byte-level tests
# against the probe library in a second one (the probe must be the
# conversion library of its own process). Then the same engine and module
# tests against an AddressSanitizer build, and a short fuzzing run.
# FOLI_FUZZ_SECONDS (default 90) sets the length of the fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."

# The packages of the extra checks, beyond what scripts/setup.sh installs.
install_check_packages() {
    mapfile -t packages < <(grep -v '^\s*#' scripts/debian-packages-checks.txt | grep -v '^\s*$')
    local missing=()
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing Debian packages (install them as root): ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

scripts/setup.sh test
install_check_packages
.venv/bin/python -m pytest tests --ignore=tests/probe
.venv/bin/python -m pytest tests/probe
PYTHON=.venv/bin/python scripts/run_asan_tests.sh
PYTHON=.venv/bin/python engine/fuzz/run_fuzz.sh "${FOLI_FUZZ_SECONDS:-90}"
