"""Word output through the module, read back with the standard library:
every package is a valid ZIP whose parts parse, are typed and are
reachable; FLOW carries headings, lists, tables, pictures, links, sections
and document properties as Word's own structures; BOX sets every line in
a positioned frame over a picture of the page; the options change what
they say. The checks with outside readers are in test_office_readers.py."""

from __future__ import annotations

import posixpath
import xml.etree.ElementTree as ET
import zipfile
from pathlib import Path
from typing import Any

import FoliantConversion as fc
import pymupdf
import pytest

import documents
from documents import Documents

FLOW = fc.PageLayoutMode.FLOW
BOX = fc.PageLayoutMode.BOX
W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
R = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"
WP = "{http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing}"
A = "{http://schemas.openxmlformats.org/drawingml/2006/main}"
REL = "{http://schemas.openxmlformats.org/package/2006/relationships}"
CT = "{http://schemas.openxmlformats.org/package/2006/content-types}"


def convert(source: Path, output: Path, **fields: Any) -> fc.ErrorCode:
    options = fc.ConvertOptions()
    for name, value in fields.items():
        setattr(options, name, value)
    return fc.FOLIConversion.start_pdf_to_word(str(source), "", str(output), options)


class Package:
    """A .docx opened for reading its parts."""

    def __init__(self, path: Path) -> None:
        self.zip = zipfile.ZipFile(path)
        self.names = set(self.zip.namelist())

    def xml(self, name: str) -> ET.Element:
        return ET.fromstring(self.zip.read(name))

    @property
    def body(self) -> ET.Element:
        body = self.xml("word/document.xml").find(f"{W}body")
        assert body is not None
        return body

    def relationships(self, part: str) -> dict[str, ET.Element]:
        folder, name = posixpath.split(part)
        rels = posixpath.join(folder, "_rels", name + ".rels")
        if rels not in self.names:
            return {}
        return {rel.get("Id", ""): rel for rel in self.xml(rels)}

    def target(self, part: str, relationship_id: str) -> str:
        rel = self.relationships(part)[relationship_id]
        return posixpath.normpath(posixpath.join(posixpath.dirname(part), rel.get("Target", "")))

    def paragraphs(self) -> list[ET.Element]:
        return list(self.body.iter(f"{W}p"))


def converted(source: Path, folder: Path, **fields: Any) -> Package:
    output = folder / "doc.docx"
    assert convert(source, output, **fields) == fc.ErrorCode.SUCCESS
    return Package(output)


def text_of(element: ET.Element) -> str:
    return "".join(t.text or "" for t in element.iter(f"{W}t"))


def laid_out_text(element: ET.Element) -> str:
    """The text with w:tab as a tab and w:br as a line break."""
    marks = {f"{W}tab": "\t", f"{W}br": "\n"}
    return "".join((node.text or "") if node.tag == f"{W}t" else marks.get(node.tag, "")
                   for run in element.iter(f"{W}r") for node in run)


def style_of(paragraph: ET.Element) -> str:
    style = paragraph.find(f"{W}pPr/{W}pStyle")
    return "" if style is None else style.get(f"{W}val", "")


def attribute(element: ET.Element | None, name: str) -> str | None:
    return None if element is None else element.get(f"{W}{name}")


# ---------------------------------------------------------------- packages

DOCUMENTS = ["simple", "structured", "columns", "ruled_table", "text_table", "images", "links", "outline",
             "wide_table", "special_text", "formula", "shapes"]


def check_package(package: Package) -> None:
    """Every part parses, has a content type, and every internal
    relationship of every part points at a part that exists."""
    assert package.zip.testzip() is None
    types = package.xml("[Content_Types].xml")
    defaults = {d.get("Extension", "").lower() for d in types.iter(f"{CT}Default")}
    overrides = {o.get("PartName", "")[1:] for o in types.iter(f"{CT}Override")}
    assert "word/document.xml" in overrides
    for name in package.names:
        if name == "[Content_Types].xml":
            continue
        assert name in overrides or name.rsplit(".", 1)[-1].lower() in defaults, name
        if name.endswith((".xml", ".rels")):
            package.xml(name)
    assert overrides <= package.names
    for part in ["/", *sorted(package.names)]:
        for rel_id, rel in package.relationships(part).items():
            if rel.get("TargetMode") == "External":
                continue
            base = "" if part == "/" else part
            target = posixpath.normpath(posixpath.join(posixpath.dirname(base), rel.get("Target", "")))
            assert target in package.names, (part, rel_id, target)


