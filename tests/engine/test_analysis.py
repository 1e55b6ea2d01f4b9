"""Page analysis seen through the JSON output: reading order, paragraphs,
headings, lists, tables and images on generated documents whose content
is known exactly, and text fidelity against pdftotext."""

from __future__ import annotations

import json
import shutil
import subprocess
from collections.abc import Callable
from pathlib import Path
from typing import Any, cast

import pytest

import FoliantConversion as fc
import documents as d
from documents import Documents

BULLET_MARKERS = {"\u2022", "\u00b7"}  # the base-14 fonts draw U+2022 as a middle dot

JsonObject = dict[str, Any]


def convert(source: Path, out_dir: Path, **options: object) -> JsonObject:
    record = fc.ConvertOptions()
    for name, value in options.items():
        setattr(record, name, value)
    output = out_dir / "analysis.json"
    result = fc.FOLIConversion.start_pdf_to_json(str(source), "", str(output), record)
    assert result == fc.ErrorCode.SUCCESS
    return cast(JsonObject, json.loads(output.read_text(encoding="utf-8")))


def page_blocks(source: Path, out_dir: Path, page: int = 0, **options: object) -> list[JsonObject]:
    return cast(list[JsonObject], convert(source, out_dir, **options)["pages"][page]["blocks"])


def texts(blocks: list[JsonObject]) -> list[str]:
    return [block["text"] for block in blocks if "text" in block]


def table_grid(table: JsonObject) -> list[list[str]]:
    grid = [[""] * table["columns"] for _ in range(table["rows"])]
    for cell in table["cells"]:
        grid[cell["row"]][cell["column"]] = cell["text"]
    return grid


@pytest.fixture(scope="module")
def extra(extra_document: Callable[[str], Path]) -> dict[str, Path]:
    names = (
        "hyphenated",
        "report",
        "merged_table",
        "nested_list",
        "running_header",
        "code_listing",
        "chapters",
    )
    return {name: extra_document(name) for name in names}


def document(docs: Documents, extra: dict[str, Path], name: str) -> Path:
    return extra[name] if name in extra else getattr(docs, name)


# ------------------------------------------------------------ reading order


def test_left_column_is_read_before_the_right_one(docs: Documents, out_dir: Path) -> None:
    blocks = page_blocks(docs.columns, out_dir)
    assert texts(blocks) == [" ".join(d.LEFT_COLUMN), " ".join(d.RIGHT_COLUMN)]
    assert [block["type"] for block in blocks] == ["paragraph", "paragraph"]


def test_full_width_paragraph_ends_the_columns_above_it(extra: dict[str, Path], out_dir: Path) -> None:
    blocks = page_blocks(extra["report"], out_dir)
    expected = [d.REPORT_TITLE] + [text.strip() for text in d.REPORT_PARAGRAPHS]
    assert texts(blocks) == expected
    assert blocks[0]["type"] == "heading" and blocks[0]["level"] == 1


def test_running_header_and_footer_stay_outside_the_columns(extra: dict[str, Path], out_dir: Path) -> None:
    blocks = page_blocks(extra["running_header"], out_dir)
    assert texts(blocks) == [d.RUNNING_HEADER, " ".join(d.LONG_COLUMN), " ".join(d.SHORT_COLUMN), d.RUNNING_FOOTER]


def test_images_take_their_place_in_reading_order(docs: Documents, out_dir: Path) -> None:
    blocks = page_blocks(docs.images, out_dir)
    assert [block["type"] for block in blocks] == ["paragraph", "image", "image", "paragraph"]
    assert [block["box"] for block in blocks if block["type"] == "image"] == [[72, 100, 232, 200], [300, 100, 460, 220]]


# ----------------------------------------------- paragraphs, headings, lists


def test_structured_page_blocks(docs: Documents, out_dir: Path) -> None:
    blocks = page_blocks(docs.structured, out_dir)
    summary = [(block["type"], block.get("level"), block["text"]) for block in blocks]
    assert summary == [
        ("heading", 1, d.TITLE),
        ("heading", 2, d.SECTION),
        ("paragraph", None, d.PARAGRAPH_1),
        ("paragraph", None, d.PARAGRAPH_2),
        *[("list_item", 0, item) for item in d.BULLETS],
        *[("list_item", 0, item) for item in d.NUMBERED],
        ("paragraph", None, "This sentence has a bold word and an italic one."),
    ]
    bullets = [block for block in blocks if block["type"] == "list_item" and not block["ordered"]]
    numbered = [block for block in blocks if block["type"] == "list_item" and block["ordered"]]
    assert len(bullets) == len(d.BULLETS) and {block["marker"] for block in bullets} <= BULLET_MARKERS
    assert [block["marker"] for block in numbered] == ["1.", "2.", "3."]


