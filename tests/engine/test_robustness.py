"""Inputs built to crash or stall a converter, through every format: each
conversion ends within its work budget, in a child interpreter so that a
crash fails only its own test, and either succeeds with a real output or
fails with a clear result and leaves nothing behind."""

from __future__ import annotations

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

import FoliantConversion as fc
import hostile_documents
from conversions import FORMATS
from reference_tools import regression_file

E = fc.ErrorCode

CHILD = """
import json, sys
import FoliantConversion as fc
from pathlib import Path
source, out_dir, fields = sys.argv[1], Path(sys.argv[2]), json.loads(sys.argv[3])
options = fc.ConvertOptions()
for name, value in fields.items():
    setattr(options, name, value)
records = {}
for fmt, extension in zip(sys.argv[4::2], sys.argv[5::2]):
    folder = out_dir / fmt
    folder.mkdir()
    entry = getattr(fc.FOLIConversion, "start_pdf_to_" + fmt)
    result = entry(source, "", str(folder / ("doc" + extension)), options)
    records[fmt] = {"result": int(result), "files": sorted(str(p.relative_to(folder)) for p in folder.rglob("*"))}
print(json.dumps(records))
"""


def convert_in_child(source: Path, formats: list[str], out_dir: Path, **fields: object) -> dict[str, dict[str, object]]:
    """Converts `source` to each format in a child interpreter, into
    out_dir/<format>/doc<ext>; the result and files of each."""
    pairs = [item for fmt in formats for item in (fmt, FORMATS[fmt][1])]
    done = subprocess.run(
        [sys.executable, "-c", CHILD, str(source), str(out_dir), json.dumps(fields), *pairs],
        capture_output=True, text=True, timeout=600,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
    )
    assert done.returncode == 0, f"the conversion ended with {done.returncode}:\n{done.stderr[-3000:]}"
    records: dict[str, dict[str, object]] = json.loads(done.stdout)
    return records


def assert_clean_outcome(record: dict[str, object]) -> None:
    files = record["files"]
    assert isinstance(files, list)
    if record["result"] == int(E.SUCCESS):
        assert files and not [name for name in files if Path(name).name.startswith(".")], record
    else:
        assert files == [], record


def test_exponential_form_fanout_stops_at_the_work_budget(out_dir: Path) -> None:
    """30 nested forms, each drawing the next twice: 2^30 leaf draws. The
    page stops drawing at its work budget and converts what it drew."""
    records = convert_in_child(regression_file("form-fanout-2pow30.pdf"), sorted(FORMATS), out_dir,
                               image_scaling=0.25)
    for record in records.values():
        assert record["result"] == int(E.SUCCESS)
        assert_clean_outcome(record)
    assert "leaf" in (out_dir / "txt" / "doc.txt").read_text(encoding="utf-8")


def test_calculator_function_nested_100000_deep_converts(out_dir: Path) -> None:
    """Braces nested 100,000 deep in a shading's function overflowed the
    stack in every text format; the function is emptied and the page's text
    converts."""
    records = convert_in_child(regression_file("type4-function-nesting.pdf"), sorted(FORMATS), out_dir,
                               image_scaling=0.25)
    assert {fmt: record["result"] for fmt, record in records.items()} == {fmt: int(E.SUCCESS) for fmt in FORMATS}
    assert "Hello synthetic" in (out_dir / "txt" / "doc.txt").read_text(encoding="utf-8")


# Structures nested far deeper than any real file, each with text outside
# them (kept) and, for forms, text at the bottom (left out, past the bound).
NESTED = {
    "nested_forms": ["Before the forms", "After the forms"],
    "nested_patterns": ["Before the patterns", "After the patterns"],
    "nested_soft_masks": ["Before the masks"],
    "type4_nesting": ["Beside the shading"],
    "stitching_chain": ["Beside the shading"],
    "colour_space_chain": ["Beside the colours"],
}


@pytest.mark.parametrize("structure", sorted(NESTED))
def test_deep_nesting_is_cut_and_the_rest_converts(structure: str, tmp_path: Path) -> None:
    source = tmp_path / f"{structure}.pdf"
    getattr(hostile_documents, f"make_{structure}")(source, 3000)
    out_dir = tmp_path / "out"
    out_dir.mkdir()
    records = convert_in_child(source, sorted(FORMATS), out_dir, image_scaling=0.25)
    for record in records.values():
        assert record["result"] == int(E.SUCCESS), records
        assert_clean_outcome(record)
    text = (out_dir / "txt" / "doc.txt").read_text(encoding="utf-8")
    assert all(words in text for words in NESTED[structure]), text
    assert "At the bottom" not in text


def test_value_nested_beyond_the_parser_is_a_page_error_not_a_blank_page(tmp_path: Path) -> None:
    """MuPDF cannot read a page dictionary holding a value nested 300 deep
    and made a blank page of it; every format now reports the page."""
    source = tmp_path / "deep-value.pdf"
    hostile_documents.make_deep_page_value(source)
    out_dir = tmp_path / "out"
    out_dir.mkdir()
    records = convert_in_child(source, sorted(FORMATS), out_dir)
    assert {fmt: record["result"] for fmt, record in records.items()} == {fmt: int(E.PDF_PAGE_ERROR) for fmt in FORMATS}
    assert all(record["files"] == [] for record in records.values())


