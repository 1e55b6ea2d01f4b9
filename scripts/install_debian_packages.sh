#!/usr/bin/env bash
# Installs the Debian packages named in the given lists (one per line, #
# comments allowed) that are not installed yet. Needs root only when
# something is missing.
# Usage: scripts/install_debian_packages.sh LIST [LIST ...]
set -euo pipefail

mapfile -t packages < <(cat "$@" | grep -v '^\s*#' | grep -v '^\s*$')
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
    echo "missing Debian packages (install them as root): ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get -o DPkg::Lock::Timeout=600 update -qq
apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