def test_list_item_lines_hold_no_marker(docs: Documents, out_dir: Path) -> None:
    items = [block for block in page_blocks(docs.structured, out_dir) if block["type"] == "list_item"]
    first_spans = [block["lines"][0]["spans"][0]["text"] for block in items]
    assert [text.strip() for text in first_spans] == d.BULLETS + d.NUMBERED
    for block in items:
        assert block["box"][0] >= 94  # the item's text starts right of its marker (x 80)


def test_nested_list_levels_follow_indentation(extra: dict[str, Path], out_dir: Path) -> None:
    blocks = page_blocks(extra["nested_list"], out_dir)
    assert [(block["type"], block["level"], block["text"]) for block in blocks] == [
        ("list_item", level, text) for level, _, text in d.NESTED_LIST
    ]
    assert [block["marker"] for block in blocks][1:3] == ["-", "-"]
    assert len(blocks[0]["lines"]) == 2  # the wrapped line stays with its item


def test_hyphenated_words_are_joined_and_compounds_kept(extra: dict[str, Path], out_dir: Path) -> None:
    assert texts(page_blocks(extra["hyphenated"], out_dir)) == [d.HYPHENATED_TEXT]


@pytest.mark.parametrize("name", ["simple", "links"])
def test_body_text_is_not_a_heading(docs: Documents, out_dir: Path, name: str) -> None:
    pages = convert(getattr(docs, name), out_dir)["pages"]
    for page in pages:
        kinds = {block["text"]: block["type"] for block in page["blocks"]}
        body = [text for text in kinds if text.startswith(("Body text", "Visit", "Go to", "This is"))]
        assert body and all(kinds[text] == "paragraph" for text in body)


def test_heading_levels_rank_across_the_document(extra: dict[str, Path], out_dir: Path) -> None:
    pages = convert(extra["chapters"], out_dir)["pages"]
    headings = [
        (page_index, block["text"], block["level"])
        for page_index, page in enumerate(pages)
        for block in page["blocks"]
        if block["type"] == "heading"
    ]
    # The sub-section alone on page 2 stays below the sections of page 1,
    # and the section alone on page 3 keeps the level of its kind.
    assert headings == [
        (0, "Annual Survey", 1),
        (0, "Methods", 2),
        (1, "Sampling details", 3),
        (2, "Findings", 2),
    ]


def test_big_bold_line_is_a_heading_on_every_page(docs: Documents, out_dir: Path) -> None:
    pages = convert(docs.simple, out_dir)["pages"]
    assert [(page["blocks"][0]["type"], page["blocks"][0]["level"]) for page in pages] == [("heading", 1)] * 3


# ------------------------------------------------------------------- tables


@pytest.mark.parametrize("name, ruled", [("ruled_table", True), ("text_table", False)])
def test_table_cells_hold_the_exact_texts(docs: Documents, out_dir: Path, name: str, ruled: bool) -> None:
    blocks = page_blocks(getattr(docs, name), out_dir)
    tables = [block for block in blocks if block["type"] == "table"]
    assert len(tables) == 1
    table = tables[0]
    assert (table["rows"], table["columns"], table["ruled"]) == (4, 3, ruled)
    assert table_grid(table) == [d.TABLE_HEADER, *d.TABLE_ROWS]
    assert len(table["column_edges"]) == 4 and len(table["row_edges"]) == 5
    # Text inside the table is not repeated as paragraphs.
    cell_words = {word for row in [d.TABLE_HEADER, *d.TABLE_ROWS] for word in row}
    assert not cell_words & {word for text in texts(blocks) for word in text.split()}


def test_ruled_table_sits_between_caption_and_following_text(docs: Documents, out_dir: Path) -> None:
    blocks = page_blocks(docs.ruled_table, out_dir)
    assert [block["type"] for block in blocks] == ["heading", "table", "paragraph"]
    assert texts(blocks) == ["Sales table", "Text after the table."]
    assert blocks[1]["box"] == [72, 100, 420, 196]


