"""A build that misses a library stops with a message that says what to
install: the Debian package and the script that installs them all. The
checks configure small CMake projects over cmake/FoliDependencies.cmake,
the file the engine finds its libraries with."""

from __future__ import annotations

import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from reference_tools import REPOSITORY, tool_env

# CMake and the compiler say nothing about the module's memory safety: the
# sanitizer run leaves these out.
pytestmark = pytest.mark.external

HINT = "scripts/install_debian_packages.sh scripts/debian-packages.txt"


def cmake() -> str:
    found = shutil.which("cmake", path=str(Path(sys.executable).parent)) or shutil.which("cmake")
    if found is None:
        pytest.skip("cmake is not installed")
    return found


def configure(folder: Path, body: str, language: str = "NONE") -> subprocess.CompletedProcess[str]:
    source = folder / "source"
    source.mkdir()
    (source / "CMakeLists.txt").write_text(
        f"cmake_minimum_required(VERSION 3.20)\nproject(Probe {language})\n"
        f'include("{REPOSITORY}/cmake/FoliDependencies.cmake")\n{body}\n'
    )
    return subprocess.run([cmake(), "-S", str(source), "-B", str(folder / "build")], capture_output=True,
                          text=True, timeout=300, env=tool_env())


@pytest.mark.parametrize(
    ("body", "message"),
    [
        ("foli_require_library(NO_LIBRARY libfoli-nothing-dev foli_no_such_library)",
         "The library foli_no_such_library was not found: it comes with the Debian package libfoli-nothing-dev."),
        ("foli_require_pkg_config(DEPS zlib zlib1g-dev foli-no-such-module libfoli-nothing-dev)",
         "The library foli-no-such-module (pkg-config) was not found: it comes with the Debian package "
         "libfoli-nothing-dev."),
        ("foli_require_header(NO_HEADER libfoli-nothing-dev foli/no_such_header.h)",
         "The header foli/no_such_header.h was not found: it comes with the Debian package libfoli-nothing-dev."),
    ],
    ids=["library", "pkg-config", "header"],
)
def test_a_missing_library_names_its_package_and_the_script(tmp_path: Path, body: str, message: str) -> None:
    done = configure(tmp_path, body)
    assert done.returncode != 0
    text = " ".join(done.stderr.split())  # CMake indents and breaks its messages
    assert message in text, done.stderr
    assert HINT in text, done.stderr


def test_libraries_that_are_there_pass(tmp_path: Path) -> None:
    done = configure(tmp_path, "foli_require_pkg_config(DEPS zlib zlib1g-dev libpng libpng-dev)\n"
                               "foli_require_library(Z_LIBRARY zlib1g-dev z)\n"
                               "foli_require_header(Z_HEADER zlib1g-dev zlib.h)\n"
                               "if(NOT TARGET PkgConfig::DEPS)\n  message(FATAL_ERROR no-target)\nendif()", "C")
    assert done.returncode == 0, done.stderr


def named_packages(cmake_text: str) -> set[str]:
    """The Debian packages the foli_require_* calls of a CMake file name."""
    packages: set[str] = set()
    for kind, body in re.findall(r"foli_require_(pkg_config|library|header)\(([^)]*)\)", cmake_text):
        words = body.split()
        if kind == "pkg_config":
            packages.update(words[2::2])  # PREFIX MODULE PACKAGE MODULE PACKAGE ...
        else:
            packages.add(words[1])  # VARIABLE PACKAGE NAME...
    return packages


def test_the_engine_names_packages_that_the_scripts_install() -> None:
    listed = {line.strip() for line in (REPOSITORY / "scripts" / "debian-packages.txt").read_text().splitlines()
              if line.strip() and not line.lstrip().startswith("#")}
    named = named_packages((REPOSITORY / "engine" / "CMakeLists.txt").read_text())
    assert "libmupdf-dev" in named
    assert named <= listed, named - listed
