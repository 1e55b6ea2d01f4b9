"""Inputs that once crashed the library or broke its output contract, kept
in engine/fuzz/regressions. Each is a 5-byte option header followed by the
PDF bytes, read as the fuzz target reads it (engine/fuzz/conversion_fuzzer.cpp).
Each runs in a child interpreter, so that a crash fails its own test: it
must end normally, and every conversion must either succeed with output
and no temporary file, or fail and leave nothing behind."""

from __future__ import annotations

import json
import os
import re
import subprocess
import sys
from dataclasses import dataclass, field
from pathlib import Path

import pytest

import FoliantConversion as fc

REGRESSIONS = Path(__file__).resolve().parents[2] / "engine" / "fuzz" / "regressions"
HEADER_SIZE = 5
PASSWORD = "s3cret"
FONT_NAME = 'Courier New", <b>&amp;'
FORMATS = [("txt", ".txt"), ("markdown", ".md"), ("html", ".html"), ("json", ".json"), ("image", ".png"),
           ("word", ".docx"), ("rtf", ".rtf"), ("ofd", ".ofd")]
PAGE_RANGES = ["", "1", "2", "1-2", "2-3,1", "1,1,1", "3-1", "0",
               "1-", "x", " 1 , 2 ", "1-999", "2-2", "99", "1-3", ","]  # fmt: skip


@dataclass
class Plan:
    formats: list[tuple[str, str]]
    password: str
    cancel: bool
    release: bool
    fields: dict[str, object] = field(default_factory=dict)


def decode(header: bytes) -> Plan:
    """The conversions the fuzz target runs for this header."""
    mask = (header[0] & 0x1F) | (((header[4] >> 4) & 0x07) << 5)
    chosen = [fmt for bit, fmt in enumerate(FORMATS) if mask & (1 << bit)] or list(FORMATS)
    flags = header[1]
    plan = Plan(chosen, PASSWORD if header[0] & 0x20 else "", bool(flags & 0x80), bool(header[0] & 0x80))
    plan.fields = {
        "enable_ai_layout": True,
        "contain_page_background_image": bool(header[0] & 0x40),
        "contain_image": bool(flags & 0x01),
        "contain_annotation": bool(flags & 0x02),
        "auto_create_folder": bool(flags & 0x04),
        "output_document_per_page": bool(flags & 0x08),
        "txt_table_format": bool(flags & 0x10),
        "json_contain_table": bool(flags & 0x20),
        "page_layout_mode": fc.PageLayoutMode.BOX if flags & 0x40 else fc.PageLayoutMode.FLOW,
        "html_option": fc.HtmlOption(header[2] & 0x03),
        "image_color_mode": fc.ImageColorMode(((header[2] >> 2) & 0x03) % 3),
        "image_type": fc.ImageType((header[2] >> 4) % 9),
        "image_scaling": ((header[3] & 0x0F) + 1) / 32,
        "page_ranges": PAGE_RANGES[header[3] >> 4],
        "ocr_option": fc.OCROption.ALL,
        "formula_to_image": bool(header[4] & 0x01),
        "font_name": FONT_NAME if header[4] & 0x02 else "",
        "transparent_text": bool(header[4] & 0x04),
        "image_path_enhance": bool(header[4] & 0x08),
    }
    return plan


def files_under(folder: Path) -> list[str]:
    return sorted(str(path.relative_to(folder)) for path in folder.rglob("*"))


def replay(regression: Path, folder: Path) -> list[dict[str, object]]:
    """Runs the conversions of one regression input and records each
    result with what it left in its own output folder."""
    data = regression.read_bytes()
    plan = decode(data[:HEADER_SIZE])
    source = folder / "input.pdf"
    source.write_bytes(data[HEADER_SIZE:])
    fc.LibraryManager.get_page_count(str(source), plan.password)
    options = fc.ConvertOptions()
    for name, value in plan.fields.items():
        setattr(options, name, value)
    records = []
    for name, extension in plan.formats:
        pages_done: list[int] = []
        callback = fc.ConvertCallback()
        callback.set_progress(lambda current, total: pages_done.append(current))
        if plan.cancel:
            callback.set_cancel(lambda: len(pages_done) >= 1)
        output = folder / name
        output.mkdir()
        entry = getattr(fc.FOLIConversion, "start_pdf_to_" + name)
        result = entry(str(source), plan.password, str(output / ("doc" + extension)), options, callback)
        records.append({"format": name, "result": int(result), "files": files_under(output)})
    if plan.release:
        fc.LibraryManager.release()
    return records