@pytest.mark.parametrize("mode", [FLOW, BOX], ids=["flow", "box"])
@pytest.mark.parametrize("name", DOCUMENTS)
def test_every_package_is_complete_and_parses(name: str, mode: fc.PageLayoutMode, docs: Documents,
                                              out_dir: Path) -> None:
    package = converted(getattr(docs, name), out_dir, page_layout_mode=mode)
    check_package(package)
    # Every drawing has an id of its own.
    ids = [d.get("id") for d in package.body.iter(f"{WP}docPr")]
    assert len(ids) == len(set(ids))
    # Every picture's relationship is an image part.
    for blip in package.body.iter(f"{A}blip"):
        target = package.target("word/document.xml", blip.get(f"{R}embed", ""))
        assert target.startswith("word/media/")


def test_same_document_converts_to_the_same_bytes(docs: Documents, tmp_path: Path) -> None:
    first, second = tmp_path / "a.docx", tmp_path / "b.docx"
    assert convert(docs.structured, first) == fc.ErrorCode.SUCCESS
    assert convert(docs.structured, second) == fc.ErrorCode.SUCCESS
    assert first.read_bytes() == second.read_bytes()


def test_document_properties_come_from_the_pdf(tmp_path: Path) -> None:
    source = tmp_path / "meta.pdf"
    doc = pymupdf.open()
    doc.new_page().insert_text((72, 72), "Body", fontsize=11)
    doc.set_metadata({"title": "A <Title> & more", "author": "Ann Author", "subject": "Subjects",
                      "keywords": "one, two"})
    doc.save(source)
    core = converted(source, tmp_path).xml("docProps/core.xml")
    found = {element.tag.split("}")[1]: element.text for element in core}
    assert found["title"] == "A <Title> & more"
    assert found["creator"] == "Ann Author"
    assert found["subject"] == "Subjects"
    assert found["keywords"] == "one, two"


# -------------------------------------------------------------------- FLOW


def test_headings_carry_heading_styles_defined_for_the_outline(docs: Documents, out_dir: Path) -> None:
    package = converted(docs.structured, out_dir)
    styled = {text_of(p): style_of(p) for p in package.paragraphs()}
    assert styled[documents.TITLE] == "Heading1"
    assert styled[documents.SECTION] == "Heading2"
    assert styled[documents.PARAGRAPH_2] == ""
    styles = {s.get(f"{W}styleId"): s for s in package.xml("word/styles.xml").iter(f"{W}style")}
    for level in range(1, 7):
        style = styles[f"Heading{level}"]
        assert attribute(style.find(f"{W}name"), "val") == f"heading {level}"
        assert attribute(style.find(f"{W}pPr/{W}outlineLvl"), "val") == str(level - 1)


def numbering_of(package: Package) -> tuple[dict[str, str], dict[str, dict[str, tuple[str, str]]]]:
    """numId -> abstractNumId, and abstractNumId -> {ilvl: (numFmt, lvlText)}."""
    numbering = package.xml("word/numbering.xml")
    nums = {n.get(f"{W}numId", ""): attribute(n.find(f"{W}abstractNumId"), "val") or ""
            for n in numbering.iter(f"{W}num")}
    abstracts = {}
    for abstract in numbering.iter(f"{W}abstractNum"):
        abstracts[abstract.get(f"{W}abstractNumId", "")] = {
            lvl.get(f"{W}ilvl", ""): (attribute(lvl.find(f"{W}numFmt"), "val") or "",
                                      attribute(lvl.find(f"{W}lvlText"), "val") or "")
            for lvl in abstract.iter(f"{W}lvl")}
    return nums, abstracts


def list_items(package: Package) -> list[tuple[str, str, str]]:
    """(text, numId, ilvl) of the numbered paragraphs."""
    items = []
    for p in package.paragraphs():
        num = p.find(f"{W}pPr/{W}numPr")
        if num is not None:
            items.append((text_of(p), attribute(num.find(f"{W}numId"), "val") or "",
                          attribute(num.find(f"{W}ilvl"), "val") or ""))
    return items


def test_lists_are_word_numbering_not_typed_markers(docs: Documents, out_dir: Path) -> None:
    package = converted(docs.structured, out_dir)
    items = list_items(package)
    assert [text for text, _, _ in items] == documents.BULLETS + documents.NUMBERED
    nums, abstracts = numbering_of(package)
    bullet_list = {num for text, num, _ in items if text in documents.BULLETS}
    numbered_list = {num for text, num, _ in items if text in documents.NUMBERED}
    assert len(bullet_list) == len(numbered_list) == 1 and bullet_list != numbered_list
    assert abstracts[nums[bullet_list.pop()]]["0"][0] == "bullet"
    assert abstracts[nums[numbered_list.pop()]]["0"] == ("decimal", "%1.")
    # The markers are numbering, not text.
    assert not any(text.startswith(("\u2022", "1.")) for text, _, _ in items)


