#!/usr/bin/env bash
# Installs everything, then runs all tests against the installed module:
# the module and engine tests in one interpreter, and the byte-level tests
# against the probe library in a second one (the probe must be the
# conversion library of its own process).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test
.venv/bin/python -m pytest tests --ignore=tests/probe
.venv/bin/python -m pytest tests/probe
