"""The type stub shipped with the module (the stub-only package
FoliantConversion-stubs beside it), checked against the runtime: every name,
signature and docstring, then mypy's stubtest, then mypy --strict on small
programs that use the module."""

from __future__ import annotations

import ast
import inspect
import os
import re
import subprocess
import sys
from dataclasses import dataclass, field
from pathlib import Path

import FoliantConversion as fc
import pytest

from typing_programs import MISUSE, USAGE, expected_error_lines

from .support import ENTRY_POINTS, ENUM_NAMES, module_file, split_doc

STUB = module_file().parent / "FoliantConversion-stubs" / "__init__.pyi"
SOURCE_STUB = Path(__file__).resolve().parents[2] / "src" / "FoliantConversion-stubs" / "__init__.pyi"
# pybind11 puts these into every class it binds, and copyreg caches
# __slotnames__ on a class once something tried to copy an instance; they
# are no part of the module's API.
NOT_API = {"__module__", "__doc__", "__dict__", "__weakref__", "_pybind11_conduit_v1_", "__entries", "__slotnames__"}
PREFIX = "FoliantConversion."

# Where the runtime takes more than the signature pybind11 writes, the stub
# says what it takes: (class, function or property, parameter) -> (type in
# pybind11's signature, type in the stub). The module tests show the runtime
# taking each: bytes and None for LibraryManager's text (test_library_manager),
# bytes for the conversion paths and option texts, the collections for
# languages (test_options), None and any result for the callbacks
# (test_callbacks).
TEXT = "str | bytes | bytearray"
LANGUAGES = (
    "collections.abc.Sequence[OCRLanguage] | collections.abc.Set[OCRLanguage] | "
    "collections.abc.ValuesView[OCRLanguage] | collections.abc.Generator[OCRLanguage, typing.Any, typing.Any] | "
    "map[OCRLanguage]"
)
WIDENED: dict[tuple[str, str, str], tuple[str, str]] = {
    ("LibraryManager", "initialize", "resource_path"): ("str", f"{TEXT} | None"),
    ("LibraryManager", "get_page_count", "file_path"): ("str", f"{TEXT} | None"),
    ("LibraryManager", "get_page_count", "password"): ("str", f"{TEXT} | None"),
    ("LibraryManager", "set_document_ai_model", "file_path"): ("str", f"{TEXT} | None"),
    **{("FOLIConversion", entry, parameter): ("str", TEXT)
       for entry, _ in ENTRY_POINTS for parameter in ("file_path", "password", "output_path")},
    ("ConvertOptions", "font_name", "arg0"): ("str", TEXT),
    ("ConvertOptions", "page_ranges", "arg0"): ("str", TEXT),
    ("ConvertOptions", "languages", "arg0"): ("collections.abc.Sequence[OCRLanguage]", LANGUAGES),
    ("ConvertCallback", "set_progress", "progress"): (
        "collections.abc.Callable[[int, int], None]", "collections.abc.Callable[[int, int], object] | None"),
    ("ConvertCallback", "set_cancel", "cancel"): (
        "collections.abc.Callable[[], bool]", "collections.abc.Callable[[], bool] | None"),
}


# --- reading the stub --------------------------------------------------------------------


@dataclass
class StubFunction:
    signature: str
    doc: str
    static: bool


@dataclass
class StubProperty:
    getter: str
    setter: str | None
    doc: str


@dataclass
class StubClass:
    doc: str
    functions: dict[str, StubFunction] = field(default_factory=dict)
    properties: dict[str, StubProperty] = field(default_factory=dict)
    class_vars: dict[str, tuple[str, str]] = field(default_factory=dict)  # annotation, trailing comment
    order: list[str] = field(default_factory=list)
    # Every parameter's annotation as the stub writes it, by (function, parameter).
    annotations: dict[tuple[str, str], str] = field(default_factory=dict)


def _annotation(node: ast.expr | None) -> str:
    return "" if node is None else ast.unparse(node)


