"""Result codes: every failure a caller can run into comes back as its own
code from every output format, and leaves the output side exactly as it
was (no output, no temporary file, no folder); the input file is never
written to, and an existing output file is replaced only on success."""

from __future__ import annotations

import ctypes
import json
import os
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest
from PIL import Image

import FoliantConversion as fc
from conversions import ALL_FORMATS, FORMATS, UNIMPLEMENTED, output_text
from documents import PASSWORD, Documents, make_simple

E = fc.ErrorCode
C = fc.FOLIConversion

AS_ROOT = os.geteuid() == 0
UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")


def options(**fields: object) -> fc.ConvertOptions:
    record = fc.ConvertOptions()
    for name, value in fields.items():
        setattr(record, name, value)
    return record


def convert(
    fmt: str,
    source: Path | str,
    output: Path | str,
    *,
    password: str = "",
    callback: fc.ConvertCallback | None = None,
    **fields: object,
) -> fc.ErrorCode:
    entry, _ = ALL_FORMATS[fmt]
    return entry(str(source), password, str(output), options(**fields), callback)


def output_path(folder: Path, fmt: str) -> Path:
    return folder / ("doc" + ALL_FORMATS[fmt][1])


def snapshot(folder: Path) -> dict[str, bytes | None]:
    """Every entry under `folder`, hidden ones included: a file's bytes, or
    None for a folder."""
    return {
        str(path.relative_to(folder)): None if path.is_dir() else path.read_bytes()
        for path in sorted(folder.rglob("*"))
    }


def written_files(folder: Path) -> list[Path]:
    return sorted(path for path in folder.rglob("*") if path.is_file())


def holds_page_text(fmt: str, files: list[Path], heading: str) -> bool:
    """Whether the output of a successful conversion of a make_simple
    document holds the heading of its first page (or, for images, decodes
    to a page-shaped picture)."""
    if fmt == "image":
        with Image.open(files[0]) as image:
            width, height = image.size
        return 0 < width < height
    text = output_text(files[0])
    if fmt == "json":
        return heading in json.dumps(json.loads(text), ensure_ascii=False)
    return heading in text


@pytest.fixture(scope="module")
def five_pages(tmp_path_factory: pytest.TempPathFactory) -> Path:
    path = tmp_path_factory.mktemp("five") / "five_pages.pdf"
    make_simple(path, pages=5)
    return path


formats = pytest.mark.parametrize("fmt", list(FORMATS))


def expect_failure(
    code: fc.ErrorCode,
    fmt: str,
    source: Path | str,
    folder: Path,
    *,
    output: Path | None = None,
    password: str = "",
    callback: fc.ConvertCallback | None = None,
    **fields: object,
) -> None:
    """Runs one conversion into `folder` (or to `output`) and checks that
    it fails with `code` and leaves `folder` exactly as it was."""
    before = snapshot(folder)
    target = output if output is not None else output_path(folder, fmt)
    result = convert(fmt, source, target, password=password, callback=callback, **fields)
    assert result == code
    assert snapshot(folder) == before


# --- FILE_ERROR --------------------------------------------------------------------------


@formats
@pytest.mark.parametrize("case", ["missing", "folder", "under_a_file", "unreadable"])
def test_unreachable_input_is_a_file_error(fmt: str, case: str, docs: Documents, out_dir: Path, tmp_path: Path) -> None:
    if case == "unreadable" and AS_ROOT:
        pytest.skip("permissions do not stop root")
    source = {
        "missing": tmp_path / "missing.pdf",
        "folder": docs.folder,
        "under_a_file": docs.simple / "inner.pdf",
        "unreadable": tmp_path / "locked.pdf",
    }[case]
    if case == "unreadable":
        source.write_bytes(docs.simple.read_bytes())
        source.chmod(0)
    expect_failure(E.FILE_ERROR, fmt, source, out_dir)


# --- PDF errors ----------------------------------------------------------------------------


@formats
@pytest.mark.parametrize("password", ["", "not-the-password"], ids=["none", "wrong"])
def test_encrypted_without_the_password(fmt: str, password: str, docs: Documents, out_dir: Path) -> None:
    expect_failure(E.PDF_PASSWORD_ERROR, fmt, docs.encrypted, out_dir, password=password)


@formats
def test_encrypted_with_the_password_converts(fmt: str, docs: Documents, out_dir: Path) -> None:
    assert convert(fmt, docs.encrypted, output_path(out_dir, fmt), password=PASSWORD) == E.SUCCESS
    files = written_files(out_dir)
    assert files
    if fmt != "image":
        assert "Confidential text" in output_text(files[0])


@formats
@pytest.mark.parametrize("document", ["not_pdf", "damaged"])
def test_not_a_readable_pdf_is_a_format_error(fmt: str, document: str, docs: Documents, out_dir: Path) -> None:
    expect_failure(E.PDF_FORMAT_ERROR, fmt, getattr(docs, document), out_dir)


@formats
def test_unknown_security_handler_is_a_security_error(fmt: str, docs: Documents, out_dir: Path) -> None:
    expect_failure(E.PDF_SECURITY_ERROR, fmt, docs.unsupported_security, out_dir)


