"""Layouts of real documents rebuilt in generated PDFs: narrow columns set
close together (a federal register issue), a two-column index whose letter
headings break the rows of the columns apart, contents entries whose
section numbers stand apart from their titles, numbered paragraphs whose
lines wrap back to the column's edge, and lines of code with wide gaps.
Each is checked for reading order and blocks in the JSON and text output."""

from __future__ import annotations

import json
import re
from pathlib import Path
from typing import Any, cast

import pymupdf
import pytest

import FoliantConversion as fc

JsonObject = dict[str, Any]
TIMES = "tiro"
WORDS = ("the operator shall revise the flight manual and inspect the wiring of the trim system before further "
         "flight while the agency reviews every comment received on this proposal ").split()


def column_lines(count: int, width: float, size: float, seed: int) -> list[str]:
    """Lines of words filled up to `width` points, each ending in a space as
    typesetters draw them."""
    lines, line = [], ""
    k = seed
    while len(lines) < count:
        word = WORDS[k % len(WORDS)]
        k += 1
        candidate = f"{line}{word} "
        if pymupdf.get_text_length(candidate.rstrip(), TIMES, size) > width:
            lines.append(line)
            line = f"{word} "
        else:
            line = candidate
    return lines


def justify(page: pymupdf.Page, left: float, y: float, line: str, width: float) -> None:
    """Draws the words of `line` spread over `width` points, the last one
    with the space after it, as justified text comes out of typesetters."""
    words = line.split()
    lengths = [pymupdf.get_text_length(word, TIMES, 9) for word in words]
    space = (width - sum(lengths)) / max(len(words) - 1, 1)
    x = left
    for k, (word, length) in enumerate(zip(words, lengths)):
        page.insert_text((x, y), word + (" " if k == len(words) - 1 else ""), fontsize=9, fontname=TIMES)
        x += length + space


def make_three_columns(path: Path) -> list[list[str]]:
    """Three columns of justified 9 pt text with gutters of one em and a
    bit, a line of vertical text in the left margin and a line at the foot
    running across all three."""
    doc = pymupdf.open()
    page = doc.new_page(width=612, height=792)
    columns = []
    for number, left in enumerate((45.0, 222.0, 399.0)):
        lines = column_lines(40, 167, 9, seed=7 * number)
        for row, line in enumerate(lines):
            justify(page, left, 70 + 10 * row, line, 167)
        columns.append(lines)
    page.insert_text((20, 700), "printed on recycled paper", fontsize=6, fontname=TIMES, rotate=90)
    page.insert_text((25, 760), "VerDate Sep 2014     16:21 Aug 05, 2020     Jkt 250001     PO 00000     Frm 00004"
                     "     Fmt 4702     Sfmt 4702     E:FRFM06AUP1.SGM     06AUP1", fontsize=6, fontname=TIMES)
    doc.save(path)
    return columns


INDEX = [("A", ["abline", "ace", "add1", "anova", "aov", "aperm", "array", "as.data.frame", "attach"]),
         ("B", ["boxplot", "break", "bruto"]),
         ("C", ["c", "C", "cbind", "coef", "coefficients", "contour", "contrasts", "crossprod", "cut"]),
         ("D", ["data", "data.frame", "density", "det", "detach", "determinant", "dev.list", "dev.next"])]


def make_index(path: Path) -> list[str]:
    """Two columns of index entries with leaders, under letter headings set
    larger, so that the rows of one column fall between those of the other."""
    doc = pymupdf.open()
    page = doc.new_page()
    order = []
    for left, groups in ((90.0, INDEX[:2]), (315.0, INDEX[2:])):
        y = 140.0 if left < 100 else 150.0
        for letter, entries in groups:
            page.insert_text((left, y), letter, fontsize=14, fontname="hebo")
            order.append(letter)
            y += 18
            for number, entry in enumerate(entries):
                dots = " ." * int((190 - pymupdf.get_text_length(entry, "cour", 9)) / 4.5)
                page.insert_text((left, y), entry, fontsize=9, fontname="cour")
                page.insert_text((left + pymupdf.get_text_length(entry, "cour", 9), y), dots, fontsize=9,
                                 fontname=TIMES)
                page.insert_text((left + 200, y), str(10 + number), fontsize=9, fontname=TIMES)
                order.append(entry)
                y += 11
            y += 16
    doc.save(path)
    return order