def _as_pybind11_writes(annotation: str, key: tuple[str, str, str]) -> str:
    """A widened parameter's stub type turned back into pybind11's."""
    runtime, stub = WIDENED.get(key, (annotation, annotation))
    return runtime if annotation == stub else annotation


def _render_parameter(argument: ast.arg, default: ast.expr | None, owner: tuple[str, str]) -> str:
    text = argument.arg
    annotation = _as_pybind11_writes(_annotation(argument.annotation), (*owner, argument.arg))
    if default is not None and ast.unparse(default) == "None" and annotation.endswith(" | None"):
        # pybind11 shows an optional argument as its type with default None.
        annotation = annotation.removesuffix(" | None")
    if annotation and argument.arg != "self":
        text += f": {annotation}"
    if default is not None:
        text += f" = {ast.unparse(default)}"
    return text


def render_stub_signature(node: ast.FunctionDef, class_name: str) -> str:
    arguments = node.args
    positional = arguments.posonlyargs + arguments.args
    defaults: list[ast.expr | None] = [None] * (len(positional) - len(arguments.defaults)) + list(arguments.defaults)
    owner = (class_name, node.name)
    parts = [_render_parameter(argument, default, owner) for argument, default in zip(positional, defaults)]
    if arguments.posonlyargs:
        parts.insert(len(arguments.posonlyargs), "/")
    if arguments.vararg is not None:
        parts.append(f"*{arguments.vararg.arg}: {_annotation(arguments.vararg.annotation)}")
    if arguments.kwarg is not None:
        parts.append(f"**{arguments.kwarg.arg}: {_annotation(arguments.kwarg.annotation)}")
    return f"({', '.join(parts)}) -> {_annotation(node.returns)}"


def _decorators(node: ast.FunctionDef) -> list[str]:
    return [ast.unparse(decorator) for decorator in node.decorator_list]


def read_stub_class(node: ast.ClassDef, lines: list[str]) -> StubClass:
    stub = StubClass(doc=ast.get_docstring(node) or "")
    for item in node.body:
        if isinstance(item, ast.FunctionDef):
            for argument in item.args.posonlyargs + item.args.args:
                stub.annotations[(item.name, argument.arg)] = _annotation(argument.annotation)
            decorators = _decorators(item)
            if "property" in decorators:
                stub.properties[item.name] = StubProperty(
                    getter=_annotation(item.returns), setter=None, doc=ast.get_docstring(item) or ""
                )
                stub.order.append(item.name)
            elif f"{item.name}.setter" in decorators:
                stub.properties[item.name].setter = _as_pybind11_writes(
                    _annotation(item.args.args[1].annotation), (node.name, item.name, item.args.args[1].arg)
                )
            else:
                assert item.name not in stub.functions, f"{item.name} is defined twice"
                stub.functions[item.name] = StubFunction(
                    signature=render_stub_signature(item, node.name),
                    doc=ast.get_docstring(item) or "",
                    static="staticmethod" in decorators,
                )
                stub.order.append(item.name)
        elif isinstance(item, ast.AnnAssign) and isinstance(item.target, ast.Name):
            comment = lines[item.lineno - 1].partition("#")[2].strip()
            stub.class_vars[item.target.id] = (_annotation(item.annotation), comment)
            stub.order.append(item.target.id)
    return stub


@dataclass
class Stub:
    doc: str | None
    classes: dict[str, StubClass]
    variables: dict[str, str]


def read_stub(path: Path) -> Stub:
    text = path.read_text()
    tree = ast.parse(text)
    lines = text.splitlines()
    classes = {node.name: read_stub_class(node, lines) for node in tree.body if isinstance(node, ast.ClassDef)}
    variables = {
        node.target.id: _annotation(node.annotation)
        for node in tree.body
        if isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name)
    }
    return Stub(doc=ast.get_docstring(tree, clean=False), classes=classes, variables=variables)


# --- reading the runtime ------------------------------------------------------------------


