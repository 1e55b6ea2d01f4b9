"""FOLIConversion: its shape, argument handling, results as values, and real
conversions with progress, cancellation and failing callables."""

from __future__ import annotations

import threading
from pathlib import Path

import FoliantConversion as fc
import pytest

from documents import PASSWORD, Documents

from .support import ENTRY_POINTS, Recorder, bundle, convert_txt, docstring_of, signature_of, simple_document_words

FC = fc.FOLIConversion
NAMES = [name for name, _ in ENTRY_POINTS]
CLASS_DOC = (
    "\n    FOLIConversion class provides functionalities to convert PDF files into various formats such as Word, "
    "Excel, PPT, HTML, etc.\n"
)
SIGNATURE = (
    "(file_path: str, password: str, output_path: str, options: FoliantConversion.ConvertOptions, "
    "callback: FoliantConversion.ConvertCallback = None) -> FoliantConversion.ErrorCode"
)


# --- shape -----------------------------------------------------------------------------


def test_no_constructor() -> None:
    with pytest.raises(TypeError) as raised:
        FC()
    assert str(raised.value) == "FoliantConversion.FOLIConversion: No constructor defined!"


def test_class_docstring() -> None:
    assert FC.__doc__ == CLASS_DOC


def test_eleven_static_methods_in_order() -> None:
    own = [name for name in vars(FC) if not name.startswith("_")]
    assert own == NAMES
    assert all(isinstance(vars(FC)[name], staticmethod) for name in own)


@pytest.mark.parametrize(("name", "doc"), ENTRY_POINTS, ids=NAMES)
def test_signature_and_docstring(name: str, doc: str) -> None:
    method = getattr(FC, name)
    assert signature_of(method) == name + SIGNATURE
    assert docstring_of(method) == doc


# --- arguments -------------------------------------------------------------------------


@pytest.mark.parametrize("name", NAMES)
def test_none_options_is_refused_before_anything_runs(name: str, docs: Documents, out_dir: Path) -> None:
    recorder = Recorder()
    with pytest.raises(TypeError, match="incompatible function arguments"):
        getattr(FC, name)(str(docs.simple), "", str(out_dir / "out"), None, bundle(progress=recorder))
    assert recorder.calls == []
    assert list(out_dir.iterdir()) == []


@pytest.mark.parametrize(
    "arguments",
    [
        lambda source, target: (source, "", target),
        lambda source, target: (source, "", target, fc.ConvertOptions(), fc.ConvertCallback(), None),
        lambda source, target: (None, "", target, fc.ConvertOptions()),
        lambda source, target: (source, None, target, fc.ConvertOptions()),
        lambda source, target: (source, "", None, fc.ConvertOptions()),
        lambda source, target: (Path(source), "", target, fc.ConvertOptions()),
        lambda source, target: (source, "", target, fc.ConvertOptions(), print),
        lambda source, target: (source, "", target, {"enable_ocr": True}),
        lambda source, target: (source, 0, target, fc.ConvertOptions()),
    ],
    ids=["missing options", "surplus", "None input", "None password", "None output", "Path input",
         "function callback", "dict options", "int password"],
)
def test_wrong_arguments_raise_type_error(arguments: object, docs: Documents, out_dir: Path) -> None:
    args = arguments(str(docs.simple), str(out_dir / "out.txt"))  # type: ignore[operator]
    with pytest.raises(TypeError):
        FC.start_pdf_to_txt(*args)
    assert list(out_dir.iterdir()) == []


def test_unknown_keyword_is_refused(docs: Documents, out_dir: Path) -> None:
    with pytest.raises(TypeError):
        FC.start_pdf_to_txt(str(docs.simple), "", str(out_dir / "out.txt"), fc.ConvertOptions(), callbacks=None)


@pytest.mark.parametrize(
    "order",
    [
        ("file_path", "password", "output_path", "options", "callback"),
        ("callback", "options", "output_path", "password", "file_path"),
        ("output_path", "callback", "file_path", "options", "password"),
        ("options", "file_path", "callback", "password", "output_path"),
    ],
    ids=["declared", "reversed", "shuffled", "options first"],
)
def test_keywords_in_any_order(order: tuple[str, ...], docs: Documents, out_dir: Path) -> None:
    recorder = Recorder()
    values = {
        "file_path": str(docs.simple),
        "password": "",
        "output_path": str(out_dir / "out.txt"),
        "options": fc.ConvertOptions(),
        "callback": bundle(progress=recorder),
    }
    result = FC.start_pdf_to_txt(**{key: values[key] for key in order})
    assert result == fc.ErrorCode.SUCCESS
    assert recorder.calls == [(1, 3), (2, 3), (3, 3)]
    assert (out_dir / "out.txt").read_text().split() == simple_document_words()