def test_nested_list_levels(extra_document: Any, out_dir: Path) -> None:
    package = converted(extra_document("nested_list"), out_dir)
    items = list_items(package)
    assert [int(level) for _, _, level in items] == [level for level, _, _ in documents.NESTED_LIST]
    assert len({num for _, num, _ in items}) == 1


def test_each_list_restarts_at_its_printed_number(tmp_path: Path) -> None:
    source = tmp_path / "two_lists.pdf"
    doc = pymupdf.open()
    page = doc.new_page()
    y = 100
    for block in (["1.", "2."], ["4.", "5."]):
        for marker in block:
            page.insert_text((80, y), marker, fontsize=11)
            page.insert_text((100, y), f"Item after marker {marker}", fontsize=11)
            y += 16
        page.insert_text((72, y + 14), "A paragraph between the lists.", fontsize=11)
        y += 50
    doc.save(source)
    package = converted(source, tmp_path)
    items = list_items(package)
    assert len(items) == 4
    first, second = items[0][1], items[2][1]
    assert first != second and items[1][1] == first and items[3][1] == second
    starts = {n.get(f"{W}numId"): attribute(n.find(f"{W}lvlOverride/{W}startOverride"), "val")
              for n in package.xml("word/numbering.xml").iter(f"{W}num")}
    assert starts[first] == "1" and starts[second] == "4"


def table_grid(table: ET.Element) -> list[list[tuple[str, int, str | None]]]:
    """Rows of (text, gridSpan, vMerge) cells."""
    rows = []
    for tr in table.iter(f"{W}tr"):
        row = []
        for tc in tr.findall(f"{W}tc"):
            span = int(attribute(tc.find(f"{W}tcPr/{W}gridSpan"), "val") or 1)
            merge = tc.find(f"{W}tcPr/{W}vMerge")
            row.append((text_of(tc), span, None if merge is None else attribute(merge, "val") or "continue"))
        rows.append(row)
    return rows


def test_ruled_table_is_a_table_with_its_grid_and_borders(docs: Documents, out_dir: Path) -> None:
    package = converted(docs.ruled_table, out_dir)
    tables = list(package.body.iter(f"{W}tbl"))
    assert len(tables) == 1
    grid = table_grid(tables[0])
    assert [[text for text, _, _ in row] for row in grid] == [documents.TABLE_HEADER, *documents.TABLE_ROWS]
    columns = [int(c.get(f"{W}w", "0")) for c in tables[0].iter(f"{W}gridCol")]
    # The grid of the PDF: 128, 100 and 120 points.
    assert columns == [2560, 2000, 2400]
    assert attribute(tables[0].find(f"{W}tblPr/{W}tblStyle"), "val") == "TableGrid"
    # The text around the table stays outside it.
    outside = [text_of(p) for p in package.body.findall(f"{W}p")]
    assert "Sales table" in outside and "Text after the table." in outside


def test_merged_cells_span_columns_and_rows(extra_document: Any, out_dir: Path) -> None:
    package = converted(extra_document("merged_table"), out_dir)
    grid = table_grid(next(package.body.iter(f"{W}tbl")))
    assert grid[0] == [("Item", 1, "restart"), ("Sales", 2, None)]
    assert grid[1] == [("", 1, "continue"), ("2023", 1, None), ("2024", 1, None)]
    assert grid[2] == [("Pens", 1, None), ("10", 1, None), ("12", 1, None)]


def test_unruled_table_has_no_borders(docs: Documents, out_dir: Path) -> None:
    package = converted(docs.text_table, out_dir)
    table = next(package.body.iter(f"{W}tbl"))
    assert attribute(table.find(f"{W}tblPr/{W}tblStyle"), "val") == "TableNormal"
    assert [[text for text, _, _ in row] for row in table_grid(table)][0] == documents.TABLE_HEADER


def cell_properties(tc: ET.Element) -> dict[str, Any]:
    """A cell's borders (side: (eighths of a point, colour)), fill and
    the alignment of its first paragraph, across and down."""
    borders = tc.find(f"{W}tcPr/{W}tcBorders")
    sides = {} if borders is None else {
        side.tag[len(W):]: (int(attribute(side, "sz") or 0), attribute(side, "color")) for side in borders}
    return {"borders": sides, "fill": attribute(tc.find(f"{W}tcPr/{W}shd"), "fill"),
            "across": attribute(tc.find(f"{W}p/{W}pPr/{W}jc"), "val"),
            "down": attribute(tc.find(f"{W}tcPr/{W}vAlign"), "val")}


