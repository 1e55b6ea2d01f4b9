"""Characters drawn entirely outside the page are left out of every text
output, whole text objects and the off-page end of a line alike, on an
upright and on a turned page; characters near the edge stay, and text that
is both filled and used as a clip comes out once."""

from __future__ import annotations

import json
from collections.abc import Callable
from pathlib import Path
from typing import Any

import pytest

import FoliantConversion as fc
from documents import OFF_PAGE_DROPPED, OFF_PAGE_KEPT, make_off_page


@pytest.fixture(scope="module")
def off_page(tmp_path_factory: pytest.TempPathFactory) -> Path:
    path = tmp_path_factory.mktemp("off-page") / "off_page.pdf"
    make_off_page(path)
    return path


Start = Callable[..., fc.ErrorCode]


def convert(start: Start, source: Path, output: Path) -> str:
    assert start(str(source), "", str(output), fc.ConvertOptions(), None) == fc.ErrorCode.SUCCESS
    return output.read_text(encoding="utf-8")


def json_pages(source: Path, out_dir: Path) -> list[Any]:
    result = json.loads(convert(fc.FOLIConversion.start_pdf_to_json, source, out_dir / "out.json"))
    return list(result["pages"])


def page_spans(page: Any) -> list[Any]:
    return [span for block in page["blocks"] for line in block.get("lines", []) for span in line["spans"]]


def assert_kept_once_and_dropped(text: str, kept: list[str]) -> None:
    for phrase in kept:
        assert text.count(phrase) == 1, f"{phrase!r} should appear once in {text!r}"
    for word in OFF_PAGE_DROPPED:
        assert word not in text


@pytest.mark.parametrize("start, suffix", [(fc.FOLIConversion.start_pdf_to_txt, ".txt"),
                                           (fc.FOLIConversion.start_pdf_to_markdown, ".md")],
                         ids=["txt", "markdown"])
def test_text_outputs_leave_out_off_page_characters(off_page: Path, out_dir: Path, start: Start,
                                                    suffix: str) -> None:
    text = convert(start, off_page, out_dir / f"out{suffix}")
    assert_kept_once_and_dropped(text, [phrase for page in OFF_PAGE_KEPT for phrase in page])


def test_each_page_keeps_its_own_text(off_page: Path, out_dir: Path) -> None:
    pages = convert(fc.FOLIConversion.start_pdf_to_txt, off_page, out_dir / "out.txt").split("\f")
    assert len(pages) == len(OFF_PAGE_KEPT)
    for text, kept in zip(pages, OFF_PAGE_KEPT):
        assert_kept_once_and_dropped(text, kept)
        assert [line for line in text.splitlines() if line.strip()] == kept


def test_json_spans_lie_on_their_page(off_page: Path, out_dir: Path) -> None:
    pages = json_pages(off_page, out_dir)
    assert len(pages) == len(OFF_PAGE_KEPT)
    for page, kept in zip(pages, OFF_PAGE_KEPT):
        spans = page_spans(page)
        assert_kept_once_and_dropped(" ".join(str(span["text"]) for span in spans), kept)
        width, height = float(page["width"]), float(page["height"])
        for span in spans:
            x0, y0, x1, y1 = span["box"]
            assert x1 > 0 and y1 > 0 and x0 < width and y0 < height, f"{span['text']!r} at {span['box']}"