def test_positional_and_keyword_mix(docs: Documents, out_dir: Path) -> None:
    result = FC.start_pdf_to_txt(str(docs.simple), "", options=fc.ConvertOptions(), output_path=str(out_dir / "o.txt"))
    assert result == fc.ErrorCode.SUCCESS


@pytest.mark.parametrize("kind", [str, bytes, bytearray])
def test_paths_as_text_or_bytes(kind: type, docs: Documents, out_dir: Path) -> None:
    def convert(text: str) -> object:
        return text if kind is str else kind(text.encode())

    target = out_dir / "Ausgabe-ä.txt"
    result = FC.start_pdf_to_txt(
        convert(str(docs.simple)), convert(""), convert(str(target)), fc.ConvertOptions()  # type: ignore[arg-type]
    )
    assert result == fc.ErrorCode.SUCCESS
    assert target.read_text().split() == simple_document_words()


# --- results are values ------------------------------------------------------------------


@pytest.mark.parametrize(
    ("case", "expected"),
    [
        ("simple", fc.ErrorCode.SUCCESS),
        ("missing", fc.ErrorCode.FILE_ERROR),
        ("encrypted", fc.ErrorCode.PDF_PASSWORD_ERROR),
        ("encrypted with password", fc.ErrorCode.SUCCESS),
        ("not_pdf", fc.ErrorCode.PDF_FORMAT_ERROR),
        ("damaged", fc.ErrorCode.PDF_FORMAT_ERROR),
        ("unsupported_security", fc.ErrorCode.PDF_SECURITY_ERROR),
    ],
)
def test_library_results_come_back_as_new_error_codes(
    case: str, expected: fc.ErrorCode, docs: Documents, out_dir: Path
) -> None:
    name = case.split()[0]
    source = docs.folder / "missing.pdf" if name == "missing" else getattr(docs, name)
    password = PASSWORD if case.endswith("password") else ""
    result = convert_txt(source, out_dir / "out.txt", password=password)
    assert type(result) is fc.ErrorCode
    assert result == expected
    assert result is not expected
    assert (out_dir / "out.txt").exists() == (expected == fc.ErrorCode.SUCCESS)


@pytest.mark.parametrize("name", NAMES)
def test_every_entry_point_returns_a_value(name: str, docs: Documents, out_dir: Path) -> None:
    result = getattr(FC, name)(str(docs.simple), "", str(out_dir / "out"), fc.ConvertOptions())
    assert type(result) is fc.ErrorCode
    assert result.name != "???"
    if result != fc.ErrorCode.SUCCESS:
        # A failed conversion leaves nothing half-written behind.
        assert list(out_dir.iterdir()) == []


@pytest.mark.parametrize("name", NAMES)
def test_every_entry_point_reports_a_missing_input(name: str, docs: Documents, out_dir: Path) -> None:
    result = getattr(FC, name)(str(docs.folder / "absent.pdf"), "", str(out_dir / "out"), fc.ConvertOptions())
    assert result == fc.ErrorCode.FILE_ERROR
    assert list(out_dir.iterdir()) == []


# --- a real conversion with callables ----------------------------------------------------------


def test_txt_conversion_with_progress_on_the_calling_thread(docs: Documents, out_dir: Path) -> None:
    recorder = Recorder()
    output = out_dir / "simple.txt"
    result = FC.start_pdf_to_txt(str(docs.simple), "", str(output), fc.ConvertOptions(), bundle(progress=recorder))
    assert result == fc.ErrorCode.SUCCESS
    assert recorder.calls == [(1, 3), (2, 3), (3, 3)]
    assert recorder.threads == {threading.get_ident()}
    assert output.read_text().split() == simple_document_words()


def test_progress_arrives_on_a_worker_thread_that_converts(docs: Documents, out_dir: Path) -> None:
    recorder = Recorder()
    outcome: list[fc.ErrorCode] = []
    worker = threading.Thread(
        target=lambda: outcome.append(convert_txt(docs.outline, out_dir / "out.txt", bundle(progress=recorder)))
    )
    worker.start()
    worker.join()
    assert outcome == [fc.ErrorCode.SUCCESS]
    assert recorder.calls == [(1, 3), (2, 3), (3, 3)]
    assert recorder.threads == {worker.ident}


