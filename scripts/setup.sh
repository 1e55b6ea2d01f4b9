#!/usr/bin/env bash
# Installs everything FoliantConversion needs on a Debian machine: the
# Debian packages (when run as root), a Python 3.13 virtual environment in
# .venv, and the module itself built from this checkout as a wheel.
# Usage: scripts/setup.sh [extra ...]   e.g. scripts/setup.sh test
set -euo pipefail
cd "$(dirname "$0")/.."

extras="${1:-}"

find_python313() {
    local candidate
    for candidate in python3.13 /root/.pyenv/versions/3.13*/bin/python3.13 /usr/local/bin/python3.13 \
                     /usr/bin/python3.13 "$HOME"/.pyenv/versions/3.13*/bin/python3.13; do
        if command -v "$candidate" >/dev/null 2>&1 &&
           "$candidate" -c 'import sys; sys.exit(sys.version_info[:2] != (3, 13))' 2>/dev/null; then
            command -v "$candidate"
            return
        fi
    done
    echo "Python 3.13 not found" >&2
    exit 1
}

scripts/install_debian_packages.sh scripts/debian-packages.txt

if [ ! -x .venv/bin/python ] || ! .venv/bin/python -c 'import sys; sys.exit(sys.version_info[:2] != (3, 13))'; then
    rm -rf .venv
    "$(find_python313)" -m venv .venv
fi
.venv/bin/python -m pip install -q --upgrade pip
.venv/bin/python -m pip install -q "pybind11==3.1.0" "scikit-build-core>=0.10" "cmake>=3.20" ninja
# The wheel is built once into build/wheelhouse, installed from there, and
# kept: the packaging tests inspect it and install it into a fresh
# environment of their own.
rm -rf build/wheelhouse
.venv/bin/python -m pip wheel -q --no-build-isolation --no-deps -w build/wheelhouse .
wheel="$(ls build/wheelhouse/*.whl)"
.venv/bin/python -m pip install -q --no-deps --force-reinstall "$wheel"
if [ -n "$extras" ]; then
    .venv/bin/python -m pip install -q "$wheel[$extras]"
fi