def runtime_signatures(function: object) -> list[str]:
    """The signatures pybind11 wrote for a function, without its name and
    module prefix, with `self` standing alone."""
    signatures, _ = split_doc(getattr(function, "__doc__"))
    result = []
    for line in signatures:
        line = re.sub(r"^(?:\d+\. )?\w*", "", line).replace(PREFIX, "")
        result.append(re.sub(r"^\(self: [\w.]+", "(self", line))
    return result


def runtime_doc(function: object) -> str:
    return split_doc(getattr(function, "__doc__"))[1]


def clean(doc: str | None) -> str:
    return inspect.cleandoc("\n" + doc) if doc else ""


def runtime_members(cls: type) -> list[str]:
    return [name for name in vars(cls) if name not in NOT_API]


# --- fixtures ---------------------------------------------------------------------------------


@pytest.fixture(scope="module")
def stub() -> Stub:
    assert STUB.is_file(), f"no stub beside {module_file()}"
    return read_stub(STUB)


CLASSES = ENUM_NAMES + ["ConvertOptions", "LibraryManager", "ConvertCallback", "FOLIConversion"]


def test_widened_parameters_are_in_the_stub(stub: Stub) -> None:
    written = {(name, *key): annotation for name, cls in stub.classes.items() for key, annotation in cls.annotations.items()}
    assert {key: written.get(key) for key in WIDENED} == {key: types[1] for key, types in WIDENED.items()}


def test_installed_stub_is_the_source_stub() -> None:
    if not SOURCE_STUB.is_file():
        pytest.skip("not run from the source tree")
    assert STUB.read_bytes() == SOURCE_STUB.read_bytes()


def test_module_docstring(stub: Stub) -> None:
    assert stub.doc == fc.__doc__


def test_module_names(stub: Stub) -> None:
    runtime = {name for name in vars(fc) if not name.startswith("__")}
    assert set(stub.classes) | set(stub.variables) == runtime
    assert list(stub.classes) == CLASSES


def test_module_variables_are_the_exported_members(stub: Stub) -> None:
    for name, annotation in stub.variables.items():
        cls = getattr(fc, annotation)
        assert getattr(fc, name) is getattr(cls, name), name


@pytest.mark.parametrize("name", CLASSES)
def test_class_members_match(stub: Stub, name: str) -> None:
    cls = getattr(fc, name)
    stub_class = stub.classes[name]
    stub_names = set(stub_class.functions) | set(stub_class.properties) | set(stub_class.class_vars)
    assert stub_names == set(runtime_members(cls))
    assert clean(stub_class.doc) == clean(cls.__doc__)


@pytest.mark.parametrize("name", ["ConvertOptions", "LibraryManager", "ConvertCallback", "FOLIConversion"])
def test_class_member_order(stub: Stub, name: str) -> None:
    runtime = [member for member in runtime_members(getattr(fc, name)) if member != "__init__"]
    assert [member for member in stub.classes[name].order if member != "__init__"] == runtime


@pytest.mark.parametrize("name", CLASSES)
def test_function_signatures_and_docstrings(stub: Stub, name: str) -> None:
    cls = getattr(fc, name)
    for function_name, stub_function in stub.classes[name].functions.items():
        raw = vars(cls)[function_name]
        label = f"{name}.{function_name}"
        if type(raw).__name__ == "wrapper_descriptor":
            # No constructor bound: pybind11's refusing __init__ remains.
            assert function_name == "__init__", label
            assert stub_function.signature == "(self, /, *args: object, **kwargs: object) -> None", label
            continue
        assert isinstance(raw, staticmethod) == stub_function.static, label
        function = getattr(cls, function_name)
        assert stub_function.signature in runtime_signatures(function), label
        assert stub_function.doc == runtime_doc(function), label