def test_page_ranges_change_the_total(docs: Documents, out_dir: Path) -> None:
    recorder = Recorder()
    options = fc.ConvertOptions()
    options.page_ranges = "2-3"
    result = FC.start_pdf_to_txt(str(docs.simple), "", str(out_dir / "out.txt"), options, bundle(progress=recorder))
    assert result == fc.ErrorCode.SUCCESS
    assert recorder.calls == [(1, 2), (2, 2)]
    assert (out_dir / "out.txt").read_text().split() == simple_document_words()[8:]


def test_cancel_stops_the_conversion_and_writes_nothing(docs: Documents, out_dir: Path) -> None:
    asked: list[int] = []
    recorder = Recorder()

    def cancel() -> bool:
        asked.append(threading.get_ident())
        return True

    result = convert_txt(docs.simple, out_dir / "out.txt", bundle(progress=recorder, cancel=cancel))
    assert result == fc.ErrorCode.CANCEL
    assert result is not fc.ErrorCode.CANCEL
    assert asked and set(asked) == {threading.get_ident()}
    assert list(out_dir.iterdir()) == []


def test_cancel_after_the_first_page(docs: Documents, out_dir: Path) -> None:
    recorder = Recorder()
    result = convert_txt(docs.simple, out_dir / "out.txt", bundle(progress=recorder, cancel=lambda: bool(recorder.calls)))
    assert result == fc.ErrorCode.CANCEL
    assert recorder.calls == [(1, 3)]
    assert list(out_dir.iterdir()) == []


class ProgressFailure(Exception):
    pass


@pytest.mark.parametrize("fail_at", [1, 2, 3])
def test_raising_progress_callable_reraises_and_writes_nothing(fail_at: int, docs: Documents, out_dir: Path) -> None:
    raised = ProgressFailure("stop here")
    seen: list[int] = []

    def progress(current: int, total: int) -> None:
        seen.append(current)
        if current == fail_at:
            raise raised

    callback = bundle(progress=progress)
    with pytest.raises(ProgressFailure) as caught:
        convert_txt(docs.simple, out_dir / "out.txt", callback)
    assert caught.value is raised
    assert seen == list(range(1, fail_at + 1))
    assert list(out_dir.iterdir()) == []


def test_raising_cancel_callable_reraises_and_writes_nothing(docs: Documents, out_dir: Path) -> None:
    def cancel() -> bool:
        raise LookupError("cancel check failed")

    with pytest.raises(LookupError, match="cancel check failed"):
        convert_txt(docs.simple, out_dir / "out.txt", bundle(cancel=cancel))
    assert list(out_dir.iterdir()) == []


def test_bundle_works_again_after_a_failed_conversion(docs: Documents, out_dir: Path) -> None:
    recorder = Recorder()
    callback = bundle(progress=lambda current, total: (_ for _ in ()).throw(ValueError("first run")))
    with pytest.raises(ValueError):
        convert_txt(docs.simple, out_dir / "first.txt", callback)
    callback.set_progress(recorder)
    assert convert_txt(docs.simple, out_dir / "second.txt", callback) == fc.ErrorCode.SUCCESS
    assert recorder.calls == [(1, 3), (2, 3), (3, 3)]
    assert [path.name for path in out_dir.iterdir()] == ["second.txt"]


def test_callable_resetting_its_instance_mid_call(docs: Documents, out_dir: Path) -> None:
    callback = fc.ConvertCallback()
    seen: list[int] = []

    def progress(current: int, total: int) -> None:
        seen.append(current)
        callback.reset()
        callback.set_cancel(lambda: True)

    callback.set_progress(progress)
    del progress
    # The reset cleared the thread's current bundle, so the cancel callable
    # set afterwards is not reached by this conversion.
    assert convert_txt(docs.simple, out_dir / "out.txt", callback) == fc.ErrorCode.SUCCESS
    assert seen == [1]
    assert (out_dir / "out.txt").read_text().split() == simple_document_words()


def test_options_object_is_not_changed(docs: Documents, out_dir: Path) -> None:
    options = fc.ConvertOptions()
    options.page_ranges = "1"
    options.languages = [fc.OCRLanguage.ENGLISH]
    assert FC.start_pdf_to_txt(str(docs.simple), "", str(out_dir / "o.txt"), options) == fc.ErrorCode.SUCCESS
    assert options.page_ranges == "1" and options.languages == [fc.OCRLanguage.ENGLISH]
