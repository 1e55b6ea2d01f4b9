"""Importing the module: its docstring, its contents, the per-interpreter
module cache, the shared object's exports and links, and the refusal of
isolated subinterpreters."""

from __future__ import annotations

import importlib
import inspect
import re
import shutil
import subprocess
import sys

import FoliantConversion as fc
import pytest

from .support import CLASS_NAMES, ENUM_NAMES, MODULE_DOC, module_file, python_tag


def _types_in_module_order() -> list[str]:
    return [name for name, value in vars(fc).items() if isinstance(value, type)]


def _exported_member_names() -> set[str]:
    return {name for enum in ENUM_NAMES for name in getattr(fc, enum).__members__}


def test_module_docstring_is_exact() -> None:
    assert fc.__doc__ == MODULE_DOC


def test_types_are_registered_in_order() -> None:
    assert _types_in_module_order() == ENUM_NAMES + CLASS_NAMES


def test_module_holds_only_types_and_exported_members() -> None:
    public = {name for name in vars(fc) if not name.startswith("__")}
    assert public == set(ENUM_NAMES) | set(CLASS_NAMES) | _exported_member_names()


def test_module_has_no_module_level_functions() -> None:
    enums = tuple(getattr(fc, name) for name in ENUM_NAMES)
    others = [
        name
        for name, value in vars(fc).items()
        if not name.startswith("__") and (inspect.isroutine(value) or not isinstance(value, (type, *enums)))
    ]
    assert others == []


@pytest.mark.parametrize(
    "function",
    [fc.LibraryManager.set_document_ai_model] + [getattr(fc.FOLIConversion, name) for name in
                                                 ("start_pdf_to_word", "start_pdf_to_txt", "start_pdf_to_ofd")],
)
def test_signatures_name_registered_types_by_python_name(function: object) -> None:
    doc = getattr(function, "__doc__")
    assert doc.split("\n")[0].endswith("-> FoliantConversion.ErrorCode")
    # An unregistered type would show up under its C++ name.
    assert "folia::" not in doc and "PyConvertCallback" not in doc


def test_entry_points_name_options_and_callback_types() -> None:
    signature = fc.FOLIConversion.start_pdf_to_json.__doc__.split("\n")[0]
    assert "options: FoliantConversion.ConvertOptions" in signature
    assert "callback: FoliantConversion.ConvertCallback = None" in signature


def test_reimport_after_removal_gives_the_same_module() -> None:
    library_manager = fc.LibraryManager
    success = fc.ErrorCode.SUCCESS
    saved = sys.modules.pop("FoliantConversion")
    try:
        again = importlib.import_module("FoliantConversion")
    finally:
        sys.modules["FoliantConversion"] = saved
    assert again is fc
    assert again.LibraryManager is library_manager
    assert again.ErrorCode.SUCCESS is success


def test_reload_registers_nothing_twice() -> None:
    before = dict(vars(fc))
    reloaded = importlib.reload(fc)
    assert reloaded is fc
    after = dict(vars(fc))
    assert after.keys() == before.keys()
    assert after["__doc__"] == MODULE_DOC
    changed = [name for name in before if not name.startswith("__") and after[name] is not before[name]]
    assert changed == []
    assert len(fc.ErrorCode.__members__) == 26


def test_module_file_is_built_for_this_interpreter() -> None:
    tag = python_tag().replace(".", "")
    assert re.search(rf"\.cpython-{tag}-", module_file().name)
    # The version guard carries the version the module was compiled for.
    data = module_file().read_bytes()
    assert b"Python version mismatch: module was compiled for Python %s" in data
    assert python_tag().encode() + b"\0" in data


def _tool(name: str) -> str:
    path = shutil.which(name)
    if path is None:
        pytest.skip(f"{name} is not installed")
    return path


def test_entry_point_is_the_only_exported_function() -> None:
    listing = subprocess.run(
        [_tool("nm"), "-D", "--defined-only", str(module_file())], capture_output=True, text=True, check=True
    ).stdout
    symbols = [line.split() for line in listing.splitlines() if line.strip()]
    assert [(kind, name) for _, kind, name in symbols] == [("T", "PyInit_FoliantConversion")]


def test_module_links_the_library_through_origin() -> None:
    dynamic = subprocess.run(
        [_tool("readelf"), "-d", str(module_file())], capture_output=True, text=True, check=True
    ).stdout
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", dynamic)
    runpath = re.findall(r"\(RUNPATH\)\s+Library runpath: \[(.+?)\]", dynamic)
    assert "libfoliconversionsdk.so" in needed
    assert runpath == ["$ORIGIN"]
    assert (module_file().parent / "libfoliconversionsdk.so").is_file()


def _subinterpreters():  # type: ignore[no-untyped-def]
    try:
        import _interpreters
    except ImportError:
        try:
            import _xxsubinterpreters as _interpreters  # type: ignore[no-redef]
        except ImportError:
            pytest.skip("this interpreter offers no subinterpreter module")
    return _interpreters


def _run_in_subinterpreter(source: str) -> object:
    interpreters = _subinterpreters()
    interpreter = interpreters.create()
    try:
        return interpreters.run_string(interpreter, source)
    finally:
        interpreters.destroy(interpreter)


def test_isolated_subinterpreter_refuses_the_module() -> None:
    failure = _run_in_subinterpreter("import FoliantConversion")
    assert failure is not None
    assert failure.type.__name__ == "ImportError"
    assert "subinterpreters" in failure.msg


def test_isolated_subinterpreter_imports_other_modules() -> None:
    # The refusal above is about this module, not about the subinterpreter.
    assert _run_in_subinterpreter("import math") is None
