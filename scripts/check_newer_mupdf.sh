#!/usr/bin/env bash
# Compiles the engine's sources (syntax only) against the MuPDF headers of
# Debian 13's libmupdf-dev, so that interface changes in newer MuPDF
# releases show up here and not on a user's machine. The package is
# downloaded into build/, never installed. When Debian's archive cannot be
# reached the check is skipped with a notice; a compile error fails it.
set -euo pipefail
cd "$(dirname "$0")/.."

work="$(realpath -m build/newer-mupdf)"
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/sources"
cat > "$work/sources/trixie.sources" <<SOURCES
Types: deb
URIs: http://deb.debian.org/debian
Suites: trixie
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
apt_options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/sources"
             -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache" -o APT::Sandbox::User=root)

if ! (cd "$work" && apt-get "${apt_options[@]}" update -qq >/dev/null 2>&1 &&
      apt-get "${apt_options[@]}" download libmupdf-dev >/dev/null 2>&1); then
    echo "check_newer_mupdf: Debian 13's libmupdf-dev could not be downloaded; check skipped"
    exit 0
fi
rm -rf "$work/root"
dpkg-deb -x "$work"/libmupdf-dev_*.deb "$work/root"
include="$work/root/usr/include"
echo "check_newer_mupdf: $(grep -m1 'define FZ_VERSION ' "$include/mupdf/fitz/version.h")"

flags=(-fsyntax-only -Wall -Werror -I"$include" -Iengine -Iinclude -DFOLI_VERSION_TEXT='"check"')
# The same C dialect and pkg-config modules as the real build (the modules
# are read from the engine's CMake list, so a new dependency needs no edit).
modules=$(sed -n '/foli_require_pkg_config(FOLI_DEPS/,/)/p' engine/CMakeLists.txt | tail -n +2 | awk '{print $1}')
cflags=$(pkg-config --cflags $modules)
for source in engine/load/*.c; do
    gcc -std=gnu11 "${flags[@]}" $cflags "$source"
done
for source in engine/*/*.cpp engine/*/*/*.cpp; do
    g++ -std=c++17 "${flags[@]}" $cflags "$source"
done
echo "check_newer_mupdf: the engine compiles against these headers"
