"""Markdown output: headings, lists, emphasis, pipe tables, links, images,
formulas as images, escaping, one file per page, and replacing an existing
file only when the conversion succeeds."""

from __future__ import annotations

import re
from collections.abc import Callable
from pathlib import Path

import pytest
from PIL import Image

import FoliantConversion as fc
from documents import (
    BULLETS,
    HYPHENATED_TEXT,
    MERGED_TABLE,
    NESTED_LIST,
    FORMULA_AFTER,
    FORMULA_BEFORE,
    LINK_TEXT,
    LINK_URI,
    NUMBERED,
    PARAGRAPH_1,
    PARAGRAPH_2,
    SECTION,
    SPECIAL_LINES,
    TABLE_HEADER,
    TABLE_ROWS,
    TITLE,
    WIDE_TABLE,
    WRAPPED_CELL_TABLE,
    Documents,
)

IMAGE_LINK = re.compile(r"!\[([^\]]*)\]\(([^)]+)\)")
ANCHOR = re.compile(r'<a id="page-(\d+)"></a>')


def options_with(**fields: object) -> fc.ConvertOptions:
    options = fc.ConvertOptions()
    for name, value in fields.items():
        setattr(options, name, value)
    return options


def convert(
    source: Path, output: Path, *, callback: fc.ConvertCallback | None = None, **fields: object
) -> fc.ErrorCode:
    return fc.FOLIConversion.start_pdf_to_markdown(str(source), "", str(output), options_with(**fields), callback)


def markdown_of(source: Path, out_dir: Path, **fields: object) -> str:
    output = out_dir / f"{source.stem}.md"
    result = fc.FOLIConversion.start_pdf_to_markdown(str(source), "", str(output), options_with(**fields))
    assert result == fc.ErrorCode.SUCCESS
    return output.read_text(encoding="utf-8")


def blocks(text: str) -> list[str]:
    return [block.strip("\n") for block in re.split(r"\n[ \t]*\n", text) if block.strip()]


def unescape(text: str) -> str:
    """Removes Markdown backslash escapes (a backslash before ASCII punctuation)."""
    return re.sub(r"\\([!-/:-@\[-`{-~])", r"\1", text)


def split_row(line: str) -> list[str]:
    """The cells of one pipe-table row, with escaped pipes restored."""
    assert line.startswith("|") and line.endswith("|"), line
    cells = []
    current = ""
    body = line[1:-1]
    index = 0
    while index < len(body):
        char = body[index]
        if char == "\\" and index + 1 < len(body):
            current += body[index : index + 2]
            index += 2
            continue
        if char == "|":
            cells.append(current)
            current = ""
        else:
            current += char
        index += 1
    cells.append(current)
    return [unescape(cell.strip()) for cell in cells]


def pipe_tables(text: str) -> list[list[list[str]]]:
    """Every pipe table in the text as rows of cells, without the delimiter row."""
    tables = []
    for block in blocks(text):
        lines = block.splitlines()
        if not lines[0].startswith("|"):
            continue
        assert len(lines) >= 2 and re.fullmatch(r"\|( *:?-{3,}:? *\|)+", lines[1]), block
        rows = [split_row(line) for line in lines[:1] + lines[2:]]
        assert len(lines[1].split("|")) - 2 == len(rows[0]), "the delimiter row has one cell per column"
        tables.append(rows)
    return tables


def test_headings_carry_their_level(docs: Documents, out_dir: Path) -> None:
    text = markdown_of(docs.structured, out_dir)
    headings = [(len(match[1]), match[2]) for match in re.finditer(r"(?m)^(#{1,6}) (.*)$", text)]
    assert headings == [(1, TITLE), (2, SECTION)]


def test_paragraphs_and_lists(docs: Documents, out_dir: Path) -> None:
    lines = markdown_of(docs.structured, out_dir).splitlines()
    assert PARAGRAPH_1 in lines and PARAGRAPH_2 in lines
    bullets = lines.index(f"- {BULLETS[0]}")
    assert lines[bullets : bullets + len(BULLETS)] == [f"- {item}" for item in BULLETS]
    numbered = lines.index(f"1. {NUMBERED[0]}")
    assert lines[numbered : numbered + len(NUMBERED)] == [
        f"{number}. {item}" for number, item in enumerate(NUMBERED, 1)
    ]
    assert bullets < numbered


def test_bold_and_italic_wrap_exactly_their_words(docs: Documents, out_dir: Path) -> None:
    lines = markdown_of(docs.structured, out_dir).splitlines()
    assert "This sentence has a **bold** word and an *italic* one." in lines
    # Headings are bold in the document but need no markers of their own.
    assert f"# {TITLE}" in lines