@pytest.mark.xfail(strict=True, reason="the row-and-gutter table detection reads the styled table's three columns as two; to be mended in the table analysis")
def test_table_rules_fills_and_alignment_follow_the_page(extra_document: Any, out_dir: Path) -> None:
    package = converted(extra_document("styled_table"), out_dir)
    styled, grid = list(package.body.iter(f"{W}tbl"))
    rows = [[cell_properties(tc) for tc in tr.iter(f"{W}tc")] for tr in styled.iter(f"{W}tr")]
    assert [len(row) for row in rows] == [3, 3, 3, 3]
    black = "000000"
    # Ruled above (1.5 pt), under the header (0.75 pt) and below (1.5 pt)
    # only: no rules between the columns nor the other body rows.
    assert {str(cell["borders"]) for cell in rows[0]} == {str({"top": (12, black), "bottom": (6, black)})}
    assert all(cell["borders"] == {"top": (6, black)} for cell in rows[1])
    assert all(cell["borders"] == {} for cell in rows[2])
    assert all(cell["borders"] == {"bottom": (12, black)} for cell in rows[3])
    assert attribute(styled.find(f"{W}tblPr/{W}tblStyle"), "val") == "TableNormal"
    assert styled.find(f"{W}tblPr/{W}tblBorders") is None
    # The header is filled; its white labels keep their colour there.
    assert [cell["fill"] for cell in rows[0]] == ["1A3366"] * 3
    assert all(cell["fill"] is None for row in rows[1:] for cell in row)
    header_colours = {attribute(c, "val") for c in styled.find(f"{W}tr").iter(f"{W}color")}
    assert header_colours == {"FFFFFF"}
    # Labels flush left, figures flush right.
    assert all([cell["across"] for cell in row] == [None, "right", "right"] for row in rows)
    # The white banner lost its dark band: it takes the automatic colour.
    banner = next(p for p in package.paragraphs() if text_of(p) == documents.STYLED_TABLE_BANNER)
    assert banner.find(f".//{W}color") is None
    # A full grid of like rules: the table's own borders, 1 pt grey;
    # labels centred across and down.
    assert attribute(grid.find(f"{W}tblPr/{W}tblStyle"), "val") == "TableGrid"
    sides = {side.tag[len(W):]: (attribute(side, "sz"), attribute(side, "color"))
             for side in grid.find(f"{W}tblPr/{W}tblBorders")}
    assert sides == {side: ("8", "808080") for side in ("top", "left", "bottom", "right", "insideH", "insideV")}
    cells = [cell_properties(tc) for tc in grid.iter(f"{W}tc")]
    assert [text_of(tc) for tc in grid.iter(f"{W}tc")] == [text for row in documents.GRID_TABLE_ROWS for text in row]
    assert all(cell["across"] == "center" and cell["down"] == "center" and cell["borders"] == {} for cell in cells)


def test_pictures_keep_their_bytes_and_size(docs: Documents, out_dir: Path) -> None:
    package = converted(docs.images, out_dir)
    media = sorted(name for name in package.names if name.startswith("word/media/"))
    assert sorted(posixpath.splitext(name)[1] for name in media) == [".jpg", ".png"]
    jpeg = package.zip.read(next(name for name in media if name.endswith(".jpg")))
    with pymupdf.open(docs.images) as pdf:
        embedded = [pdf.extract_image(xref[0])["image"] for xref in pdf[0].get_images()]
    assert jpeg in embedded
    extents = sorted((int(e.get("cx", "0")), int(e.get("cy", "0"))) for e in package.body.iter(f"{WP}extent"))
    # 160 x 100 and 160 x 120 points, in EMU.
    assert extents == [(160 * 12700, 100 * 12700), (160 * 12700, 120 * 12700)]
    assert all(p.tag == f"{W}p" for p in package.body if p.find(f".//{WP}inline") is not None)


def test_links_external_and_to_a_bookmarked_page(docs: Documents, out_dir: Path) -> None:
    package = converted(docs.links, out_dir)
    links = {text_of(h): h for h in package.body.iter(f"{W}hyperlink")}
    external = links[documents.LINK_TEXT]
    rel = package.relationships("word/document.xml")[external.get(f"{R}id", "")]
    assert rel.get("Target") == documents.LINK_URI and rel.get("TargetMode") == "External"
    anchor = links["Go to the second page"].get(f"{W}anchor")
    bookmarks = {b.get(f"{W}name"): b for b in package.body.iter(f"{W}bookmarkStart")}
    assert anchor in bookmarks
    # The bookmark opens the page it names.
    second = next(p for p in package.paragraphs() if p.find(f"{W}bookmarkStart[@{W}name='{anchor}']") is not None)
    assert text_of(second) == "This is the second page."


