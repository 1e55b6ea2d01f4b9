"""Plain-text output: the text itself, blocks and pages, page selection,
table layout, one file per page, and replacing an existing file only when
the conversion succeeds."""

from __future__ import annotations

import re
import subprocess
import unicodedata
from collections.abc import Callable
from pathlib import Path

import pytest

import FoliantConversion as fc
from documents import (
    BULLETS,
    MERGED_TABLE,
    NESTED_LIST,
    NUMBERED,
    PARAGRAPH_1,
    PARAGRAPH_2,
    SECTION,
    TABLE_HEADER,
    TABLE_ROWS,
    TITLE,
    WIDE_TABLE,
    WRAPPED_CELL_TABLE,
    Documents,
)

STYLED_SENTENCE = "This sentence has a bold word and an italic one."
BULLET = re.compile(r"^[\u2022\u00b7] ")  # the bullet as the test document prints it


def convert(
    source: Path,
    output: Path,
    *,
    password: str = "",
    callback: fc.ConvertCallback | None = None,
    **fields: object,
) -> fc.ErrorCode:
    options = fc.ConvertOptions()
    for name, value in fields.items():
        setattr(options, name, value)
    return fc.FOLIConversion.start_pdf_to_txt(str(source), password, str(output), options, callback)


def blocks(text: str) -> list[str]:
    """The blocks of one page: runs of lines between blank lines."""
    return [block.strip("\n") for block in re.split(r"\n[ \t]*\n", text) if block.strip()]


def normalise_bullet(block: str) -> str:
    return BULLET.sub("\u2022 ", block)


def display_width(text: str) -> int:
    return sum(2 if unicodedata.east_asian_width(char) in "WF" else 1 for char in text)


def cell_columns(line: str, cells: list[str]) -> list[int]:
    """Display column at which each cell's text starts in `line`."""
    columns = []
    position = 0
    for cell in cells:
        index = line.index(cell, position)
        columns.append(display_width(line[:index]))
        position = index + len(cell)
    return columns


def table_lines(text: str, rows: list[list[str]]) -> list[str]:
    """The output lines holding the given rows, one line per row."""
    lines = text.splitlines()
    found = []
    for cells in rows:
        matches = [line for line in lines if line.split() == cells]
        assert len(matches) == 1, f"row {cells} not found once in:\n{text}"
        found.append(matches[0])
    return found


