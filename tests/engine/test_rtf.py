"""RTF output through the module, read back as RTF's own syntax: the file
is 7-bit with balanced groups and every other character as \\uN; the font
and colour tables, heading styles with outline levels, list tables,
tables with merged cells, pictures, links and page breaks are there. The
checks with outside readers are in test_office_readers.py."""

from __future__ import annotations

import re
from pathlib import Path
from typing import Any

import FoliantConversion as fc
import pymupdf
import pytest

import documents
from documents import Documents

CONTROL = re.compile(r"\\([a-z]+)(-?\d+)? ?|\\'([0-9a-f]{2})|\\(.)|([{}])|([^\\{}]+)", re.S)


def convert(source: Path, output: Path, **fields: Any) -> fc.ErrorCode:
    options = fc.ConvertOptions()
    for name, value in fields.items():
        setattr(options, name, value)
    return fc.FOLIConversion.start_pdf_to_rtf(str(source), "", str(output), options)


def converted(source: Path, folder: Path, **fields: Any) -> str:
    output = folder / "doc.rtf"
    assert convert(source, output, **fields) == fc.ErrorCode.SUCCESS
    data = output.read_bytes()
    assert max(data) < 0x80, "RTF is 7-bit"
    return data.decode("ascii")


def plain_text(rtf: str) -> str:
    """The document's text: \\uN characters decoded, groups of ignorable
    destinations, tables and fields' instructions left out."""
    out: list[str] = []
    skip_depth: list[int] = []
    depth = 0
    high = 0
    for word, number, _, symbol, brace, text in CONTROL.findall(rtf):
        if brace == "{":
            depth += 1
            continue
        if brace == "}":
            if skip_depth and skip_depth[-1] == depth:
                skip_depth.pop()
            depth -= 1
            continue
        if symbol == "*" or word in {"fonttbl", "colortbl", "stylesheet", "info", "fldinst", "listtext", "pict"}:
            if not skip_depth or skip_depth[-1] != depth:
                skip_depth.append(depth)
            continue
        if skip_depth:
            continue
        if word == "u":
            value = int(number) & 0xFFFF
            if 0xD800 <= value < 0xDC00:
                high = value
            elif 0xDC00 <= value < 0xE000:
                out.append(chr(0x10000 + ((high - 0xD800) << 10) + (value - 0xDC00)))
            else:
                out.append(chr(value))
            continue
        if word in {"par", "line", "cell", "row", "tab", "page"}:
            out.append("\n" if word != "tab" else "\t")
        elif symbol and symbol in "\\{}":
            out.append(symbol)
        elif text:
            out.append(text.replace("?", "", 1) if out and text.startswith("?") else text)
    return "".join(out).replace("\r", "").replace("\n?", "\n")


def balanced(rtf: str) -> bool:
    depth = 0
    for word, _, _, _, brace, _ in CONTROL.findall(rtf):
        depth += 1 if brace == "{" else -1 if brace == "}" else 0
        if depth < 0:
            return False
    return depth == 0


@pytest.mark.parametrize("name", ["simple", "structured", "columns", "ruled_table", "images", "links",
                                  "special_text", "formula", "shapes", "wide_table"])
def test_every_file_is_balanced_seven_bit_rtf(name: str, docs: Documents, out_dir: Path) -> None:
    rtf = converted(getattr(docs, name), out_dir)
    assert rtf.startswith("{\\rtf1\\ansi")
    assert balanced(rtf)
    assert "\\fonttbl" in rtf and "\\colortbl" in rtf


def test_text_beyond_ascii_is_unicode_escapes(extra_document: Any, out_dir: Path) -> None:
    rtf = converted(extra_document("annotated"), out_dir)
    text = plain_text(rtf)
    assert documents.ESCAPE_TEXT in text
    assert "".join(documents.CJK_LINES) in text
    assert "\\u20013?" in rtf  # 中