@pytest.mark.parametrize(("name", "rows"), [("ruled_table", [TABLE_HEADER, *TABLE_ROWS]), ("wide_table", WIDE_TABLE)])
def test_pipe_table_holds_the_cells(docs: Documents, out_dir: Path, name: str, rows: list[list[str]]) -> None:
    text = markdown_of(getattr(docs, name), out_dir)
    assert pipe_tables(text) == [rows]


@pytest.fixture(scope="module")
def layout_docs(extra_document: Callable[[str], Path]) -> dict[str, Path]:
    names = (
        "nested_list",
        "merged_table",
        "hyphenated",
        "wrapped_cell_table",
    )
    return {name: extra_document(name) for name in names}


def test_nested_list_items_are_indented(layout_docs: dict[str, Path], out_dir: Path) -> None:
    text = markdown_of(layout_docs["nested_list"], out_dir)
    # "- " is two characters wide: a nested item starts where its parent's text starts.
    expected = [f"{'  ' * level}- {item}" for level, _, item in NESTED_LIST]
    assert blocks(text) == ["\n".join(expected)]


def test_spanning_cells_are_written_once(layout_docs: dict[str, Path], out_dir: Path) -> None:
    text = markdown_of(layout_docs["merged_table"], out_dir)
    rows = 1 + max(row for row, _ in MERGED_TABLE)
    columns = 1 + max(column for _, column in MERGED_TABLE)
    expected = [[MERGED_TABLE.get((row, column), ("",))[0] for column in range(columns)] for row in range(rows)]
    assert pipe_tables(text) == [expected]


def test_lines_of_a_cell_join_into_one(layout_docs: dict[str, Path], out_dir: Path) -> None:
    assert pipe_tables(markdown_of(layout_docs["wrapped_cell_table"], out_dir)) == [WRAPPED_CELL_TABLE]


def test_lines_join_as_in_plain_text(layout_docs: dict[str, Path], out_dir: Path) -> None:
    assert blocks(markdown_of(layout_docs["hyphenated"], out_dir)) == [HYPHENATED_TEXT]


def test_text_around_a_table_stays_outside_it(docs: Documents, out_dir: Path) -> None:
    found = blocks(markdown_of(docs.ruled_table, out_dir))
    table = next(index for index, block in enumerate(found) if block.startswith("|"))
    assert unescape(found[table - 1]).strip("*# ") == "Sales table"
    assert found[table + 1] == "Text after the table."


def test_web_link(docs: Documents, out_dir: Path) -> None:
    text = markdown_of(docs.links, out_dir)
    assert f"[{LINK_TEXT}]({LINK_URI})" in text.splitlines()


def test_page_link_points_at_an_anchor(docs: Documents, out_dir: Path) -> None:
    text = markdown_of(docs.links, out_dir)
    assert "[Go to the second page](#page-2)" in text.splitlines()
    assert ANCHOR.findall(text) == ["2"]  # only pages that a link points at get one
    assert text.index('<a id="page-2"></a>') < text.index("This is the second page.")
    # The pages waited in a scratch file for the anchors; it is gone.
    assert [path.name for path in out_dir.iterdir()] == ["links.md"]


def test_link_to_a_page_left_out_is_plain_text(docs: Documents, out_dir: Path) -> None:
    text = markdown_of(docs.links, out_dir, page_ranges="1")
    assert "Go to the second page" in text.splitlines()
    assert ANCHOR.findall(text) == []
    assert f"[{LINK_TEXT}]({LINK_URI})" in text.splitlines()