def slow_page_callback() -> tuple[fc.ConvertCallback, list[int], list[int]]:
    """A callback that lets the page start and asks to stop at the next
    poll, recording the pages reported done and the polls made."""
    done: list[int] = []
    polls: list[int] = []
    callback = fc.ConvertCallback()
    callback.set_progress(lambda current, total: done.append(current))

    def cancel() -> bool:
        polls.append(len(done))
        return len(polls) > 1

    callback.set_cancel(cancel)
    return callback, done, polls


@pytest.mark.parametrize("fmt", ["txt", "image"])
def test_cancel_reaches_inside_a_long_page(fmt: str, out_dir: Path) -> None:
    """The one page of the fan-out file runs long: the cancel callable is
    asked again while it runs, and its answer stops the page before it is
    done; nothing is written."""
    source = regression_file("form-fanout-2pow30.pdf")
    callback, done, polls = slow_page_callback()
    entry, extension = FORMATS[fmt]
    result = entry(str(source), "", str(out_dir / ("doc" + extension)), fc.ConvertOptions(), callback)
    assert result == E.CANCEL
    assert done == [] and polls == [0, 0]
    assert list(out_dir.iterdir()) == []


def test_page_count_comes_from_the_page_tree_not_its_declared_count(tmp_path: Path, out_dir: Path) -> None:
    """One page under /Count 2147483647 made the library count (and try to
    convert) two billion pages."""
    source = tmp_path / "huge-count.pdf"
    hostile_documents.make_huge_page_count(source)
    assert fc.LibraryManager.get_page_count(str(source), "") == 1
    output = out_dir / "doc.txt"
    assert fc.FOLIConversion.start_pdf_to_txt(str(source), "", str(output), fc.ConvertOptions()) == E.SUCCESS
    assert "The only page" in output.read_text(encoding="utf-8")
    options = fc.ConvertOptions()
    options.page_ranges = "2"
    assert fc.FOLIConversion.start_pdf_to_txt(str(source), "", str(output), options) == E.INVALID_ARG


@pytest.mark.parametrize(("depth", "pages"), [(32, 1), (2000, -int(E.PDF_FORMAT_ERROR))])
def test_page_tree_depth_is_bounded(depth: int, pages: int, tmp_path: Path) -> None:
    source = tmp_path / "deep-tree.pdf"
    hostile_documents.make_deep_page_tree(source, depth)
    assert fc.LibraryManager.get_page_count(str(source), "") == pages


@pytest.mark.parametrize("fmt", ["markdown", "html", "json"])
@pytest.mark.parametrize("damage", ["truncated_jpeg", "headless_jpeg"])
def test_a_damaged_jpeg_is_not_copied_as_if_whole(fmt: str, damage: str, tmp_path: Path, out_dir: Path) -> None:
    """A JPEG cut short or without its start marker was copied byte for
    byte into the image files; it is decoded as far as it goes and written
    as a PNG that decodes."""
    from PIL import Image

    source = tmp_path / f"{damage}.pdf"
    getattr(hostile_documents, f"make_{damage}")(source)
    entry, extension = FORMATS[fmt]
    assert entry(str(source), "", str(out_dir / ("doc" + extension)), fc.ConvertOptions()) == E.SUCCESS
    images = sorted((out_dir / "doc_files").iterdir())
    assert [path.suffix for path in images] == [".png"]
    with Image.open(images[0]) as image:
        image.load()
        assert image.size == (64, 48)


def test_callbacks_of_concurrent_conversions_arrive_on_their_own_threads(tmp_path: Path) -> None:
    """Each conversion works on a thread of the library's; its progress and
    cancel calls still reach Python on the thread that started it."""
    import threading
    from concurrent.futures import ThreadPoolExecutor

    from documents import make_simple

    source = tmp_path / "three.pdf"
    make_simple(source)

    def convert(index: int) -> tuple[int, set[int], list[tuple[int, int]], int]:
        reports: list[tuple[int, int]] = []
        threads: set[int] = set()
        polls: list[int] = []
        callback = fc.ConvertCallback()
        callback.set_progress(lambda current, total: (reports.append((current, total)),
                                                      threads.add(threading.get_ident())))
        callback.set_cancel(lambda: bool(polls.append(threading.get_ident())))
        fmt = sorted(FORMATS)[index % len(FORMATS)]
        entry, extension = FORMATS[fmt]
        folder = tmp_path / str(index)
        folder.mkdir()
        result = entry(str(source), "", str(folder / ("doc" + extension)), fc.ConvertOptions(), callback)
        assert result == E.SUCCESS, fmt
        return threading.get_ident(), threads | set(polls), reports, len(polls)

    with ThreadPoolExecutor(max_workers=4) as pool:
        outcomes = list(pool.map(convert, range(16)))
    for caller, seen, reports, polls in outcomes:
        assert seen == {caller}
        assert reports == [(1, 3), (2, 3), (3, 3)]
        assert polls >= 4  # before each page and after the last