def test_link_to_a_page_left_out_is_no_link(docs: Documents, out_dir: Path) -> None:
    package = converted(docs.links, out_dir, page_ranges="1")
    texts = [text_of(h) for h in package.body.iter(f"{W}hyperlink")]
    assert texts == [documents.LINK_TEXT]


def page_starts(package: Package) -> list[str]:
    """How each page after the first begins: "break" or "section"."""
    starts = []
    for p in package.paragraphs():
        if p.find(f"{W}pPr/{W}pageBreakBefore") is not None:
            starts.append("break")
        if p.find(f"{W}pPr/{W}sectPr") is not None:
            starts.append("section")
    return starts


def test_pages_break_and_sizes_make_sections(tmp_path: Path) -> None:
    source = tmp_path / "sizes.pdf"
    doc = pymupdf.open()
    for number, (width, height) in enumerate([(612, 792), (612, 792), (842, 595), (612, 792)], 1):
        doc.new_page(width=width, height=height).insert_text((100, 100), f"Page {number} text", fontsize=12)
    doc.save(source)
    package = converted(source, tmp_path)
    assert page_starts(package) == ["break", "section", "section"]
    sections = [s for s in package.body.iter(f"{W}sectPr")]
    sizes = [(attribute(s.find(f"{W}pgSz"), "w"), attribute(s.find(f"{W}pgSz"), "orient")) for s in sections]
    assert sizes == [("12240", None), ("16840", "landscape"), ("12240", None)]
    # The text starts 100 points from the left edge: so does the text area.
    assert attribute(sections[0].find(f"{W}pgMar"), "left") == "2000"


@pytest.mark.parametrize("mode", [FLOW, BOX], ids=["flow", "box"])
def test_page_larger_than_word_takes(mode: fc.PageLayoutMode, tmp_path: Path) -> None:
    """A 1920 x 1080 pt slide: Word takes 22 inches a side at most. FLOW
    keeps the text's left margin and lets it reflow in the width left;
    BOX draws the whole page smaller, fonts and places alike."""
    source = tmp_path / "slide.pdf"
    doc = pymupdf.open()
    doc.new_page(width=1920, height=1080).insert_text((160, 400), "Quarterly results", fontsize=100)
    doc.save(source)
    package = converted(source, tmp_path, page_layout_mode=mode)
    section = package.body.find(f"{W}sectPr")
    size, margins = section.find(f"{W}pgSz"), section.find(f"{W}pgMar")
    scale = 1584 / 1920
    sizes = [int(run.find(f"{W}rPr/{W}sz").get(f"{W}val")) for run in package.body.iter(f"{W}r")
             if text_of(run).strip()]
    if mode == FLOW:
        assert (attribute(size, "w"), attribute(size, "h")) == ("31680", "21600")
        assert attribute(margins, "left") == "3200"
        # The text is as wide as it was: the text area must still hold it.
        text_width = 31680 - int(attribute(margins, "left")) - int(attribute(margins, "right"))
        assert text_width >= pymupdf.get_text_length("Quarterly results", fontsize=100) * 20
        assert set(sizes) == {200}
    else:
        assert (attribute(size, "w"), attribute(size, "h")) == ("31680", str(round(1080 * scale * 20)))
        frame = next(p.find(f"{W}pPr/{W}framePr") for p in package.paragraphs()
                     if text_of(p).strip() and p.find(f"{W}pPr/{W}framePr") is not None)
        assert abs(int(attribute(frame, "x") or 0) - 160 * scale * 20) <= 20
        assert set(sizes) == {round(200 * scale)}


def test_empty_pages_still_take_a_page(tmp_path: Path) -> None:
    source = tmp_path / "blank.pdf"
    doc = pymupdf.open()
    doc.new_page().insert_text((72, 72), "First page", fontsize=12)
    doc.new_page()
    doc.new_page().insert_text((72, 72), "Third page", fontsize=12)
    doc.save(source)
    package = converted(source, tmp_path)
    assert page_starts(package) == ["break", "break"]
    assert [b.get(f"{W}name") for b in package.body.iter(f"{W}bookmarkStart")] == ["page1", "page2", "page3"]