@pytest.mark.parametrize(
    "regression",
    sorted(path for path in REGRESSIONS.iterdir() if path.is_file() and not path.name.startswith(".")),
    ids=lambda path: path.name,
)
def test_regression_input_converts_or_fails_cleanly(regression: Path, tmp_path: Path) -> None:
    done = subprocess.run(
        [sys.executable, __file__, str(regression), str(tmp_path)],
        capture_output=True,
        text=True,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
        timeout=600,
    )
    assert done.returncode == 0, f"ended with {done.returncode}:\n{done.stderr[-4000:]}"
    records = json.loads(done.stdout)
    assert [record["format"] for record in records] == [name for name, _ in decode(regression.read_bytes()).formats]
    for record in records:
        files = record["files"]
        assert isinstance(files, list)
        if record["result"] == int(fc.ErrorCode.SUCCESS):
            assert files, record
            assert not [name for name in files if Path(name).name.startswith(".")], record
        else:
            assert files == [], record


def test_giant_text_keeps_its_body_font_size(tmp_path: Path) -> None:
    """Text set at more than a billion points (giant-text) once came out of
    the analysis with a negative body font size."""
    source = tmp_path / "giant.pdf"
    source.write_bytes((REGRESSIONS / "giant-text").read_bytes()[HEADER_SIZE:])
    output = tmp_path / "giant.json"
    assert fc.FOLIConversion.start_pdf_to_json(str(source), "", str(output), fc.ConvertOptions()) == fc.ErrorCode.SUCCESS
    page = json.loads(output.read_text(encoding="utf-8"))["pages"][0]
    sizes = [span["size"] for block in page["blocks"] for line in block["lines"] for span in line["spans"]]
    assert sizes and min(sizes) > 1e9
    assert page["body_font_size"] == max(sizes)


@pytest.mark.parametrize(
    ("regression", "expected"),
    [
        # The last entry's destination is damaged: the others stay.
        ("outline-broken-destination", [(1, "Introduction"), (2, "Background"), (1, "Details")]),
        # Each entry its own next sibling and first child: no outline at all.
        ("outline-cycle", []),
        # 150 levels, each the only child of the one before: the first 64.
        ("outline-deep", [(level, f"level {level}") for level in range(1, 65)]),
    ],
)
def test_damaged_outline_keeps_what_can_be_read(regression: str, expected: list[tuple[int, str]], tmp_path: Path) -> None:
    source = tmp_path / "outline.pdf"
    source.write_bytes((REGRESSIONS / regression).read_bytes()[HEADER_SIZE:])
    output = tmp_path / "outline.json"
    assert fc.FOLIConversion.start_pdf_to_json(str(source), "", str(output), fc.ConvertOptions()) == fc.ErrorCode.SUCCESS
    outline = json.loads(output.read_text(encoding="utf-8"))["document"]["outline"]
    assert [(entry["level"], entry["title"]) for entry in outline] == expected
    assert all(entry["page"] is not None for entry in outline)


def test_header_decoding_matches_the_fuzz_target() -> None:
    """The table of page ranges and the header layout are copied from the
    fuzz target; check them against its source."""
    source = (REGRESSIONS.parent / "conversion_fuzzer.cpp").read_text()
    table = re.search(r"kPageRanges\[16\] = \{(.*?)\};", source, re.S)
    assert table is not None
    assert re.findall(r'"([^"]*)"', table[1]) == PAGE_RANGES
    assert f"constexpr size_t kHeaderSize = {HEADER_SIZE};" in source
    assert f'kPassword = "{PASSWORD}"' in source
    assert 'strcpy(record.font_name, "{}")'.format(FONT_NAME.replace('"', '\\"')) in source


if __name__ == "__main__":
    print(json.dumps(replay(Path(sys.argv[1]), Path(sys.argv[2]))))
