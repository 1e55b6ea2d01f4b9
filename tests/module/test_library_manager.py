"""LibraryManager: its shape, argument conversion, and what the real library
answers through it."""

from __future__ import annotations

import tomllib
from collections.abc import Iterator
from pathlib import Path

import FoliantConversion as fc
import pymupdf
import pytest

from documents import PASSWORD, Documents

from .support import docstring_of, signature_of

LM = fc.LibraryManager
INT = "typing.SupportsInt | typing.SupportsIndex"
METHODS = [
    ("initialize", "initialize(resource_path: str) -> None",
     "Initializes the SDK library with the given resource path"),
    ("release", "release() -> None",
     "Releases all resources used by the library. Should be called when the SDK is no longer needed."),
    ("release_document_ai_model", "release_document_ai_model() -> None", "Release the memory by the AI model."),
    ("set_logger", "set_logger(enable_info: bool, enable_warning: bool) -> None",
     "Enables or disables logging for info and warning messages."),
    ("get_version", "get_version() -> str", "Gets the version of the SDK library."),
    ("get_page_count", "get_page_count(file_path: str, password: str) -> int",
     "Returns the number of pages in a document."),
    ("set_document_ai_model",
     f"set_document_ai_model(file_path: str, gpu_id: {INT} = -1) -> FoliantConversion.ErrorCode",
     "Sets the Document AI model for OCR based on the provided file path. gpu_id: Which GPU for ai model, -1 "
     "means disable gpu."),
    ("set_document_ai_model_count",
     f"set_document_ai_model_count(layout_model_count: {INT}, table_model_count: {INT}) -> None",
     "Sets the number of AI models for layout analysis and table recognition."),
]
REPO = Path(__file__).resolve().parents[2]


@pytest.fixture
def quiet_logger() -> Iterator[None]:
    yield
    LM.set_logger(False, False)


# --- shape -------------------------------------------------------------------------


def test_no_constructor() -> None:
    with pytest.raises(TypeError) as raised:
        LM()
    assert str(raised.value) == "FoliantConversion.LibraryManager: No constructor defined!"


def test_class_docstring() -> None:
    doc = LM.__doc__
    assert doc is not None and "\n" not in doc
    assert "central hub" in doc and "lifecycle" in doc
    for topic in ("initializ", "font", "logging", "callback", "version", "pages"):
        assert topic in doc, topic


def test_exactly_the_eight_static_methods_in_order() -> None:
    own = [name for name in vars(LM) if not name.startswith("_")]
    assert own == [name for name, _, _ in METHODS]
    assert all(isinstance(vars(LM)[name], staticmethod) for name in own)


@pytest.mark.parametrize(("name", "signature", "doc"), METHODS, ids=[name for name, _, _ in METHODS])
def test_signature_and_docstring(name: str, signature: str, doc: str) -> None:
    function = getattr(LM, name)
    assert signature_of(function) == signature
    assert docstring_of(function) == doc


# --- argument conversion ---------------------------------------------------------------


@pytest.mark.parametrize(
    "call",
    [
        lambda: LM.set_document_ai_model_count(2.0, 1),
        lambda: LM.set_document_ai_model_count(2, 1.0),
        lambda: LM.set_document_ai_model_count(2**31, 1),
        lambda: LM.set_document_ai_model_count(1, -(2**31) - 1),
        lambda: LM.set_document_ai_model_count("2", 1),
        lambda: LM.set_document_ai_model_count(None, 1),
        lambda: LM.set_document_ai_model_count(1),
        lambda: LM.set_document_ai_model_count(1, 2, 3),
        lambda: LM.set_document_ai_model("model.bin", 0.0),
        lambda: LM.set_document_ai_model("model.bin", gpu_id=2**31),
        lambda: LM.set_document_ai_model("model.bin", gpu=0),
        lambda: LM.set_logger("yes", False),
        lambda: LM.set_logger(True, [True]),
        lambda: LM.set_logger(True),
        lambda: LM.initialize(5),
        lambda: LM.initialize(Path("resources")),
        lambda: LM.get_page_count("a.pdf"),
        lambda: LM.get_page_count("a.pdf", 0),
        lambda: LM.get_version(1),
        lambda: LM.release(None),
    ],
    ids=["float count", "float table count", "count too big", "count too small", "str count", "None count",
         "missing count", "surplus count", "float gpu", "gpu too big", "wrong keyword", "str bool", "list bool",
         "missing bool", "int path", "Path path", "missing password", "int password", "surplus version",
         "surplus release"],
)
def test_unconvertible_arguments_raise_type_error(call: object) -> None:
    with pytest.raises(TypeError):
        call()  # type: ignore[operator]


@pytest.mark.parametrize(("layout", "table"), [(2, 1), (2**31 - 1, -(2**31)), (0, -1)])
def test_int_range_limits_are_accepted(layout: int, table: int, quiet_logger: None) -> None:
    assert LM.set_document_ai_model_count(layout, table) is None
    assert LM.set_document_ai_model_count(table_model_count=table, layout_model_count=layout) is None


@pytest.mark.parametrize("flags", [(True, False), (None, 0), (1, 0.0), (False, None)])
def test_set_logger_takes_truth_values(flags: tuple[object, object], quiet_logger: None) -> None:
    assert LM.set_logger(*flags) is None