# --- IO_ERROR ------------------------------------------------------------------------------


@formats
@pytest.mark.parametrize("case", ["folder_missing", "folder_is_a_file", "path_is_a_folder", "proc", "read_only"])
def test_unwritable_output_is_an_io_error(fmt: str, case: str, docs: Documents, out_dir: Path) -> None:
    if case == "read_only" and AS_ROOT:
        pytest.skip("permissions do not stop root")
    target = output_path(out_dir, fmt)
    output = {
        "folder_missing": out_dir / "absent" / target.name,
        "folder_is_a_file": docs.simple / target.name,
        "path_is_a_folder": target,
        "proc": Path("/proc") / target.name,
        "read_only": target,
    }[case]
    if case == "path_is_a_folder":
        target.mkdir()
    if case == "read_only":
        out_dir.chmod(0o555)
    try:
        expect_failure(E.IO_ERROR, fmt, docs.simple, out_dir, output=output)
    finally:
        out_dir.chmod(0o755)
    assert not (Path("/proc") / target.name).exists()


@formats
def test_page_file_path_taken_by_a_folder_is_an_io_error(fmt: str, docs: Documents, out_dir: Path) -> None:
    """A folder where the second page's file would go: the conversion
    stops before anything is moved into place, so page 1 is not left."""
    extension = FORMATS[fmt][1]
    (out_dir / "doc" / f"doc_2{extension}").mkdir(parents=True)
    expect_failure(
        E.IO_ERROR, fmt, docs.simple, out_dir, output_document_per_page=True, image_type=fc.ImageType.PNG
    )


@pytest.mark.parametrize("fmt", ["markdown", "html", "json"])
def test_resource_file_path_taken_by_a_folder_is_an_io_error(fmt: str, docs: Documents, out_dir: Path) -> None:
    (out_dir / "doc_files" / "page1_img2.jpg").mkdir(parents=True)
    expect_failure(E.IO_ERROR, fmt, docs.images, out_dir)


# --- INVALID_ARG ---------------------------------------------------------------------------


@formats
@pytest.mark.parametrize("ranges", ["1-", "x", "0", "3-1", "1,,2", "4", "2-9", "-1", "1;2"])
def test_malformed_page_ranges_are_invalid(fmt: str, ranges: str, docs: Documents, out_dir: Path) -> None:
    expect_failure(E.INVALID_ARG, fmt, docs.simple, out_dir, page_ranges=ranges)


# --- OUT_OF_MEMORY -------------------------------------------------------------------------

OUT_OF_MEMORY_SCRIPT = textwrap.dedent(
    """
    import os, resource, sys
    import FoliantConversion as fc

    source, output = sys.argv[1], sys.argv[2]
    options = fc.ConvertOptions()
    options.image_type = fc.ImageType.PNG
    options.image_scaling = 40.0  # 23800 x 33680 pixels: within the limits, 2.4 GB of samples
    fc.LibraryManager.get_page_count(source, "")  # everything loaded before the limit
    with open("/proc/self/status") as status:
        size_kb = next(int(line.split()[1]) for line in status if line.startswith("VmSize:"))
    limit = size_kb * 1024 + (512 << 20)
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    result = fc.FOLIConversion.start_pdf_to_image(source, "", output, options)
    print(int(result))
    """
)


@pytest.mark.skipif(UNDER_ASAN, reason="the address sanitizer reserves far more address space than any limit")
def test_exhausted_memory_is_out_of_memory(docs: Documents, out_dir: Path) -> None:
    before = snapshot(out_dir)
    done = subprocess.run(
        [sys.executable, "-c", OUT_OF_MEMORY_SCRIPT, str(docs.simple), str(out_dir / "doc.png")],
        capture_output=True,
        text=True,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
        timeout=600,
    )
    assert done.returncode == 0, done.stderr
    assert int(done.stdout.split()[-1]) == int(E.OUT_OF_MEMORY)
    assert snapshot(out_dir) == before


# --- CANCEL --------------------------------------------------------------------------------


def cancelling_after(pages: int) -> tuple[fc.ConvertCallback, list[int]]:
    """A callback that asks to stop once `pages` pages are done, and the
    list of pages it was told about."""
    done: list[int] = []
    callback = fc.ConvertCallback()
    callback.set_progress(lambda current, total: done.append(current))
    callback.set_cancel(lambda: len(done) >= pages)
    return callback, done


@formats
@pytest.mark.parametrize("after", [0, 2])
def test_cancel_writes_nothing_and_keeps_the_old_file(fmt: str, after: int, five_pages: Path, out_dir: Path) -> None:
    # Images go straight into the output's folder so that the old file can
    # sit where the first page's image would go.
    old = out_dir / "doc_1.png" if fmt == "image" else output_path(out_dir, fmt)
    old.write_bytes(b"the previous output")
    callback, done = cancelling_after(after)
    expect_failure(
        E.CANCEL, fmt, five_pages, out_dir, callback=callback, auto_create_folder=False, image_type=fc.ImageType.PNG
    )
    assert done == list(range(1, after + 1))
    assert old.read_bytes() == b"the previous output"