def run_fonts(package: Package) -> list[tuple[str, str, bool, bool]]:
    """(text, ascii font, bold, italic) of every run."""
    found = []
    for run in package.body.iter(f"{W}r"):
        fonts = run.find(f"{W}rPr/{W}rFonts")
        bold = run.find(f"{W}rPr/{W}b")
        italic = run.find(f"{W}rPr/{W}i")
        found.append((text_of(run), attribute(fonts, "ascii") or "",
                      bold is not None and attribute(bold, "val") != "0", italic is not None))
    return found


def test_pdf_fonts_map_to_families_word_knows(tmp_path: Path) -> None:
    source = tmp_path / "fonts.pdf"
    doc = pymupdf.open()
    page = doc.new_page()
    for index, font in enumerate(["helv", "hebo", "tiro", "tiit", "cour", "cobo"]):
        page.insert_text((72, 100 + 40 * index), f"Text in {font}", fontsize=11, fontname=font)
    doc.save(source)
    runs = {text: (font, bold, italic) for text, font, bold, italic in run_fonts(converted(source, tmp_path))}
    assert runs["Text in helv"] == ("Arial", False, False)
    assert runs["Text in hebo"] == ("Arial", True, False)
    assert runs["Text in tiro"] == ("Times New Roman", False, False)
    assert runs["Text in tiit"] == ("Times New Roman", False, True)
    assert runs["Text in cour"] == ("Courier New", False, False)
    assert runs["Text in cobo"] == ("Courier New", True, False)


@pytest.mark.parametrize("pdf_name, expected", [
    ("TimesNewRomanPSMT", ("Times New Roman", False, False)),
    ("TimesNewRomanPS-BoldMT", ("Times New Roman", True, False)),
    ("GQOHVZ+TimesNewRoman,Italic", ("Times New Roman", False, True)),
    ("Arial-BoldMT", ("Arial", True, False)),
    ("AAAAAB+MS-PGothic", ("MS PGothic", False, False)),
    ("MS-Mincho", ("MS Mincho", False, False)),
])
def test_postscript_font_names_map_to_whole_families(pdf_name: str, expected: tuple[str, bool, bool],
                                                     tmp_path: Path) -> None:
    source = tmp_path / "named.pdf"
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((72, 100), "Named font", fontsize=11, fontname="helv")
    for xref in range(1, doc.xref_length()):
        if doc.xref_get_key(xref, "Type") == ("name", "/Font"):
            doc.xref_set_key(xref, "BaseFont", "/" + pdf_name)
    doc.save(source)
    runs = {text: rest for text, *rest in run_fonts(converted(source, tmp_path))}
    assert tuple(runs["Named font"]) == expected


def test_font_name_overrides_every_run(docs: Documents, out_dir: Path) -> None:
    package = converted(docs.structured, out_dir, font_name="Georgia")
    fonts = {font for _, font, _, _ in run_fonts(package)}
    assert fonts == {"Georgia"}
    table = {f.get(f"{W}name") for f in package.xml("word/fontTable.xml").iter(f"{W}font")}
    assert table == {"Georgia"}


def test_east_asian_and_right_to_left_runs(tmp_path: Path) -> None:
    font = Path("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")
    if not font.is_file():
        pytest.skip("DejaVu Sans is not installed")
    source = tmp_path / "scripts.pdf"
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((72, 100), "中文文本", fontsize=12, fontname="china-s")
    page.insert_font(fontname="dejavu", fontfile=str(font))
    page.insert_text((72, 160), "שלום עולם", fontsize=12, fontname="dejavu")
    page.insert_text((72, 220), "Latin only", fontsize=12, fontname="dejavu")
    doc.save(source)
    package = converted(source, tmp_path)
    props = {}
    for run in package.body.iter(f"{W}r"):
        props[text_of(run)] = run.find(f"{W}rPr")
    chinese = next(p for t, p in props.items() if "中文" in t)
    assert attribute(chinese.find(f"{W}rFonts"), "eastAsia") in {"SimSun", "SimHei"}
    hebrew = next(p for t, p in props.items() if "\u05e9" in t or "\u05dd" in t)
    assert hebrew.find(f"{W}rtl") is not None
    latin = props["Latin only"]
    assert latin.find(f"{W}rtl") is None and attribute(latin.find(f"{W}rFonts"), "eastAsia") is None