def test_set_logger_switches_reach_their_places(
    docs: Documents, capfd: pytest.CaptureFixture[str], quiet_logger: None
) -> None:
    LM.set_logger(enable_warning=False, enable_info=True)
    LM.set_document_ai_model_count(2, 1)  # reported as info
    LM.set_document_ai_model(str(docs.not_pdf))  # refused with a warning
    err = capfd.readouterr().err
    assert "info:" in err and "warning:" not in err

    LM.set_logger(enable_warning=True, enable_info=False)
    LM.set_document_ai_model_count(2, 1)
    LM.set_document_ai_model(str(docs.not_pdf))
    err = capfd.readouterr().err
    assert "warning:" in err and "info:" not in err

    LM.set_logger(False, False)
    LM.set_document_ai_model_count(2, 1)
    LM.set_document_ai_model(str(docs.not_pdf))
    assert capfd.readouterr().err == ""


# --- version -------------------------------------------------------------------------


def test_get_version_text() -> None:
    version = LM.get_version()
    assert type(version) is str
    assert version != "" and len(version.encode()) < 32
    assert version == version.strip() and "\0" not in version
    pyproject = REPO / "pyproject.toml"
    if pyproject.is_file():
        assert version == tomllib.loads(pyproject.read_text())["project"]["version"]


def test_get_version_is_stable() -> None:
    assert LM.get_version() == LM.get_version()


# --- page count ------------------------------------------------------------------------

VALID = ["simple", "structured", "columns", "ruled_table", "text_table", "images", "links", "outline", "owner_only"]


@pytest.mark.parametrize("name", VALID)
def test_page_count_of_generated_documents(docs: Documents, name: str) -> None:
    path = getattr(docs, name)
    with pymupdf.open(path) as document:
        expected = document.page_count
    assert LM.get_page_count(str(path), "") == expected
    assert LM.get_page_count(file_path=str(path), password="") == expected
    assert LM.get_page_count(password=None, file_path=str(path)) == expected


def test_page_count_of_repaired_document(docs: Documents) -> None:
    with pymupdf.open(docs.simple) as document:
        expected = document.page_count
    assert LM.get_page_count(str(docs.truncated), "") == expected


@pytest.mark.parametrize("kind", [bytes, bytearray])
def test_page_count_takes_byte_paths(docs: Documents, kind: type) -> None:
    assert LM.get_page_count(kind(str(docs.simple).encode()), kind(b"")) == 3


def test_page_count_of_encrypted_document(docs: Documents) -> None:
    assert LM.get_page_count(str(docs.encrypted), PASSWORD) == 1
    assert LM.get_page_count(str(docs.encrypted), PASSWORD.encode()) == 1


@pytest.mark.parametrize(
    ("name", "password", "code"),
    [
        ("missing", "", fc.ErrorCode.FILE_ERROR),
        ("encrypted", "", fc.ErrorCode.PDF_PASSWORD_ERROR),
        ("encrypted", None, fc.ErrorCode.PDF_PASSWORD_ERROR),
        ("encrypted", "wrong", fc.ErrorCode.PDF_PASSWORD_ERROR),
        ("encrypted", PASSWORD.upper(), fc.ErrorCode.PDF_PASSWORD_ERROR),
        ("not_pdf", "", fc.ErrorCode.PDF_FORMAT_ERROR),
        ("damaged", "", fc.ErrorCode.PDF_FORMAT_ERROR),
        ("unsupported_security", "", fc.ErrorCode.PDF_SECURITY_ERROR),
    ],
)
def test_page_count_failures_are_negative_numbers(
    docs: Documents, name: str, password: str | None, code: fc.ErrorCode
) -> None:
    path = docs.folder / "missing.pdf" if name == "missing" else getattr(docs, name)
    result = LM.get_page_count(str(path), password)
    assert type(result) is int
    assert result == -code.value


def test_page_count_with_null_path(docs: Documents) -> None:
    assert LM.get_page_count(None, None) == -fc.ErrorCode.MISSING_ARG.value


# --- document-AI model -----------------------------------------------------------------


@pytest.mark.parametrize("gpu_id", [None, -1, 0, 2**31 - 1])
def test_model_from_missing_file_is_a_file_error(docs: Documents, gpu_id: int | None) -> None:
    missing = str(docs.folder / "no-such-model.bin")
    result = LM.set_document_ai_model(missing) if gpu_id is None else LM.set_document_ai_model(missing, gpu_id)
    assert result == fc.ErrorCode.FILE_ERROR
    assert result is not fc.ErrorCode.FILE_ERROR


@pytest.mark.parametrize("name", ["simple", "not_pdf", "damaged"])
def test_model_from_non_model_file_fails_honestly(docs: Documents, name: str) -> None:
    for result in (LM.set_document_ai_model(str(getattr(docs, name))),
                   LM.set_document_ai_model(gpu_id=0, file_path=str(getattr(docs, name)))):
        assert type(result) is fc.ErrorCode
        assert result != fc.ErrorCode.SUCCESS
        assert result.name != "???"


def test_model_from_folder_is_refused(docs: Documents) -> None:
    result = LM.set_document_ai_model(str(docs.folder))
    assert result != fc.ErrorCode.SUCCESS and type(result) is fc.ErrorCode


def test_model_with_null_path() -> None:
    assert LM.set_document_ai_model(None) == fc.ErrorCode.MISSING_ARG


def test_release_document_ai_model_without_model() -> None:
    assert LM.release_document_ai_model() is None
    assert LM.release_document_ai_model() is None


# --- lifecycle ------------------------------------------------------------------------


def test_lifecycle_calls_in_any_order(docs: Documents, tmp_path: Path) -> None:
    # The module imposes no order; the library answers each call.
    assert LM.release() is None
    assert LM.release() is None
    assert LM.get_page_count(str(docs.simple), "") == 3
    assert LM.initialize(str(tmp_path)) is None
    assert LM.initialize(None) is None
    assert LM.initialize(resource_path=str(tmp_path).encode()) is None
    assert LM.get_page_count(str(docs.outline), "") == 3
    assert LM.release() is None
    assert LM.get_page_count(str(docs.simple), "") == 3