# --- MISSING_ARG (through the library itself: strings cannot be None in Python) -------------


class OptionRecord(ctypes.Structure):
    _fields_ = [
        ("flags", ctypes.c_bool * 14),
        ("padding", ctypes.c_uint8 * 2),
        ("language_count", ctypes.c_int32),
        ("image_scaling", ctypes.c_float),
        ("enums", ctypes.c_int32 * 6),
        ("font_name", ctypes.c_char * 256),
        ("page_ranges", ctypes.c_char * 256),
        ("languages", ctypes.c_void_p),
    ]


def library() -> ctypes.CDLL:
    folder = Path(fc.__file__).resolve().parent
    return ctypes.CDLL(str(folder / "libfoliconversionsdk.so"))


@pytest.mark.parametrize("symbol", ["FOLI_StartPDFToTxt", "FOLI_StartPDFToJson", "FOLI_StartPDFToImage"])
@pytest.mark.parametrize("missing", ["file_path", "output_path"])
def test_null_path_is_a_missing_argument(symbol: str, missing: str, docs: Documents, out_dir: Path) -> None:
    assert ctypes.sizeof(OptionRecord) == 568
    function = getattr(library(), symbol)
    function.restype = ctypes.c_int
    function.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, OptionRecord, ctypes.c_void_p]
    record = OptionRecord()
    record.image_scaling = 1.0
    source = None if missing == "file_path" else str(docs.simple).encode()
    output = None if missing == "output_path" else str(out_dir / "doc.txt").encode()
    assert function(source, b"", output, record, None) == int(E.MISSING_ARG)
    assert snapshot(out_dir) == {}


# --- formats this build cannot write -------------------------------------------------------


@pytest.mark.parametrize("fmt", list(UNIMPLEMENTED))
def test_unimplemented_formats_fail_and_write_nothing(fmt: str, docs: Documents, out_dir: Path) -> None:
    before = snapshot(out_dir)
    result = convert(fmt, docs.simple, output_path(out_dir, fmt))
    assert result != E.SUCCESS
    assert snapshot(out_dir) == before


# --- the input is read only; old outputs are replaced only on success ----------------------


@pytest.mark.parametrize("fmt", list(ALL_FORMATS))
@pytest.mark.parametrize("ranges", ["", "7"], ids=["succeeds", "fails"])
def test_input_file_is_never_written(fmt: str, ranges: str, docs: Documents, tmp_path: Path, out_dir: Path) -> None:
    source = tmp_path / "input.pdf"
    source.write_bytes(docs.simple.read_bytes())
    os.utime(source, ns=(1_000_000_000_000_000_000, 1_000_000_000_000_000_000))
    before = source.stat()
    convert(fmt, source, output_path(out_dir, fmt), page_ranges=ranges)
    after = source.stat()
    assert source.read_bytes() == docs.simple.read_bytes()
    assert (after.st_mtime_ns, after.st_size, after.st_mode) == (before.st_mtime_ns, before.st_size, before.st_mode)


@formats
@pytest.mark.parametrize("alias", ["same", "dotted", "hard-link"])
def test_output_naming_the_input_is_refused(fmt: str, alias: str, docs: Documents, tmp_path: Path) -> None:
    source = tmp_path / "input.pdf"
    source.write_bytes(docs.simple.read_bytes())
    target = {"same": source, "dotted": tmp_path / "." / "input.pdf", "hard-link": tmp_path / "linked.pdf"}[alias]
    if alias == "hard-link":
        os.link(source, target)
    if fmt == "image":  # the image writer names its files itself: make one of them the input
        source.rename(tmp_path / "input_1.png")
        source = tmp_path / "input_1.png"
        target = tmp_path / "input.png"
    result = convert(fmt, source, target, auto_create_folder=False, image_type=fc.ImageType.PNG)
    assert result == E.INVALID_ARG
    assert source.read_bytes() == docs.simple.read_bytes()
    assert not [path for path in tmp_path.rglob(".*") if path.is_file()]


@formats
@pytest.mark.parametrize("ranges", ["1-2", "9"], ids=["succeeds", "fails"])
def test_existing_output_replaced_only_on_success(fmt: str, ranges: str, docs: Documents, out_dir: Path) -> None:
    old = out_dir / "doc_1.png" if fmt == "image" else output_path(out_dir, fmt)
    old.write_bytes(b"the previous output")
    result = convert(
        fmt,
        docs.simple,
        output_path(out_dir, fmt),
        page_ranges=ranges,
        auto_create_folder=False,
        image_type=fc.ImageType.PNG,
    )
    if ranges == "9":
        assert result == E.INVALID_ARG
        assert old.read_bytes() == b"the previous output"
        assert written_files(out_dir) == [old]
        return
    assert result == E.SUCCESS
    assert old.read_bytes() != b"the previous output"
    assert holds_page_text(fmt, [old], "Page 1 heading")
    assert not [path for path in out_dir.rglob(".*")]