def test_headings_lists_and_styles(docs: Documents, out_dir: Path) -> None:
    rtf = converted(docs.structured, out_dir)
    assert re.search(r"\{\\s1\\outlinelevel0[^;]*heading 1;\}", rtf)
    title = rtf.index(documents.TITLE)
    assert "\\s1\\outlinelevel0" in rtf[rtf.rindex("\\pard", 0, title):title]
    items = re.findall(r"\\ls(\d+)\\ilvl(\d+)", rtf)
    assert len(items) == 6 and len({number for number, _ in items}) == 2
    assert re.search(r"\\levelnfc23.*?\\listid1\}", rtf, re.S)
    assert re.search(r"\\levelnfc0\\levelnfcn0.*?\{\\leveltext\\'02\\'00\.;\}", rtf)
    text = plain_text(rtf)
    for item in documents.BULLETS + documents.NUMBERED:
        assert item in text


def test_tables_rows_cells_and_merges(docs: Documents, extra_document: Any, out_dir: Path) -> None:
    rtf = converted(docs.ruled_table, out_dir)
    rows = rtf.count("\\trowd")
    assert rows == 4
    first_row = rtf[rtf.index("\\trowd"):rtf.index("\\row")]
    assert re.findall(r"\\cellx(\d+)", first_row) == ["2560", "4560", "6960"]
    assert first_row.count("\\cell\n") == 3
    merged = converted(extra_document("merged_table"), out_dir)
    first, second = merged.split("\\row")[:2]
    # "Item" spans two rows, "Sales" two columns (one cell reaching to the third edge).
    assert "\\clvmgf" in first and "\\clvmrg" in second
    assert len(re.findall(r"\\cellx", first)) == 2


@pytest.mark.xfail(strict=True, reason="the row-and-gutter table detection reads the styled table's three columns as two; to be mended in the table analysis")
def test_table_rules_fills_and_alignment(extra_document: Any, out_dir: Path) -> None:
    rtf = converted(extra_document("styled_table"), out_dir)
    colours = re.search(r"\\colortbl;((?:\\red\d+\\green\d+\\blue\d+;)*)", rtf)
    assert colours is not None
    table = re.findall(r"\\red(\d+)\\green(\d+)\\blue(\d+);", colours.group(1))
    index = {tuple(int(v) for v in rgb): i + 1 for i, rgb in enumerate(table)}
    rows = re.findall(r"\\trowd.*?\\row", rtf, re.S)
    assert len(rows) == 6
    header, first, middle, last, grid, _ = rows
    black, fill, grey = index[(0, 0, 0)], index[(26, 51, 102)], index[(128, 128, 128)]
    assert header.count(f"\\clbrdrt\\brdrs\\brdrw30\\brdrcf{black}") == 3
    assert header.count(f"\\clbrdrb\\brdrs\\brdrw15\\brdrcf{black}") == 3
    assert header.count(f"\\clcbpat{fill}") == 3
    assert "\\clbrdrl" not in header + first + middle + last
    assert "\\clbrdr" not in middle and "\\clcbpat" not in first + middle + last
    assert last.count("\\clbrdrb\\brdrs\\brdrw30") == 3
    # Figures flush right; the grid's labels centred across and down.
    assert [row.count("\\qr") for row in (header, first, middle, last)] == [2, 2, 2, 2]
    assert grid.count(f"\\brdrw20\\brdrcf{grey}") == 8
    assert grid.count("\\qc") == 2 and grid.count("\\clvertalc") == 2
    # White stays on the filled header; the banner without its band does not.
    white = index[(255, 255, 255)]
    assert header.count(f"\\cf{white}") == 3
    banner = rtf[:rtf.index(documents.STYLED_TABLE_BANNER)]
    assert f"\\cf{white}" not in banner[banner.rindex("{"):]


def test_pictures_links_and_pages(docs: Documents, out_dir: Path) -> None:
    rtf = converted(docs.images, out_dir)
    assert "\\jpegblip" in rtf and "\\pngblip" in rtf
    links = converted(docs.links, out_dir)
    assert f'HYPERLINK "{documents.LINK_URI}"' in links
    assert 'HYPERLINK \\\\l "page2"' in links and "{\\*\\bkmkstart page2}" in links
    assert "\\pagebb" in links
    assert "\\jpegblip" not in converted(docs.images, out_dir, contain_image=False)
    assert "HYPERLINK" not in converted(docs.links, out_dir, contain_annotation=False)


