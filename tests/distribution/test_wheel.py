"""The wheel as a user gets it: its tag, its contents, and what a fresh
environment with nothing but the wheel installed can do: import the module,
run foliant-convert, and type-check a user's program with mypy --strict and
pyright (strict) through the stub package, with no MYPYPATH.

The wheel is the one scripts/setup.sh built into build/wheelhouse and
installed; without it (a build-folder run) these tests skip."""

from __future__ import annotations

import importlib.machinery
import json
import subprocess
import sys
import sysconfig
import zipfile
from pathlib import Path

import pytest
from packaging.tags import cpython_tags, parse_tag, sys_tags

from documents import make_simple
from reference_tools import REPOSITORY, tool_env
from typing_programs import MISUSE, USAGE, expected_error_lines

WHEELHOUSE = REPOSITORY / "build" / "wheelhouse"
PLATFORM = sysconfig.get_platform().replace("-", "_").replace(".", "_")


@pytest.fixture(scope="module")
def wheel() -> Path:
    wheels = sorted(WHEELHOUSE.glob("*.whl"))
    if not wheels:
        pytest.skip("no wheel in build/wheelhouse (scripts/setup.sh builds it)")
    assert len(wheels) == 1, wheels
    return wheels[0]


@pytest.fixture(scope="module")
def contents(wheel: Path) -> dict[str, bytes]:
    with zipfile.ZipFile(wheel) as archive:
        return {name: archive.read(name) for name in archive.namelist()}


def dist_info(contents: dict[str, bytes], name: str) -> str:
    (path,) = [path for path in contents if path.endswith(f".dist-info/{name}")]
    return contents[path].decode()


def test_the_tag_is_the_interpreters_own(wheel: Path, contents: dict[str, bytes]) -> None:
    metadata = dist_info(contents, "WHEEL")
    tags = [line.removeprefix("Tag: ") for line in metadata.splitlines() if line.startswith("Tag: ")]
    assert tags == [f"cp313-cp313-{PLATFORM}"]
    assert "Root-Is-Purelib: false" in metadata.splitlines()
    assert wheel.name.endswith(f"-cp313-cp313-{PLATFORM}.whl")
    # The module is built for the full ABI of this interpreter, as the tag says.
    modules = [name for name in contents if name.startswith("FoliantConversion.") and name.endswith(".so")]
    assert modules == ["FoliantConversion" + importlib.machinery.EXTENSION_SUFFIXES[0]]
    assert ".abi3." not in modules[0]


def test_pip_takes_the_wheel_on_cpython_313_only(contents: dict[str, bytes]) -> None:
    (tag_line,) = [line for line in dist_info(contents, "WHEEL").splitlines() if line.startswith("Tag: ")]
    (tag,) = parse_tag(tag_line.removeprefix("Tag: "))
    assert tag in set(sys_tags())
    for minor in (12, 14, 15):
        assert tag not in set(cpython_tags(python_version=(3, minor), platforms=[PLATFORM])), minor


def test_contents(contents: dict[str, bytes]) -> None:
    names = set(contents)
    assert "FoliantConversion-stubs/__init__.pyi" in names
    source_stub = (REPOSITORY / "src" / "FoliantConversion-stubs" / "__init__.pyi").read_bytes()
    assert contents["FoliantConversion-stubs/__init__.pyi"] == source_stub, "an old wheel: rerun scripts/setup.sh"
    # A stub beside the module is one type checkers do not look for.
    assert "FoliantConversion.pyi" not in names
    assert "libfoliconversionsdk.so" in names
    package = sorted(path.name for path in (REPOSITORY / "cli" / "foliant_convert").glob("*.py"))
    assert sorted(name.removeprefix("foliant_convert/") for name in names if name.startswith("foliant_convert/")) == package
    assert "foliant-convert = foliant_convert.command:main" in dist_info(contents, "entry_points.txt").splitlines()
    assert dist_info(contents, "licenses/LICENSE") == (REPOSITORY / "LICENSE").read_text()


# --- a fresh environment with only the wheel ---------------------------------------------


def clean_env() -> dict[str, str]:
    """The environment of a user's shell: nothing that points at the checkout."""
    env = tool_env()
    for name in ("PYTHONPATH", "MYPYPATH", "PYTHONHOME"):
        env.pop(name, None)
    return env