def test_merged_cells_become_spans(extra: dict[str, Path], out_dir: Path) -> None:
    (table,) = [block for block in page_blocks(extra["merged_table"], out_dir) if block["type"] == "table"]
    found = {
        (cell["row"], cell["column"]): (cell["text"], cell["row_span"], cell["column_span"]) for cell in table["cells"]
    }
    assert found == d.MERGED_TABLE
    covered = [
        (row, column)
        for cell in table["cells"]
        for row in range(cell["row"], cell["row"] + cell["row_span"])
        for column in range(cell["column"], cell["column"] + cell["column_span"])
    ]
    assert sorted(covered) == [(row, column) for row in range(4) for column in range(3)]


def test_table_with_wide_characters(docs: Documents, out_dir: Path) -> None:
    (table,) = [block for block in page_blocks(docs.wide_table, out_dir) if block["type"] == "table"]
    assert table_grid(table) == d.WIDE_TABLE


def test_aligned_code_reads_row_by_row(extra: dict[str, Path], out_dir: Path) -> None:
    blocks = page_blocks(extra["code_listing"], out_dir)
    assert [block["type"] for block in blocks] == ["paragraph"] + ["code"] * (len(blocks) - 1)
    assert texts(blocks)[0] == "The header of the cache file:"
    code = [line for block in blocks[1:] for line in block["lines"]]
    assert [" ".join(span["text"].strip() for span in line["spans"]) for line in code] == [
        " ".join(row) for row in d.CODE_ROWS
    ]
    assert all(span["monospace"] for line in code for span in line["spans"])


@pytest.mark.parametrize(
    "name",
    [
        "structured", "columns", "simple", "links", "report", "running_header", "nested_list", "hyphenated",
        "code_listing",
    ],
)
def test_pages_without_tables_yield_none(docs: Documents, extra: dict[str, Path], out_dir: Path, name: str) -> None:
    for page in convert(document(docs, extra, name), out_dir)["pages"]:
        assert all(block["type"] != "table" for block in page["blocks"])


@pytest.mark.parametrize("name", ["ruled_table", "text_table"])
def test_without_tables_the_rows_read_as_paragraphs(docs: Documents, out_dir: Path, name: str) -> None:
    blocks = page_blocks(getattr(docs, name), out_dir, json_contain_table=False)
    assert all(block["type"] != "table" for block in blocks)
    rows = [" ".join(row) for row in [d.TABLE_HEADER, *d.TABLE_ROWS]]
    found = [text for text in texts(blocks) if text in rows]
    assert found == rows


# ---------------------------------------------------- fidelity to pdftotext


def json_words(result: JsonObject) -> list[str]:
    words = []
    for page in result["pages"]:
        for block in page["blocks"]:
            if block["type"] == "table":
                words += [word for cell in block["cells"] for word in cell["text"].split()]
            elif block["type"] == "list_item":
                words += [block["marker"], *block["text"].split()]
            elif "text" in block:
                words += block["text"].split()
    return words


def normalised(words: list[str]) -> list[str]:
    """Words without hyphens (pdftotext drops the hyphen of every word
    broken at a line end, compounds included) and without bare bullets."""
    return [word.replace("-", "") for word in words if word not in BULLET_MARKERS and word.replace("-", "")]


@pytest.mark.skipif(shutil.which("pdftotext") is None, reason="pdftotext is not installed")
@pytest.mark.parametrize(
    "name, ordered",
    [
        ("simple", True),
        ("structured", True),
        ("columns", True),
        ("links", True),
        ("outline", True),
        ("images", True),
        ("report", True),
        ("hyphenated", True),
        ("nested_list", True),
        # pdftotext reads tables column by column and a footer before the
        # second column: the same words, in another order.
        ("ruled_table", False),
        ("text_table", False),
        ("running_header", False),
    ],
)
def test_words_match_pdftotext(
    docs: Documents, extra: dict[str, Path], out_dir: Path, name: str, ordered: bool
) -> None:
    source = document(docs, extra, name)
    reference = subprocess.run(["pdftotext", str(source), "-"], check=True, capture_output=True, text=True).stdout
    ours = normalised(json_words(convert(source, out_dir)))
    theirs = normalised(reference.split())
    assert ours, "the conversion found no text"
    if ordered:
        assert ours == theirs
    else:
        assert sorted(ours) == sorted(theirs)