CONTENTS = [("5", "Models", "84"), ("5.1", "Setting up a model", "84"), ("5.2", "Selecting a model", "87"),
            ("5.3", "Over-parameterization", "91"), ("5.4", "Bayesian model choice", "93"),
            ("5.5", "Model jumping", "94"), ("6", "Convergence", "95"), ("6.1", "Starting values", "95")]


def make_numbered_contents(path: Path) -> None:
    """Contents entries whose section numbers are drawn apart from their
    titles, each title followed by a leader and its page number."""
    doc = pymupdf.open()
    page = doc.new_page()
    for row, (number, title, label) in enumerate(CONTENTS):
        y = 120 + 16 * row
        nested = "." in number
        page.insert_text((90 if nested else 72, y), number, fontsize=10, fontname="hebo" if not nested else TIMES)
        x = 130 if nested else 100
        page.insert_text((x, y), title, fontsize=10, fontname=TIMES)
        dots = " ." * int((440 - x - pymupdf.get_text_length(title, TIMES, 10)) / 5)
        page.insert_text((x + pymupdf.get_text_length(title, TIMES, 10) + 4, y), dots, fontsize=10, fontname=TIMES)
        page.insert_text((500, y), label, fontsize=10, fontname=TIMES)
    doc.save(path)


RUN_IN = [
    ("(1) Before further flight and after accomplishment of all applicable required actions in paragraphs "
     "(g) through (l) of this AD, do all applicable actions identified as required for compliance."),
    ("(2) After the operational readiness flight and before further flight, any mechanical irregularities "
     "that occurred during the flight must be resolved."),
]
NOTE = "the items of the existing equipment list."


def wrap(text: str, first_width: float, width: float) -> list[str]:
    lines, line = [], ""
    for word in text.split():
        candidate = f"{line} {word}".strip()
        if pymupdf.get_text_length(candidate, TIMES, 10) > (width if lines else first_width):
            lines.append(line)
            line = word
        else:
            line = candidate
    return lines + [line]


def note_with_number_first_on_a_line() -> str:
    """A sentence in which "(i)" falls first on a line once wrapped."""
    for filler in range(len(WORDS)):
        text = ("Note 2 to this paragraph: the provisions " + " ".join(WORDS[:filler]) +
                " in figure 10 to paragraph (i) of this AD correspond to " + NOTE)
        if any(line.startswith("(i) ") for line in wrap(text, 260, 270)[1:]):
            return text
    raise AssertionError("no wrapping puts (i) first")


def make_run_in_numbers(path: Path) -> list[str]:
    """Numbered paragraphs with an indented first line whose next lines
    start at the column's edge, left of the number, and a paragraph with a
    line that begins with "(i)" in the middle of its sentence."""
    doc = pymupdf.open()
    page = doc.new_page()
    y = 100.0
    paragraphs = RUN_IN + [note_with_number_first_on_a_line()]
    for text in paragraphs:
        for row, line in enumerate(wrap(text, 260, 270)):
            page.insert_text((82 if row == 0 else 72, y), line, fontsize=10, fontname=TIMES)
            y += 12
        y += 4
    doc.save(path)
    return paragraphs


BIBTEX = ["@Manual{,", "  title        = {R: A Language and Environment},", "  author       = {{R Core Team}},",
          "  organization = {R Foundation for Statistical Computing},", "  year         = {2023},", "}"]