@pytest.fixture(scope="module")
def fresh_python(wheel: Path, tmp_path_factory: pytest.TempPathFactory) -> Path:
    venv = tmp_path_factory.mktemp("fresh") / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", str(venv)], check=True, env=clean_env())
    python = venv / "bin" / "python"
    subprocess.run(
        [sys.executable, "-m", "pip", "--python", str(python), "install", "-q", "--no-deps", "--no-index", str(wheel)],
        check=True, env=clean_env(), capture_output=True,
    )
    return python


@pytest.fixture
def user_folder(tmp_path: Path) -> Path:
    """A folder outside the checkout, as a user's project would be."""
    assert REPOSITORY not in tmp_path.parents
    return tmp_path


@pytest.mark.external
def test_the_fresh_environment_converts_with_the_command(fresh_python: Path, user_folder: Path) -> None:
    found = subprocess.run([str(fresh_python), "-c", "import FoliantConversion; print(FoliantConversion.__file__)"],
                           capture_output=True, text=True, env=clean_env(), cwd=user_folder, check=True)
    assert Path(found.stdout.strip()).is_relative_to(fresh_python.parent.parent)
    command = fresh_python.parent / "foliant-convert"
    version = subprocess.run([str(command), "--version"], capture_output=True, text=True, env=clean_env())
    assert version.returncode == 0 and version.stdout.startswith("foliant-convert 0.1.0"), version
    make_simple(user_folder / "report.pdf")
    done = subprocess.run([str(command), "report.pdf", "report.txt"], capture_output=True, text=True,
                          env=clean_env(), cwd=user_folder)
    assert done.returncode == 0, done.stderr
    assert "Page 2 heading" in (user_folder / "report.txt").read_text()


def mypy_errors(fresh_python: Path, folder: Path, program: str) -> tuple[int, set[int], str]:
    script = folder / "user_script.py"
    script.write_text(program)
    done = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--python-executable", str(fresh_python), "--no-incremental",
         "--cache-dir", str(folder / ".mypy_cache"), "--config-file", "", script.name],
        capture_output=True, text=True, env=clean_env(), cwd=folder, timeout=300,
    )
    lines = {int(line.split(":")[1]) for line in done.stdout.splitlines() if ": error:" in line}
    return done.returncode, lines, done.stdout + done.stderr


def pyright_diagnostics(fresh_python: Path, folder: Path, program: str) -> tuple[set[int], list[str], str]:
    script = folder / "user_script.py"
    script.write_text(program)
    (folder / "pyrightconfig.json").write_text(json.dumps({"typeCheckingMode": "strict", "pythonVersion": "3.13"}))
    pyright = Path(sys.executable).parent / "pyright"
    done = subprocess.run(
        [str(pyright), "--pythonpath", str(fresh_python), "--outputjson", script.name],
        capture_output=True, text=True, env=clean_env(), cwd=folder, timeout=300,
    )
    report = json.loads(done.stdout)
    diagnostics = report["generalDiagnostics"]
    errors = {item["range"]["start"]["line"] + 1 for item in diagnostics if item["severity"] == "error"}
    others = [f"{item['severity']}: {item['message']}" for item in diagnostics if item["severity"] != "error"]
    return errors, others, json.dumps(diagnostics, indent=1)


@pytest.mark.external
@pytest.mark.parametrize("program", [USAGE, MISUSE], ids=["usage", "misuse"])
def test_mypy_strict_on_a_user_script(fresh_python: Path, user_folder: Path, program: str) -> None:
    returncode, errors, output = mypy_errors(fresh_python, user_folder, program)
    assert "import-not-found" not in output and "import-untyped" not in output, output
    assert errors == expected_error_lines(program), output
    assert returncode == (1 if errors else 0), output


@pytest.mark.external
@pytest.mark.parametrize("program", [USAGE, MISUSE], ids=["usage", "misuse"])
def test_pyright_strict_on_a_user_script(fresh_python: Path, user_folder: Path, program: str) -> None:
    errors, others, output = pyright_diagnostics(fresh_python, user_folder, program)
    assert errors == expected_error_lines(program), output
    # Also no "stub found but no module" or unresolved-import warnings.
    assert others == [], output