@pytest.mark.parametrize("name", CLASSES)
def test_property_types_and_docstrings(stub: Stub, name: str) -> None:
    cls = getattr(fc, name)
    for property_name, stub_property in stub.classes[name].properties.items():
        prop = vars(cls)[property_name]
        label = f"{name}.{property_name}"
        assert isinstance(prop, property), label
        getter = runtime_signatures(prop.fget)
        assert [signature.rpartition(" -> ")[2] for signature in getter] == [stub_property.getter], label
        if prop.fset is None:
            assert stub_property.setter is None, label
        else:
            (setter,) = runtime_signatures(prop.fset)
            assert setter.endswith(f"arg0: {stub_property.setter}) -> None"), label
        if name not in ENUM_NAMES:
            assert stub_property.doc == prop.__doc__, label


@pytest.mark.parametrize("name", ENUM_NAMES)
def test_enum_members_and_their_values(stub: Stub, name: str) -> None:
    cls = getattr(fc, name)
    class_vars = stub.classes[name].class_vars
    members = {key: value for key, value in class_vars.items() if key != "__members__"}
    assert list(members) == list(cls.__members__)
    for member_name, (annotation, comment) in members.items():
        assert annotation == f"typing.ClassVar[{name}]"
        assert comment == f"value = {getattr(cls, member_name)!r}"
    assert class_vars["__members__"][0] == f"typing.ClassVar[dict[str, {name}]]"


# --- mypy ---------------------------------------------------------------------------------------


def _run_mypy_tool(arguments: list[str], cwd: Path) -> subprocess.CompletedProcess[str]:
    # mypy finds the stub package the way a user's mypy does, on the
    # interpreter's path beside the module: no MYPYPATH. The module under
    # test comes first on that path, wherever the tests import it from.
    environment = dict(os.environ)
    environment.pop("MYPYPATH", None)
    # The subprocess runs elsewhere, so a relative PYTHONPATH would not hold.
    environment["PYTHONPATH"] = os.pathsep.join(filter(None, [str(module_file().parent), environment.get("PYTHONPATH")]))
    return subprocess.run(
        [sys.executable, "-m", *arguments], cwd=cwd, env=environment, capture_output=True, text=True, timeout=300
    )


def _error_blocks(output: str) -> list[str]:
    return [block for block in re.split(r"\n(?=error: )", output.strip()) if block.startswith("error: ")]


def test_stubtest_finds_no_drift(tmp_path: Path) -> None:
    (tmp_path / "mypy.ini").write_text("[mypy]\n")
    done = _run_mypy_tool(
        ["mypy.stubtest", "FoliantConversion", "--mypy-config-file", str(tmp_path / "mypy.ini")], tmp_path
    )
    blocks = _error_blocks(done.stdout)
    assert blocks or done.returncode == 0, done.stdout + done.stderr
    # A stub cannot name pybind11's metaclass; that difference is expected.
    drift = [block for block in blocks if not ("metaclass differs" in block and "pybind11_type" in block)]
    assert drift == [], "\n\n".join(drift)
    assert len(blocks) in (0, len(CLASSES))


def _mypy_strict(tmp_path: Path, source: str) -> tuple[int, set[int], str]:
    program = tmp_path / "program.py"
    program.write_text(source)
    done = _run_mypy_tool(
        ["mypy", "--strict", "--no-incremental", "--cache-dir", str(tmp_path / "cache"), "--config-file", "",
         "--python-version", f"{sys.version_info.major}.{sys.version_info.minor}", str(program)],
        tmp_path,
    )
    error_lines = {int(line.split(":")[1]) for line in done.stdout.splitlines() if ": error:" in line}
    return done.returncode, error_lines, done.stdout + done.stderr


def test_mypy_strict_accepts_correct_usage(tmp_path: Path) -> None:
    returncode, errors, output = _mypy_strict(tmp_path, USAGE)
    assert returncode == 0 and errors == set(), output


def test_mypy_strict_rejects_misuse(tmp_path: Path) -> None:
    expected = expected_error_lines(MISUSE)
    returncode, errors, output = _mypy_strict(tmp_path, MISUSE)
    assert returncode == 1
    assert errors == expected, output
