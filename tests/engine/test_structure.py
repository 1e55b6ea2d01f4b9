"""Document structure on generated PDFs whose structure is known exactly:
running heads, headings judged against the whole document and its
outline, code, contents pages and the cleaning of characters (accents set
as glyphs of their own, pieced symbols, ligatures, text drawn twice), as
the JSON shows them and as the text, Markdown and HTML writers write them."""

from __future__ import annotations

import json
import re
from pathlib import Path
from typing import Any, cast

import pymupdf
import pytest

import FoliantConversion as fc

BODY, BOLD, MONO = "helv", "hebo", "cour"
DEJAVU = Path("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")
RUNNING_TITLE = "Annual Report of the Harbour Board"
PAGES = 4
LOREM = ("The harbour board met four times during the year and agreed on the budget for the new quay, "
         "the dredging of the eastern channel and the repair of the old lighthouse. ")
CODE = ["def area(width, height):", "    if width < 0:", "        raise ValueError(width)", "",
        "    return width * height"]
CONTENTS = [("1 Introduction", 1, 2), ("1.1 Scope of the report", 2, 2), ("2 Finances", 1, 3),
            ("2.1 Income", 2, 3), ("2.2 Spending", 2, 4)]

JsonObject = dict[str, Any]


def _body(page: pymupdf.Page, top: float, lines: int = 8) -> float:
    """About `lines` lines of running text (two lines per sentence)."""
    rect = pymupdf.Rect(72, top, 520, top + 14 * lines + 40)
    assert page.insert_textbox(rect, LOREM * max(1, lines // 2), fontsize=10, fontname=BODY) >= 0
    return top + 14 * lines + 44


def make_report(path: Path) -> None:
    """A contents page with dot leaders linked to the pages, then chapters
    with numbered headings, a running header and "Page N of M" footers, a
    listing in Courier, and an outline naming the chapters and sections."""
    doc = pymupdf.open()
    contents = doc.new_page()
    contents.insert_text((72, 90), "Contents", fontsize=18, fontname=BOLD)
    for row, (title, level, target) in enumerate(CONTENTS):
        y = 130 + 18 * row
        x = 72 if level == 1 else 90
        leader = " ." * int((470 - x - pymupdf.get_text_length(title, BODY, 10)) / 5.6)
        contents.insert_text((x, y), title + leader, fontsize=10, fontname=BODY)
        contents.insert_text((500, y), str(target), fontsize=10, fontname=BODY)
    for number in range(2, PAGES + 1):
        page = doc.new_page()
        page.insert_text((72, 40), RUNNING_TITLE, fontsize=8, fontname=BODY)
        page.insert_text((470, 40), f"Page {number} of {PAGES}", fontsize=8, fontname=BODY)
        page.insert_text((290, 800), str(number), fontsize=8, fontname=BODY)
        y = 90.0
        for title, level, target in CONTENTS:
            if target != number:
                continue
            page.insert_text((72, y), title, fontsize=16 if level == 1 else 10, fontname=BOLD)
            y = _body(page, y + 12, 4)
        if number == 3:
            for k, line in enumerate(CODE):
                page.insert_text((90, y + 12 * k), line, fontsize=9, fontname=MONO)
            y += 12 * len(CODE) + 10
            _body(page, y, 3)
    for row, (title, level, target) in enumerate(CONTENTS):
        y = 130 + 18 * row
        doc[0].insert_link({"kind": pymupdf.LINK_GOTO, "from": pymupdf.Rect(72, y - 10, 510, y + 3),
                            "page": target - 1, "to": pymupdf.Point(72, 72)})
    doc.set_toc([[level, title, target] for title, level, target in CONTENTS])
    doc.save(path)


def make_plain_sections(path: Path) -> None:
    """Body-size section titles that only the outline tells apart from
    paragraphs, and a page whose only heading is a sub-section."""
    doc = pymupdf.open()
    toc = []
    for number, (title, level) in enumerate([("Overview of the method", 1), ("Details of the third step", 2)], 1):
        page = doc.new_page()
        page.insert_text((72, 90), title, fontsize=10, fontname=BODY)
        _body(page, 100, 6)
        toc.append([level, title, number])
    doc.set_toc(toc)
    doc.save(path)


def make_sized_sections(path: Path) -> None:
    """No outline: a chapter title at 20 pt on page 1, a section title at
    14 pt alone on page 2, so that page 2 alone would rank it first."""
    doc = pymupdf.open()
    first = doc.new_page()
    first.insert_text((72, 90), "Chapter One", fontsize=20, fontname=BOLD)
    first.insert_text((72, 130), "First Section", fontsize=14, fontname=BOLD)
    _body(first, 140, 6)
    second = doc.new_page()
    second.insert_text((72, 90), "Second Section", fontsize=14, fontname=BOLD)
    _body(second, 100, 6)
    doc.save(path)


def make_glyph_pieces(path: Path) -> None:
    """An accent drawn as a glyph of its own over a letter, as TeX sets it
    (accent first), a copyright sign pieced from "c" and a circle, a
    ligature, and a line drawn twice 0.3 pt apart (fake bold)."""
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_font(fontname="dv", fontfile=str(DEJAVU))
    x, y = 72.0, 100.0
    page.insert_text((x, y), "P", fontsize=12, fontname="dv")
    x += pymupdf.Font(fontfile=str(DEJAVU)).text_length("P", 12)
    e_width = pymupdf.Font(fontfile=str(DEJAVU)).text_length("e", 12)
    accent_width = pymupdf.Font(fontfile=str(DEJAVU)).text_length("\u00b4", 12)
    page.insert_text((x + (e_width - accent_width) / 2, y), "\u00b4", fontsize=12, fontname="dv")
    page.insert_text((x, y), "eter and the ", fontsize=12, fontname="dv")
    page.insert_text((72, 130), "Copyright c", fontsize=12, fontname="dv")
    c_left = 72 + pymupdf.Font(fontfile=str(DEJAVU)).text_length("Copyright ", 12)
    page.insert_text((c_left - 2, 130), "\u25cb", fontsize=12, fontname="dv")
    page.insert_text((72, 160), "A \ufb01le of \ufb02owers", fontsize=12, fontname="dv")
    for dx in (0, 0.3):
        page.insert_text((72 + dx, 190), "Drawn twice for weight", fontsize=12, fontname=BODY)
    doc.save(path)


@pytest.fixture(scope="module")
def made(tmp_path_factory: pytest.TempPathFactory) -> dict[str, Path]:
    folder = tmp_path_factory.mktemp("structure")
    paths = {}
    for name, make in [("report", make_report), ("plain_sections", make_plain_sections),
                       ("sized_sections", make_sized_sections), ("glyph_pieces", make_glyph_pieces)]:
        if name == "glyph_pieces" and not DEJAVU.is_file():
            continue
        paths[name] = folder / f"{name}.pdf"
        make(paths[name])
    return paths


def convert(source: Path, out_dir: Path, fmt: str = "json", **options: object) -> str:
    record = fc.ConvertOptions()
    for name, value in options.items():
        setattr(record, name, value)
    suffix = {"json": ".json", "txt": ".txt", "markdown": ".md", "html": ".html"}[fmt]
    output = out_dir / f"out{suffix}"
    result = getattr(fc.FOLIConversion, f"start_pdf_to_{fmt}")(str(source), "", str(output), record)
    assert result == fc.ErrorCode.SUCCESS
    return output.read_text(encoding="utf-8")


def pages(source: Path, out_dir: Path, **options: object) -> list[JsonObject]:
    return cast(list[JsonObject], json.loads(convert(source, out_dir, **options))["pages"])


def blocks_of(page: JsonObject, *kinds: str) -> list[JsonObject]:
    return [block for block in page["blocks"] if block["type"] in kinds]


# ------------------------------------------------------------ running heads


def test_running_heads_are_marked_in_json(made: dict[str, Path], out_dir: Path) -> None:
    for page in pages(made["report"], out_dir)[1:]:
        kinds = [block["type"] for block in page["blocks"]]
        headers = [block["text"] for block in blocks_of(page, "page_header")]
        footers = [block["text"] for block in blocks_of(page, "page_footer")]
        assert headers == [f"{RUNNING_TITLE} Page {page['number']} of {PAGES}"]
        assert footers == [str(page["number"])]
        assert kinds[0] == "page_header" and kinds[-1] == "page_footer"
        assert "page_header" not in kinds[1:] and "page_footer" not in kinds[:-1]


def test_running_heads_recognised_when_one_page_is_converted(made: dict[str, Path], out_dir: Path) -> None:
    # The survey looks at the selected page only: the page number still
    # stands apart in the margin, the header has nothing to recur against.
    (page,) = pages(made["report"], out_dir, page_ranges="3")
    assert [block["text"] for block in blocks_of(page, "page_footer")] == ["3"]


@pytest.mark.parametrize("fmt", ["txt", "markdown"])
def test_running_heads_left_out_of_text_and_markdown(made: dict[str, Path], out_dir: Path, fmt: str) -> None:
    text = convert(made["report"], out_dir, fmt)
    assert RUNNING_TITLE not in text
    assert "of 4" not in text
    assert LOREM.split()[0] in text


def test_running_heads_in_html_header_and_footer(made: dict[str, Path], out_dir: Path) -> None:
    html = convert(made["report"], out_dir, "html")
    sections = re.findall(r"<section class=\"page\".*?</section>", html, re.S)
    assert len(sections) == PAGES
    for number, section in enumerate(sections[1:], 2):
        assert re.search(r"<header><p>" + RUNNING_TITLE + r" Page \d of 4</p></header>", section)
        assert section.rstrip().endswith(f"<footer><p>{number}</p></footer>\n</section>".rstrip())
    assert "<header>" not in sections[0]


# ------------------------------------------------------------------ headings


def test_outline_names_headings_and_levels(made: dict[str, Path], out_dir: Path) -> None:
    headings = [(block["text"], block["level"]) for page in pages(made["report"], out_dir)[1:]
                for block in blocks_of(page, "heading")]
    assert headings == [(title, level) for title, level, _ in CONTENTS]


def test_outline_turns_body_size_titles_into_headings(made: dict[str, Path], out_dir: Path) -> None:
    found = [[(block["text"], block["level"]) for block in blocks_of(page, "heading")]
             for page in pages(made["plain_sections"], out_dir)]
    assert found == [[("Overview of the method", 1)], [("Details of the third step", 2)]]


def test_heading_levels_rank_across_the_document(made: dict[str, Path], out_dir: Path) -> None:
    found = [[(block["text"], block["level"]) for block in blocks_of(page, "heading")]
             for page in pages(made["sized_sections"], out_dir)]
    assert found == [[("Chapter One", 1), ("First Section", 2)], [("Second Section", 2)]]
    # Converted alone, page 2 is still judged by the whole selection only.
    (alone,) = pages(made["sized_sections"], out_dir, page_ranges="2")
    assert [(block["text"], block["level"]) for block in blocks_of(alone, "heading")] == [("Second Section", 1)]


# ---------------------------------------------------------------------- code


def test_code_keeps_lines_and_indentation(made: dict[str, Path], out_dir: Path) -> None:
    page = pages(made["report"], out_dir)[2]
    (code,) = blocks_of(page, "code")
    assert code["text"] == "\n".join(CODE)
    assert not any("area(width" in block["text"] for block in blocks_of(page, "paragraph", "heading"))


def test_code_in_each_writer(made: dict[str, Path], out_dir: Path) -> None:
    listing = "\n".join(CODE)
    assert listing in convert(made["report"], out_dir, "txt")
    markdown = convert(made["report"], out_dir, "markdown")
    assert f"```\n{listing}\n```" in markdown
    html = convert(made["report"], out_dir, "html")
    assert "<pre><code>" + listing.replace("<", "&lt;").replace(">", "&gt;") + "</code></pre>" in html


# ------------------------------------------------------------- contents page


def test_contents_entries_with_labels_levels_and_targets(made: dict[str, Path], out_dir: Path) -> None:
    entries = blocks_of(pages(made["report"], out_dir)[0], "contents_entry")
    assert [(e["text"], e["page_label"], e["level"], e["target_page"]) for e in entries] == [
        (title, str(target), level - 1, target) for title, level, target in CONTENTS]


def test_contents_entries_become_linked_lists(made: dict[str, Path], out_dir: Path) -> None:
    markdown = convert(made["report"], out_dir, "markdown")
    assert "- [1 Introduction](#page-2)\n  - [1.1 Scope of the report](#page-2)\n- [2 Finances](#page-3)" in markdown
    assert ". . ." not in markdown
    html = convert(made["report"], out_dir, "html")
    assert '<ul class="contents">\n<li><a href="#page-2">1 Introduction</a></li>' in html
    text = convert(made["report"], out_dir, "txt")
    assert "1 Introduction  2\n\n  1.1 Scope of the report  2\n" in text


def test_contents_entry_without_its_page_keeps_the_label(made: dict[str, Path], out_dir: Path) -> None:
    markdown = convert(made["report"], out_dir, "markdown", page_ranges="1")
    assert "- 2 Finances 3\n" in markdown


# ---------------------------------------------------------------- characters


@pytest.mark.parametrize("expected", ["Péter and the", "Copyright ©", "A file of flowers", "Drawn twice for weight"])
def test_characters_are_cleaned(made: dict[str, Path], out_dir: Path, expected: str) -> None:
    if "glyph_pieces" not in made:
        pytest.skip("DejaVu Sans is not installed")
    texts = [block["text"] for block in pages(made["glyph_pieces"], out_dir)[0]["blocks"]]
    assert expected in texts
    assert not any("\u00b4" in text or "\ufb01" in text or "weight Drawn" in text for text in texts)


def test_arabic_presentation_forms_become_letters(out_dir: Path, tmp_path: Path) -> None:
    # "سلام" set from presentation forms (seen initial, lam-alef ligature,
    # meem final), drawn left to right as they stand on the page.
    if not DEJAVU.is_file():
        pytest.skip("DejaVu Sans is not installed")
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_font(fontname="dv", fontfile=str(DEJAVU))
    page.insert_text((72, 100), "\ufee1\ufefc\ufeb3", fontsize=14, fontname="dv")
    doc.save(tmp_path / "arabic.pdf")
    (block,) = pages(tmp_path / "arabic.pdf", out_dir)[0]["blocks"]
    assert block["text"] == "\u0633\u0644\u0627\u0645"


# ----------------------------------------------------------- rotated pages

TURNED_LINES = ["First line of the turned page", "Second line follows it here", "Third line ends the page now"]


def _turned_page(path: Path, how: str) -> None:
    """Three lines that read in order once the page is seen upright."""
    doc = pymupdf.open()
    page = doc.new_page()
    for k, line in enumerate(TURNED_LINES):
        if how == "rotate-90" or how == "rotate-270":
            page.insert_text((72, 100 + 20 * k), line, fontsize=12, fontname=BODY)
        elif how == "upside-down":
            page.insert_text((500, 700 - 20 * k), line, fontsize=12, fontname=BODY, rotate=180)
        elif how == "running-down":
            page.insert_text((200 - 20 * k, 100), line, fontsize=12, fontname=BODY, rotate=270)
        elif how == "running-up":
            page.insert_text((100 + 20 * k, 500), line, fontsize=12, fontname=BODY, rotate=90)
        else:
            origin = pymupdf.Point(300, 100 + 20 * k) if how == "mirrored" else pymupdf.Point(100, 700 - 20 * k)
            flip = pymupdf.Matrix(-1, 0, 0, 1, 0, 0) if how == "mirrored" else pymupdf.Matrix(1, 0, 0, -1, 0, 0)
            page.insert_text(origin, line, fontsize=12, fontname=BODY, morph=(origin, flip))
    if how.startswith("rotate-"):
        page.set_rotation(int(how.removeprefix("rotate-")))
    doc.save(path)


@pytest.mark.parametrize(("how", "rotation", "flipped", "landscape"), [
    ("rotate-90", 90, "none", False), ("rotate-270", 270, "none", False), ("upside-down", 180, "none", False),
    ("running-down", 90, "none", True), ("running-up", 270, "none", True),
    ("mirrored", 0, "left-right", False), ("flipped-up-down", 0, "up-down", False)])
def test_turned_pages_read_upright(out_dir: Path, tmp_path: Path, how: str, rotation: int, flipped: str,
                                   landscape: bool) -> None:
    source = tmp_path / f"{how}.pdf"
    _turned_page(source, how)
    (page,) = pages(source, out_dir)
    assert (page["rotation"], page["flipped"]) == (rotation, flipped)
    assert (page["width"] > page["height"]) == landscape
    (block,) = page["blocks"]
    assert block["type"] == "paragraph" and block["text"] == " ".join(TURNED_LINES)
    for box in (block["box"], *(line["box"] for line in block.get("lines", []))):
        assert 0 <= box[0] < box[2] <= page["width"] and 0 <= box[1] < box[3] <= page["height"]
    text = convert(source, out_dir, "txt")
    assert text.index("First") < text.index("Second") < text.index("Third")


def test_turned_pages_keep_the_printed_frame_in_box_mode(out_dir: Path, tmp_path: Path) -> None:
    # HTML boxes stand where the printed page shows them: the first line
    # of an upside-down page is near its foot, not turned to its top.
    source = tmp_path / "upside-down.pdf"
    _turned_page(source, "upside-down")
    html = convert(source, out_dir, "html", page_layout_mode=fc.PageLayoutMode.BOX)
    tops = {text: float(top) for top, text in re.findall(r'class="line" style="[^"]*top:([\d.]+)pt[^>]*><span[^>]*>(\w+)', html)}
    assert tops["First"] > tops["Second"] > tops["Third"] > 600


def test_upright_pages_are_not_turned(made: dict[str, Path], out_dir: Path) -> None:
    for page in pages(made["report"], out_dir):
        assert (page["rotation"], page["flipped"], page["width"], page["height"]) == (0, "none", 595, 842)


# ----------------------------------------------------- heading precision


def make_heading_traps(path: Path) -> None:
    """Numbered headings in one bold face nesting by their numbers, and
    bold lines that are not headings: a caption, a form's field, a bold
    lead-in that runs on into plain text."""
    doc = pymupdf.open()
    page = doc.new_page()
    y = 90.0
    for title in ["3 Methods", "3.1 Sources of the data", "3.1.1 Tide gauges"]:
        page.insert_text((72, y), title, fontsize=10, fontname=BOLD)
        y = _body(page, y + 12, 2)
    page.insert_text((72, y), "Figure 2: Map of the eastern channel", fontsize=10, fontname=BOLD)
    y = _body(page, y + 12, 2)
    page.insert_text((72, y), "Agency:", fontsize=10, fontname=BOLD)
    page.insert_text((72 + pymupdf.get_text_length("Agency: ", BOLD, 10), y), "Harbour Board", fontsize=10,
                     fontname=BODY)
    y = _body(page, y + 12, 2)
    lead = "Dredging of the eastern channel"
    page.insert_text((72, y), lead, fontsize=10, fontname=BOLD)
    page.insert_text((72 + pymupdf.get_text_length(lead + " ", BOLD, 10), y), "went on all year", fontsize=10,
                     fontname=BODY)
    _body(page, y + 12, 2)
    doc.save(path)


def test_heading_precision(out_dir: Path, tmp_path: Path) -> None:
    make_heading_traps(tmp_path / "traps.pdf")
    page = pages(tmp_path / "traps.pdf", out_dir)[0]
    headings = [(block["text"], block["level"]) for block in blocks_of(page, "heading")]
    top = headings[0][1] if headings else 0
    assert headings == [("3 Methods", top), ("3.1 Sources of the data", top + 1), ("3.1.1 Tide gauges", top + 2)]
    paragraphs = [block["text"] for block in blocks_of(page, "paragraph")]
    for start in ["Figure 2: Map", "Agency: Harbour Board", "Dredging of the eastern channel went on all year"]:
        assert any(text.startswith(start) for text in paragraphs), start


def test_contents_lines_without_leaders(out_dir: Path, tmp_path: Path) -> None:
    # One entry with a leader fixes where page numbers end; the others
    # have only a gap before their numbers.
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((72, 90), "Contents", fontsize=18, fontname=BOLD)
    rows = [("Chapter 1 Harbour works", "3"), ("Chapter 2 Finances", "11"), ("Chapter 3 The lighthouse", "27")]
    for row, (title, number) in enumerate(rows):
        y = 130 + 18 * row
        leader = " ." * 40 if row == 0 else ""
        page.insert_text((72, y), title + leader, fontsize=10, fontname=BODY)
        page.insert_text((510 - pymupdf.get_text_length(number, BODY, 10), y), number, fontsize=10, fontname=BODY)
    doc.save(tmp_path / "contents.pdf")
    entries = blocks_of(pages(tmp_path / "contents.pdf", out_dir)[0], "contents_entry")
    assert [(entry["text"], entry["page_label"]) for entry in entries] == rows


def make_paper_sections(path: Path, outline: bool) -> None:
    """Section headings as papers set them: a Roman number and a title in
    small capitals (capitals at two sizes), a lettered sub-section in
    italics, each followed by body text; with or without an outline whose
    titles number the sub-section in full ("II-A")."""
    doc = pymupdf.open()
    page = doc.new_page()
    x = 72.0
    for text, size in [("II. R", 10), ("ELATED ", 8), ("W", 10), ("ORK", 8)]:
        page.insert_text((x, 90), text, fontsize=size, fontname=BODY)
        x += pymupdf.get_text_length(text, BODY, size)
    y = _body(page, 104, 2)
    page.insert_text((72, y), "A. Earlier methods", fontsize=10, fontname="helvetica-oblique")
    _body(page, y + 14, 2)
    if outline:
        doc.set_toc([[1, "II Related work", 1], [2, "II-A Earlier methods", 1]])
    doc.save(path)


@pytest.mark.parametrize("outline", [False, True], ids=["no-outline", "outline"])
def test_paper_section_headings(out_dir: Path, tmp_path: Path, outline: bool) -> None:
    make_paper_sections(tmp_path / "paper.pdf", outline)
    page = pages(tmp_path / "paper.pdf", out_dir)[0]
    assert not blocks_of(page, "list_item")
    headings = [(block["text"], block["level"]) for block in blocks_of(page, "heading")]
    top = headings[0][1] if headings else 0
    assert headings == [("II. RELATED WORK", top), ("A. Earlier methods", top + 1)]
    if outline:
        assert top == 1