def test_running_heads_become_header_and_footer(extra_document: Any, out_dir: Path) -> None:
    package = converted(extra_document("headed_report"), out_dir)
    body_text = " ".join(text_of(p) for p in package.paragraphs())
    # The first page under the heads keeps them in its text: only the next
    # page shows they repeat. From there on they are the section's.
    assert body_text.count(documents.HEADED_TITLE) == 1
    section = package.body.find(f"{W}sectPr")
    references = {ref.tag.split("}")[1]: ref.get(f"{R}id") for ref in section
                  if ref.tag in (f"{W}headerReference", f"{W}footerReference")}
    header = package.xml(package.target("word/document.xml", references["headerReference"]))
    footer = package.xml(package.target("word/document.xml", references["footerReference"]))
    assert text_of(header) == documents.HEADED_TITLE
    # The page number is a field, so every page shows its own.
    assert [f.get(f"{W}instr") for f in footer.iter(f"{W}fldSimple")] == [" PAGE "]
    # The body's top margin starts below the header.
    margins = section.find(f"{W}pgMar")
    assert int(attribute(margins, "header") or 0) < int(attribute(margins, "top") or 0)


def test_heads_that_do_not_repeat_stay_in_the_text(tmp_path: Path) -> None:
    source = tmp_path / "changing.pdf"
    doc = pymupdf.open()
    for number in range(1, 4):
        page = doc.new_page()
        page.insert_text((72, 40), f"Head of chapter {'ABC'[number - 1]}", fontsize=8)
        page.insert_text((72, 100), f"Body of page {number} runs here.", fontsize=11)
        page.insert_text((290, 800), str(number), fontsize=8)
    doc.save(source)
    package = converted(source, tmp_path)
    body_text = " ".join(text_of(p) for p in package.paragraphs())
    for letter in "ABC":
        assert f"Head of chapter {letter}" in body_text


def test_contents_entries_and_code(extra_document: Any, out_dir: Path) -> None:
    package = converted(extra_document("headed_report"), out_dir)
    entries = [p for p in package.paragraphs() if style_of(p).startswith("TOC")]
    assert [laid_out_text(p).split("\t")[0].strip(" .") for p in entries] == [t for t, _ in documents.HEADED_CONTENTS]
    for entry, (_, target) in zip(entries, documents.HEADED_CONTENTS):
        assert entry.find(f"{W}hyperlink").get(f"{W}anchor") == f"page{target}"
        assert attribute(entry.find(f"{W}pPr/{W}tabs/{W}tab"), "leader") == "dot"
    (code,) = [p for p in package.paragraphs() if style_of(p) == "Code"]
    assert [line.rstrip() for line in laid_out_text(code).split("\n")] == documents.HEADED_CODE


# ----------------------------------------------------------------- options


def test_without_images_no_pictures(docs: Documents, out_dir: Path) -> None:
    package = converted(docs.images, out_dir, contain_image=False)
    assert not [name for name in package.names if name.startswith("word/media/")]
    assert not list(package.body.iter(f"{W}drawing"))
    assert "Text below the pictures." in [text_of(p) for p in package.paragraphs()]


def test_without_annotations_no_links(docs: Documents, out_dir: Path) -> None:
    package = converted(docs.links, out_dir, contain_annotation=False)
    assert not list(package.body.iter(f"{W}hyperlink"))
    assert documents.LINK_TEXT in [text_of(p) for p in package.paragraphs()]


@pytest.mark.parametrize("mode", [FLOW, BOX], ids=["flow", "box"])
@pytest.mark.parametrize("with_notes", [True, False])
def test_text_annotations_become_comments(mode: fc.PageLayoutMode, with_notes: bool, extra_document: Any,
                                         tmp_path: Path) -> None:
    source = extra_document("noted")
    package = converted(source, tmp_path, page_layout_mode=mode, contain_annotation=with_notes)
    if not with_notes:
        assert "word/comments.xml" not in package.names
        assert not list(package.body.iter(f"{W}commentReference"))
        return
    comments = {c.get(f"{W}id"): c for c in package.xml("word/comments.xml").iter(f"{W}comment")}
    texts = {cid: [text_of(p) for p in c.iter(f"{W}p")] for cid, c in comments.items()}
    assert sorted(texts.values()) == [["Check this figure", "again"], ["Highlighted remark"]]
    by_text = {tuple(v): k for k, v in texts.items()}
    assert comments[by_text[("Check this figure", "again")]].get(f"{W}author") == "Rita Reviewer"
    # Each comment marks the paragraph it is nearest to.
    for paragraph in package.paragraphs():
        for reference in paragraph.iter(f"{W}commentReference"):
            expected = "second" if reference.get(f"{W}id") == by_text[("Check this figure", "again")] else "first"
            assert expected in text_of(paragraph)
            assert paragraph.find(f"{W}commentRangeStart[@{W}id='{reference.get(f'{W}id')}']") is not None
    assert len(list(package.body.iter(f"{W}commentReference"))) == 2


