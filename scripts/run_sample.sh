#!/usr/bin/env bash
# The main job: installs everything, then converts the bundled sample PDF
# into every format this build writes, into ./out.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# Run from outside the checkout so the installed module is the one imported.
cd samples && ../.venv/bin/python convert_sample.py sample.pdf ../out