def test_structured_blocks_match_the_document(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "structured.txt"
    assert convert(docs.structured, output) == fc.ErrorCode.SUCCESS
    expected = [
        TITLE,
        SECTION,
        PARAGRAPH_1,
        PARAGRAPH_2,
        *(f"\u2022 {item}" for item in BULLETS),
        *(f"{number}. {item}" for number, item in enumerate(NUMBERED, 1)),
        STYLED_SENTENCE,
    ]
    assert [normalise_bullet(block) for block in blocks(output.read_text(encoding="utf-8"))] == expected


def test_pages_are_separated_by_form_feeds(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "simple.txt"
    assert convert(docs.simple, output) == fc.ErrorCode.SUCCESS
    pages = output.read_text(encoding="utf-8").split("\f")
    assert [blocks(page) for page in pages] == [
        [f"Page {number} heading", f"Body text of page {number}."] for number in (1, 2, 3)
    ]


def test_images_are_left_out(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "images.txt"
    assert convert(docs.images, output) == fc.ErrorCode.SUCCESS
    assert blocks(output.read_text(encoding="utf-8")) == ["Two pictures follow.", "Text below the pictures."]
    assert sorted(path.name for path in out_dir.iterdir()) == ["images.txt"]


@pytest.mark.parametrize(
    ("ranges", "pages"),
    [("2", [2]), ("1,3", [1, 3]), ("3,1", [3, 1]), ("2-3", [2, 3]), (" 1 - 2 ", [1, 2]), ("", [1, 2, 3])],
)
def test_page_ranges_choose_the_pages(docs: Documents, out_dir: Path, ranges: str, pages: list[int]) -> None:
    output = out_dir / "simple.txt"
    assert convert(docs.simple, output, page_ranges=ranges) == fc.ErrorCode.SUCCESS
    written = output.read_text(encoding="utf-8").split("\f")
    assert [blocks(page)[0] for page in written] == [f"Page {number} heading" for number in pages]


@pytest.mark.parametrize("per_page", [False, True])
@pytest.mark.parametrize("ranges", ["3-1", "0", "9", "1-x", "1,,2", "-2"])
def test_invalid_page_ranges_write_nothing(docs: Documents, out_dir: Path, ranges: str, per_page: bool) -> None:
    result = convert(docs.simple, out_dir / "simple.txt", page_ranges=ranges, output_document_per_page=per_page)
    assert result == fc.ErrorCode.INVALID_ARG
    assert list(out_dir.iterdir()) == []


def pdftotext_words(source: Path, *flags: str) -> list[str]:
    result = subprocess.run(["pdftotext", *flags, str(source), "-"], capture_output=True, check=True)
    return result.stdout.decode("utf-8").split()


@pytest.mark.parametrize(
    ("name", "flags"),
    [
        ("simple", ()),
        ("structured", ("-layout",)),
        ("columns", ()),
        ("links", ()),
        ("images", ()),
        ("special_text", ()),
        ("ruled_table", ("-layout",)),
        ("wide_table", ("-layout",)),
    ],
)
def test_words_match_pdftotext(docs: Documents, out_dir: Path, name: str, flags: tuple[str, ...]) -> None:
    source = getattr(docs, name)
    output = out_dir / f"{name}.txt"
    assert convert(source, output) == fc.ErrorCode.SUCCESS
    assert output.read_text(encoding="utf-8").split() == pdftotext_words(source, *flags)


@pytest.mark.parametrize(
    ("name", "rows"),
    [("ruled_table", [TABLE_HEADER, *TABLE_ROWS]), ("wide_table", WIDE_TABLE)],
)
def test_table_columns_are_aligned(docs: Documents, out_dir: Path, name: str, rows: list[list[str]]) -> None:
    output = out_dir / f"{name}.txt"
    assert convert(getattr(docs, name), output, txt_table_format=True) == fc.ErrorCode.SUCCESS
    text = output.read_text(encoding="utf-8")
    lines = table_lines(text, rows)
    # The rows are consecutive lines of one block.
    all_lines = text.splitlines()
    first = all_lines.index(lines[0])
    assert all_lines[first : first + len(lines)] == lines
    # Each column starts at one display column in every row, apart from
    # its neighbour by at least two spaces.
    starts = [cell_columns(line, cells) for line, cells in zip(lines, rows)]
    assert all(row == starts[0] for row in starts), "\n".join(lines)
    widest = [max(display_width(cells[column]) for cells in rows) for column in range(len(rows[0]))]
    for column in range(1, len(widest)):
        assert starts[0][column] >= starts[0][column - 1] + widest[column - 1] + 2


@pytest.fixture(scope="module")
def layout_docs(extra_document: Callable[[str], Path]) -> dict[str, Path]:
    return {name: extra_document(name) for name in ("nested_list", "merged_table", "wrapped_cell_table")}


def test_nested_list_items_are_indented(layout_docs: dict[str, Path], out_dir: Path) -> None:
    output = out_dir / "nested.txt"
    assert convert(layout_docs["nested_list"], output) == fc.ErrorCode.SUCCESS
    expected = [f"{'  ' * level}{marker} {text}" for level, marker, text in NESTED_LIST]
    assert [normalise_bullet(block) for block in blocks(output.read_text(encoding="utf-8"))] == expected


def test_spanning_cells_keep_their_columns(layout_docs: dict[str, Path], out_dir: Path) -> None:
    output = out_dir / "merged.txt"
    assert convert(layout_docs["merged_table"], output, txt_table_format=True) == fc.ErrorCode.SUCCESS
    lines = output.read_text(encoding="utf-8").splitlines()
    # Each cell starts at the column where its first spanned column starts.
    starts: dict[int, set[int]] = {}
    for (row, column), (text, _, _) in MERGED_TABLE.items():
        line = lines[row]
        assert text in line.split(), f"{text!r} is not in row {row}: {line!r}"
        starts.setdefault(column, set()).add(line.index(text))
    assert all(len(found) == 1 for found in starts.values()), starts
    first, second, third = (min(starts[column]) for column in range(3))
    assert first == 0 < second < third


def test_lines_of_a_cell_stay_in_its_column(layout_docs: dict[str, Path], out_dir: Path) -> None:
    output = out_dir / "wrapped.txt"
    assert convert(layout_docs["wrapped_cell_table"], output, txt_table_format=True) == fc.ErrorCode.SUCCESS
    lines = output.read_text(encoding="utf-8").splitlines()
    header, (name, note, quantity), last = WRAPPED_CELL_TABLE
    assert len(lines) == 4, lines
    notes_column = lines[0].index(header[1])
    quantity_column = lines[0].index(header[2])
    # The note's first line sits in its row, the rest below it in the same column.
    first, rest = lines[1][notes_column:quantity_column].strip(), lines[2][notes_column:].strip()
    assert f"{first} {rest}" == note
    assert lines[1].split()[0] == name and lines[1][quantity_column:].strip() == quantity
    assert lines[2][:notes_column].strip() == "" and lines[2].index(rest) == notes_column
    assert lines[3].split() == [last[0], last[1], last[2]] and lines[3].index(last[2]) == quantity_column


def test_tables_without_formatting_are_plain_lines(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "ruled_table.txt"
    assert convert(docs.ruled_table, output, txt_table_format=False) == fc.ErrorCode.SUCCESS
    text = output.read_text(encoding="utf-8")
    cell_words = [word for row in [TABLE_HEADER, *TABLE_ROWS] for word in row]
    assert sorted(word for word in text.split() if word in cell_words) == sorted(cell_words)
    assert not any("  " in line.strip() for line in text.splitlines()), text


def page_folder(out_dir: Path, stem: str, auto_create_folder: bool) -> Path:
    return out_dir / stem if auto_create_folder else out_dir


@pytest.mark.parametrize("auto_create_folder", [True, False])
@pytest.mark.parametrize(("ranges", "pages"), [("", [1, 2, 3]), ("3,1", [3, 1])])
def test_one_file_per_page(
    docs: Documents, out_dir: Path, auto_create_folder: bool, ranges: str, pages: list[int]
) -> None:
    output = out_dir / "report.txt"
    result = convert(
        docs.simple,
        output,
        output_document_per_page=True,
        auto_create_folder=auto_create_folder,
        page_ranges=ranges,
    )
    assert result == fc.ErrorCode.SUCCESS
    folder = page_folder(out_dir, "report", auto_create_folder)
    assert sorted(path.name for path in folder.iterdir()) == sorted(f"report_{page}.txt" for page in pages)
    assert not output.exists()
    for page in pages:
        text = (folder / f"report_{page}.txt").read_text(encoding="utf-8")
        assert "\f" not in text
        assert blocks(text) == [f"Page {page} heading", f"Body text of page {page}."]


def cancel_after_first_page() -> fc.ConvertCallback:
    asked = []

    def cancel() -> bool:
        asked.append(True)
        return len(asked) > 1

    callback = fc.ConvertCallback()
    callback.set_cancel(cancel)
    return callback


FAILURES: dict[str, Callable[[Documents, Path], fc.ErrorCode]] = {
    "wrong password": lambda docs, output: convert(docs.encrypted, output, password="wrong"),
    "bad page range": lambda docs, output: convert(docs.simple, output, page_ranges="5"),
    "cancelled midway": lambda docs, output: convert(docs.simple, output, callback=cancel_after_first_page()),
    "damaged input": lambda docs, output: convert(docs.damaged, output),
}


@pytest.mark.parametrize("failure", sorted(FAILURES))
def test_existing_output_is_replaced_only_on_success(docs: Documents, out_dir: Path, failure: str) -> None:
    output = out_dir / "kept.txt"
    output.write_text("earlier content\n", encoding="utf-8")
    assert FAILURES[failure](docs, output) != fc.ErrorCode.SUCCESS
    assert output.read_text(encoding="utf-8") == "earlier content\n"
    assert [path.name for path in out_dir.iterdir()] == ["kept.txt"]  # no temporary file is left

    assert convert(docs.simple, output) == fc.ErrorCode.SUCCESS
    assert blocks(output.read_text(encoding="utf-8").split("\f")[0])[0] == "Page 1 heading"