def test_text_annotations_become_rtf_annotations(extra_document: Any, tmp_path: Path) -> None:
    source = extra_document("noted")
    rtf = converted(source, tmp_path)
    assert balanced(rtf)
    assert "{\\*\\atnauthor Rita Reviewer}\\chatn{\\*\\annotation\\pard\\plain Check this figure\\line again}" in rtf
    second = rtf.index("The second paragraph has a note.")
    assert rtf.index("Rita Reviewer") > second
    assert "\\chatn" not in converted(source, tmp_path, contain_annotation=False)


def test_vector_drawings_become_pictures(extra_document: Any, tmp_path: Path) -> None:
    plain = converted(extra_document("chart"), tmp_path)
    enhanced = converted(extra_document("chart"), tmp_path, image_path_enhance=True)
    assert "\\pngblip" not in plain and "Q3" in plain_text(plain)
    assert enhanced.count("\\pngblip") == 1 and "Q3" not in plain_text(enhanced)
    assert documents.CHART_AFTER in plain_text(enhanced)


def test_running_heads_contents_and_code(extra_document: Any, tmp_path: Path) -> None:
    rtf = converted(extra_document("headed_report"), tmp_path)
    assert balanced(rtf)
    header = re.search(r"\{\\header (.*?)\}\n", rtf)
    footer = re.search(r"\{\\footer (.*?)\}\n", rtf)
    assert header and documents.HEADED_TITLE in plain_text("{" + header.group(1) + "}")
    assert footer and "{\\field{\\*\\fldinst PAGE }" in footer.group(1)
    body = rtf[footer.end():]
    assert documents.HEADED_TITLE not in plain_text(body)
    for title, target in documents.HEADED_CONTENTS:
        assert f'HYPERLINK \\\\l "page{target}"' in rtf and title in plain_text(rtf)
    assert "\\tqr\\tldot" in rtf
    assert "\n".join(documents.HEADED_CODE[:2]) in plain_text(rtf).replace("\r", "")


def test_font_name_and_metadata(docs: Documents, tmp_path: Path) -> None:
    rtf = converted(docs.structured, tmp_path, font_name="Georgia")
    fonts = re.findall(r"\{\\f\d+\\f[a-z]+\\fcharset\d+(?:\\fprq\d)? ([^;]*);\}", rtf)
    assert fonts == ["Georgia"]
    source = tmp_path / "meta.pdf"
    doc = pymupdf.open()
    doc.new_page().insert_text((72, 72), "Body", fontsize=11)
    doc.set_metadata({"title": "Title {with} braces", "author": "Zoë"})
    doc.save(source)
    rtf = converted(source, tmp_path)
    assert "{\\title Title \\{with\\} braces}" in rtf and "{\\author Zo\\u235?}" in rtf


def test_sections_follow_page_sizes(tmp_path: Path) -> None:
    source = tmp_path / "sizes.pdf"
    doc = pymupdf.open()
    for width, height in [(612, 792), (842, 595)]:
        doc.new_page(width=width, height=height).insert_text((100, 100), "Text", fontsize=12)
    doc.save(source)
    rtf = converted(source, tmp_path)
    assert re.findall(r"\\pgwsxn(\d+)\\pghsxn(\d+)", rtf) == [("12240", "15840"), ("16840", "11900")]
    assert "\\lndscpsxn" in rtf and rtf.count("\\sect\\sectd") == 1


@pytest.mark.parametrize("mode", [fc.PageLayoutMode.FLOW, fc.PageLayoutMode.BOX], ids=["flow", "box"])
def test_one_file_per_page(mode: fc.PageLayoutMode, docs: Documents, out_dir: Path) -> None:
    assert convert(docs.simple, out_dir / "doc.rtf", output_document_per_page=True, page_layout_mode=mode) == \
        fc.ErrorCode.SUCCESS
    files = sorted((out_dir / "doc").glob("*.rtf"))
    assert [path.name for path in files] == ["doc_1.rtf", "doc_2.rtf", "doc_3.rtf"]
    for number, path in enumerate(files, 1):
        assert f"Page {number} heading" in plain_text(path.read_text(encoding="ascii"))
