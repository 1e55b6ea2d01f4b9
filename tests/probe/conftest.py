"""Binds FoliantConversion to the probe library in this interpreter.

The probe must be the only libfoliconversionsdk.so this process ever loads,
so these tests run in an interpreter of their own:

    python -m pytest tests/probe

(`python -m pytest tests` leaves this folder out; see tests/conftest.py.)

On import this file
1. builds the probe with CMake (tests/probe/CMakeLists.txt) into
   build/probe-lib, or into $FOLI_PROBE_BUILD_DIR;
2. finds the module file FoliantConversion.*.so on the normal import path
   without importing it, and copies it into a fresh folder next to a copy of
   the probe, so that the module's $ORIGIN search path leads to the probe;
3. loads the probe with ctypes, puts the folder first on sys.path and only
   then imports FoliantConversion, checking that it bound the probe.
"""

from __future__ import annotations

import fcntl
import importlib
import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile
from collections.abc import Iterator
from pathlib import Path

import pytest

from probe_control import GET_VERSION, Probe

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
LIBRARY_NAME = "libfoliconversionsdk.so"


def _tool(name: str) -> str:
    """A build tool from this interpreter's environment, else from PATH."""
    beside = Path(sys.executable).parent / name
    if beside.exists():
        return str(beside)
    found = shutil.which(name)
    if found is None:
        raise RuntimeError(f"{name} is needed to build the probe library")
    return found


def _run(command: list[str]) -> None:
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} failed:\n{done.stdout}\n{done.stderr}")


def build_probe() -> Path:
    build_dir = Path(os.environ.get("FOLI_PROBE_BUILD_DIR", REPO / "build" / "probe-lib"))
    build_dir.mkdir(parents=True, exist_ok=True)
    cmake = _tool("cmake")
    # Two test processes may build at once; the lock serialises them.
    with open(build_dir / ".probe-build.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not (build_dir / "CMakeCache.txt").exists():
            configure = [cmake, "-S", str(HERE), "-B", str(build_dir)]
            ninja = shutil.which("ninja") or str(Path(sys.executable).parent / "ninja")
            if Path(ninja).exists():
                configure += ["-G", "Ninja", f"-DCMAKE_MAKE_PROGRAM={ninja}"]
            _run(configure)
        _run([cmake, "--build", str(build_dir)])
    return build_dir / LIBRARY_NAME


def find_module_file() -> Path:
    if "FoliantConversion" in sys.modules:
        raise RuntimeError("FoliantConversion was imported before the probe was in place; "
                           "run the probe tests in their own process: python -m pytest tests/probe")
    found = importlib.util.find_spec("FoliantConversion")
    if found is None or found.origin is None:
        raise RuntimeError("FoliantConversion is not importable: install it or set PYTHONPATH")
    return Path(found.origin)


def mapped_sdk_libraries() -> set[str]:
    with open("/proc/self/maps") as maps:
        return {line.split()[-1] for line in maps if line.rstrip().endswith("/" + LIBRARY_NAME)}


def bind_module_to_probe(stage: Path) -> Probe:
    module_file = find_module_file()
    probe_file = build_probe()
    shutil.copy2(module_file, stage / module_file.name)
    shutil.copy2(probe_file, stage / LIBRARY_NAME)
    probe = Probe(stage / LIBRARY_NAME)
    sys.path.insert(0, str(stage))
    importlib.invalidate_caches()
    module = importlib.import_module("FoliantConversion")

    if Path(module.__file__ or "").parent != stage:
        raise RuntimeError(f"imported {module.__file__} instead of the staged module copy")
    if mapped_sdk_libraries() != {str(stage / LIBRARY_NAME)}:
        raise RuntimeError(f"unexpected conversion libraries mapped: {mapped_sdk_libraries()}")
    # A probe-only behaviour: the version text is whatever the probe is told.
    probe.reset()
    probe.set_version(b"probe-bound")
    version = module.LibraryManager.get_version()
    if version != "probe-bound" or probe.only_call().function != GET_VERSION:
        raise RuntimeError("FoliantConversion did not bind the probe library")
    probe.reset()
    return probe


_STAGE = Path(tempfile.mkdtemp(prefix="foli-probe-"))
try:
    PROBE = bind_module_to_probe(_STAGE)
except BaseException:
    shutil.rmtree(_STAGE, ignore_errors=True)
    raise


def pytest_unconfigure(config: pytest.Config) -> None:
    shutil.rmtree(_STAGE, ignore_errors=True)


def pytest_collection_modifyitems(config: pytest.Config, items: list[pytest.Item]) -> None:
    # Any other test in this process would run against the probe.
    foreign = [item.nodeid for item in items if HERE not in item.path.parents]
    if foreign:
        raise pytest.UsageError("the probe tests need a process of their own "
                                f"(python -m pytest tests/probe); also collected: {foreign[:3]}")


@pytest.fixture(autouse=True)
def probe() -> Iterator[Probe]:
    """The probe, reset before and after each test."""
    PROBE.reset()
    yield PROBE
    PROBE.reset()