@pytest.mark.parametrize("as_image", [False, True])
def test_formula_to_image(as_image: bool, docs: Documents, out_dir: Path) -> None:
    package = converted(docs.formula, out_dir, formula_to_image=as_image)
    texts = [text_of(p) for p in package.paragraphs()]
    pictures = list(package.body.iter(f"{W}drawing"))
    assert documents.FORMULA_BEFORE in texts and documents.FORMULA_AFTER in texts
    assert len(pictures) == (1 if as_image else 0)
    assert ("a + b = g" in texts) != as_image


@pytest.mark.parametrize("enhance", [False, True])
def test_vector_drawings_become_pictures(enhance: bool, extra_document: Any, out_dir: Path) -> None:
    package = converted(extra_document("chart"), out_dir, image_path_enhance=enhance)
    texts = [text_of(p) for p in package.paragraphs()]
    assert texts[0] == documents.CHART_BEFORE and documents.CHART_AFTER in texts
    pictures = [i for i, p in enumerate(package.paragraphs()) if p.find(f".//{WP}inline") is not None]
    labels = [text for text in texts if any(label in text for label in documents.CHART_LABELS)]
    if not enhance:
        assert not pictures and labels
        return
    # The chart with its labels is one picture between the two lines.
    assert len(pictures) == 1 and not labels
    assert 0 < pictures[0] < texts.index(documents.CHART_AFTER)
    (extent,) = package.body.iter(f"{WP}extent")
    assert int(extent.get("cx", "0")) >= 290 * 12700 and int(extent.get("cy", "0")) >= 140 * 12700


@pytest.mark.parametrize("auto_folder", [True, False])
def test_one_document_per_page(auto_folder: bool, docs: Documents, out_dir: Path) -> None:
    output = out_dir / "doc.docx"
    assert convert(docs.simple, output, output_document_per_page=True, auto_create_folder=auto_folder) == \
        fc.ErrorCode.SUCCESS
    folder = out_dir / "doc" if auto_folder else out_dir
    files = sorted(path.name for path in folder.glob("*.docx"))
    assert files == ["doc_1.docx", "doc_2.docx", "doc_3.docx"]
    for number in (1, 2, 3):
        package = Package(folder / f"doc_{number}.docx")
        check_package(package)
        assert text_of(package.body).startswith(f"Page {number} heading")
    assert not output.exists()


# --------------------------------------------------------------------- BOX


def test_box_sets_each_line_in_a_frame_at_its_place(docs: Documents, out_dir: Path) -> None:
    package = converted(docs.structured, out_dir, page_layout_mode=BOX)
    frames = []
    for p in package.paragraphs():
        frame = p.find(f"{W}pPr/{W}framePr")
        if frame is not None:
            frames.append((text_of(p), int(attribute(frame, "x") or 0), int(attribute(frame, "y") or 0)))
    with pymupdf.open(docs.structured) as pdf:
        lines = [(line["spans"][0]["text"], line["bbox"]) for block in pdf[0].get_text("dict")["blocks"]
                 for line in block.get("lines", [])]
    title_box = next(box for text, box in lines if text == documents.TITLE)
    x, y = next((x, y) for text, x, y in frames if text == documents.TITLE)
    assert abs(x - title_box[0] * 20) <= 40 and abs(y - title_box[1] * 20) <= 60
    # One frame per line of the page, list markers included.
    page_lines = sorted(" ".join("".join(span["text"] for span in line["spans"]).split()) for _, line in
                        ((b, ln) for b in pdf_lines(docs.structured) for ln in b))
    assert sorted(" ".join(text.split()) for text, _, _ in frames) == page_lines


def pdf_lines(path: Path) -> list[list[dict[str, Any]]]:
    with pymupdf.open(path) as pdf:
        return [block["lines"] for block in pdf[0].get_text("dict")["blocks"] if "lines" in block]


@pytest.mark.parametrize("name, background", [("shapes", True), ("simple", False)])
def test_box_page_graphics_become_a_picture_behind_the_text(name: str, background: bool, docs: Documents,
                                                            out_dir: Path) -> None:
    package = converted(getattr(docs, name), out_dir, page_layout_mode=BOX, page_ranges="1")
    anchors = list(package.body.iter(f"{WP}anchor"))
    assert len(anchors) == (1 if background else 0)
    if background:
        assert anchors[0].get("behindDoc") == "1"
        section = package.body.find(f"{W}sectPr")
        assert attribute(section.find(f"{W}pgSz"), "w") == str(documents.SHAPES_PAGE[0] * 20)
        assert attribute(section.find(f"{W}pgMar"), "left") == "0"