def test_page_link_between_page_files(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "links.md"
    assert convert(docs.links, output, output_document_per_page=True, auto_create_folder=False) == fc.ErrorCode.SUCCESS
    first = (out_dir / "links_1.md").read_text(encoding="utf-8")
    assert "[Go to the second page](links_2.md)" in first.splitlines()
    assert (out_dir / "links_2.md").read_text(encoding="utf-8").strip() == "This is the second page."


def linked_images(text: str, folder: Path) -> list[tuple[str, Path]]:
    return [(match[2], folder / match[2]) for match in IMAGE_LINK.finditer(text)]


def test_images_are_written_and_linked(docs: Documents, out_dir: Path) -> None:
    text = markdown_of(docs.images, out_dir)
    images = linked_images(text, out_dir)
    assert [link.startswith("images_files/") for link, _ in images] == [True, True]
    with Image.open(images[0][1]) as png, Image.open(images[1][1]) as jpeg:
        assert (png.size, jpeg.size) == ((64, 40), (80, 60))
        assert png.convert("RGB").getpixel((10, 10)) == (200, 30, 30)
        pixel = jpeg.convert("RGB").getpixel((10, 10))
        assert isinstance(pixel, tuple) and all(abs(value - 200) <= 3 for value in pixel)
    found = blocks(text)
    assert found[0] == "Two pictures follow." and found[-1] == "Text below the pictures."
    assert [IMAGE_LINK.fullmatch(block) is not None for block in found[1:-1]] == [True, True]


def test_images_left_out_on_request(docs: Documents, out_dir: Path) -> None:
    text = markdown_of(docs.images, out_dir, contain_image=False)
    assert blocks(text) == ["Two pictures follow.", "Text below the pictures."]
    assert sorted(path.name for path in out_dir.iterdir()) == ["images.md"]


@pytest.mark.parametrize("auto_create_folder", [True, False])
def test_one_file_per_page(docs: Documents, out_dir: Path, auto_create_folder: bool) -> None:
    output = out_dir / "report.md"
    result = convert(docs.simple, output, output_document_per_page=True, auto_create_folder=auto_create_folder)
    assert result == fc.ErrorCode.SUCCESS
    folder = out_dir / "report" if auto_create_folder else out_dir
    assert sorted(path.name for path in folder.iterdir()) == [f"report_{page}.md" for page in (1, 2, 3)]
    assert not output.exists()
    for page in (1, 2, 3):
        found = blocks((folder / f"report_{page}.md").read_text(encoding="utf-8"))
        expected = [f"Page {page} heading", f"Body text of page {page}."]
        assert [unescape(block).strip("*# ") for block in found] == expected


@pytest.mark.parametrize("auto_create_folder", [True, False])
def test_page_files_reach_their_images(docs: Documents, out_dir: Path, auto_create_folder: bool) -> None:
    output = out_dir / "pictures.md"
    result = convert(docs.images, output, output_document_per_page=True, auto_create_folder=auto_create_folder)
    assert result == fc.ErrorCode.SUCCESS
    page_file = (out_dir / "pictures" if auto_create_folder else out_dir) / "pictures_1.md"
    images = linked_images(page_file.read_text(encoding="utf-8"), page_file.parent)
    assert len(images) == 2
    for link, path in images:
        assert not Path(link).is_absolute()
        assert path.resolve().parent == (out_dir / "pictures_files").resolve()
        with Image.open(path) as image:
            image.load()


def test_special_characters_are_escaped(docs: Documents, out_dir: Path) -> None:
    found = blocks(markdown_of(docs.special_text, out_dir))
    assert [unescape(block) for block in found] == SPECIAL_LINES
    by_line = dict(zip(SPECIAL_LINES, found))
    assert "2\\*3\\*4" in by_line[SPECIAL_LINES[0]] and "\\[brackets\\]" in by_line[SPECIAL_LINES[0]]
    # A line start that would make a heading or a quote is escaped ...
    assert by_line[SPECIAL_LINES[1]].startswith("\\#")
    assert by_line[SPECIAL_LINES[2]].startswith("\\>")
    # ... while underscores inside words and plain prose stay as they are.
    assert "snake_case_names" in by_line[SPECIAL_LINES[3]] and "C:\\\\temp" in by_line[SPECIAL_LINES[3]]
    assert "\\<b>" in by_line[SPECIAL_LINES[4]] and "\\&amp;" in by_line[SPECIAL_LINES[4]]
    assert by_line[SPECIAL_LINES[5]] == SPECIAL_LINES[5]


def test_formula_becomes_an_image(docs: Documents, out_dir: Path) -> None:
    found = blocks(markdown_of(docs.formula, out_dir, formula_to_image=True))
    assert found[0] == FORMULA_BEFORE and found[-1] == FORMULA_AFTER
    assert len(found) == 3
    match = IMAGE_LINK.fullmatch(found[1])
    assert match is not None and match[2].startswith("formula_files/")
    with Image.open(out_dir / match[2]) as image:
        gray = image.convert("L")
        assert gray.width > gray.height >= 32  # one 16-point line at twice the page's resolution
        darkest = gray.getextrema()[0]
        assert isinstance(darkest, int) and darkest < 100  # the formula is drawn, not a blank region


def test_formula_stays_text_by_default(docs: Documents, out_dir: Path) -> None:
    text = markdown_of(docs.formula, out_dir)
    found = blocks(text)
    assert found[0] == FORMULA_BEFORE and found[-1] == FORMULA_AFTER
    assert len(found) == 3 and IMAGE_LINK.search(text) is None
    assert sorted(path.name for path in out_dir.iterdir()) == ["formula.md"]


def test_existing_output_is_replaced_only_on_success(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "kept.md"
    output.write_text("earlier content\n", encoding="utf-8")
    asked = []

    def cancel() -> bool:
        asked.append(True)
        return len(asked) > 1  # let the first page through, stop before the second

    callback = fc.ConvertCallback()
    callback.set_cancel(cancel)
    assert convert(docs.links, output, callback=callback) == fc.ErrorCode.CANCEL
    assert output.read_text(encoding="utf-8") == "earlier content\n"
    assert [path.name for path in out_dir.iterdir()] == ["kept.md"]

    assert convert(docs.links, output) == fc.ErrorCode.SUCCESS
    assert f"[{LINK_TEXT}]({LINK_URI})" in output.read_text(encoding="utf-8").splitlines()