def make_spaced_code(path: Path) -> None:
    """A listing whose lines are drawn in pieces: the name, then its value
    aligned many spaces further right, as a typesetter places them."""
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((72, 90), "Cite the manual as follows.", fontsize=10, fontname=TIMES)
    cell = pymupdf.get_text_length("x", "cour", 9)
    for row, line in enumerate(BIBTEX):
        y = 110 + 11 * row
        match = re.match(r"(\s*\S+)(\s+)(=.*)", line)
        if match is None:
            page.insert_text((90, y), line, fontsize=9, fontname="cour")
            continue
        name, gap, value = match.groups()
        page.insert_text((90, y), name, fontsize=9, fontname="cour")
        page.insert_text((90 + cell * (len(name) + len(gap)), y), value, fontsize=9, fontname="cour")
    page.insert_text((72, 190), "The entry names the authors as one body.", fontsize=10, fontname=TIMES)
    doc.save(path)


@pytest.fixture(scope="module")
def made(tmp_path_factory: pytest.TempPathFactory) -> dict[str, tuple[Path, Any]]:
    folder = tmp_path_factory.mktemp("page-layout")
    built: dict[str, tuple[Path, Any]] = {}
    for name, make in [("three_columns", make_three_columns), ("index", make_index),
                       ("numbered_contents", make_numbered_contents), ("run_in", make_run_in_numbers),
                       ("spaced_code", make_spaced_code)]:
        path = folder / f"{name}.pdf"
        built[name] = (path, make(path))
    return built


def convert(source: Path, out_dir: Path, fmt: str = "json") -> str:
    output = out_dir / ("out.json" if fmt == "json" else "out.txt")
    result = getattr(fc.FOLIConversion, f"start_pdf_to_{fmt}")(str(source), "", str(output), fc.ConvertOptions())
    assert result == fc.ErrorCode.SUCCESS
    return output.read_text(encoding="utf-8")


def blocks(source: Path, out_dir: Path) -> list[JsonObject]:
    return cast(list[JsonObject], json.loads(convert(source, out_dir))["pages"][0]["blocks"])


def words(text: str) -> list[str]:
    return re.findall(r"[\w.()]+", text)


def test_close_columns_are_read_one_after_another(made: dict[str, tuple[Path, Any]], out_dir: Path) -> None:
    path, columns = made["three_columns"]
    text = convert(path, out_dir, "txt")
    expected = words(" ".join(" ".join(lines) for lines in columns))
    found = words(text)
    start = found.index(expected[0])
    assert found[start:start + len(expected)] == expected
    # No line of one column is joined to the line beside it.
    for block in blocks(path, out_dir):
        for line in block.get("lines", []):
            assert line["box"][2] - line["box"][0] < 180 or "VerDate" in block["text"]


def test_index_columns_with_letter_headings(made: dict[str, tuple[Path, Any]], out_dir: Path) -> None:
    path, order = made["index"]
    found = [block["text"].split(" ")[0] for block in blocks(path, out_dir)]
    assert found == order


def test_section_numbers_stay_with_their_contents_entries(made: dict[str, tuple[Path, Any]], out_dir: Path) -> None:
    path, _ = made["numbered_contents"]
    entries = [(block["text"], block["page_label"]) for block in blocks(path, out_dir)
               if block["type"] == "contents_entry"]
    assert entries == [(f"{number} {title}", label) for number, title, label in CONTENTS]


def test_numbered_paragraphs_wrap_back_to_the_edge(made: dict[str, tuple[Path, Any]], out_dir: Path) -> None:
    path, paragraphs = made["run_in"]
    found = [(block["type"], block.get("marker"), block["text"]) for block in blocks(path, out_dir)]
    assert found == [("list_item", "(1)", paragraphs[0][4:]), ("list_item", "(2)", paragraphs[1][4:]),
                     ("paragraph", None, paragraphs[2])]


def test_code_pieces_far_apart_make_one_line(made: dict[str, tuple[Path, Any]], out_dir: Path) -> None:
    path, _ = made["spaced_code"]
    found = blocks(path, out_dir)
    assert [block["type"] for block in found] == ["paragraph", "code", "paragraph"]
    assert found[1]["text"] == "\n".join(BIBTEX)
