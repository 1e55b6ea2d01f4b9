"""Test documents, written with PyMuPDF so that every test knows exactly what
each page holds: the texts below are the ground truth the tests compare
against."""

from __future__ import annotations

import io
import struct
import zlib
from dataclasses import dataclass
from pathlib import Path

import pymupdf

BODY = "helv"  # Helvetica
BOLD = "hebo"  # Helvetica-Bold
ITALIC = "heit"  # Helvetica-Oblique

TITLE = "Quarterly Report"
SECTION = "Results by Region"
PARAGRAPH_1 = (
    "The first paragraph explains the purpose of this report. It runs over "
    "several lines so that the paragraph detection has something to join."
)
PARAGRAPH_2 = "A second paragraph follows after a clear gap and ends the section."
BULLETS = ["Apples are red", "Bananas are yellow", "Cherries are dark"]
NUMBERED = ["Open the file", "Read the pages", "Write the output"]

LEFT_COLUMN = [
    "Left column first line of text",
    "left column second line continues",
    "left column third line ends here.",
]
RIGHT_COLUMN = [
    "Right column first line of text",
    "right column second line continues",
    "right column third line ends here.",
]

TABLE_HEADER = ["Region", "Units", "Revenue"]
TABLE_ROWS = [["North", "120", "4,800"], ["South", "95", "3,610"], ["East", "143", "5,720"]]

LINK_URI = "https://example.org/report"
LINK_TEXT = "Visit the project site"

OUTLINE = [(1, "Introduction", 1), (2, "Background", 1), (1, "Details", 2), (1, "Summary", 3)]

PASSWORD = "s3cret"


def _wrap(page: pymupdf.Page, rect: pymupdf.Rect, text: str, size: float = 11, font: str = BODY) -> None:
    spare = page.insert_textbox(rect, text, fontsize=size, fontname=font)
    assert spare >= 0, "test text does not fit its box"


def make_simple(path: Path, pages: int = 3) -> None:
    """`pages` pages, each with a heading line and one body line."""
    doc = pymupdf.open()
    for number in range(1, pages + 1):
        page = doc.new_page()
        page.insert_text((72, 72), f"Page {number} heading", fontsize=20, fontname=BOLD)
        page.insert_text((72, 110), f"Body text of page {number}.", fontsize=11, fontname=BODY)
    doc.save(path)


def make_structured(path: Path) -> None:
    """A title, a section heading, two paragraphs, a bulleted and a
    numbered list, with bold and italic words in the last paragraph."""
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((72, 80), TITLE, fontsize=24, fontname=BOLD)
    page.insert_text((72, 120), SECTION, fontsize=16, fontname=BOLD)
    _wrap(page, pymupdf.Rect(72, 135, 400, 190), PARAGRAPH_1)
    _wrap(page, pymupdf.Rect(72, 200, 400, 230), PARAGRAPH_2)
    y = 260
    for item in BULLETS:
        page.insert_text((80, y), "\u2022", fontsize=11, fontname=BODY)
        page.insert_text((95, y), item, fontsize=11, fontname=BODY)
        y += 16
    y += 14
    for number, item in enumerate(NUMBERED, 1):
        page.insert_text((80, y), f"{number}.", fontsize=11, fontname=BODY)
        page.insert_text((95, y), item, fontsize=11, fontname=BODY)
        y += 16
    y += 20
    x = 72.0
    for text, font in [("This sentence has a ", BODY), ("bold", BOLD), (" word and an ", BODY),
                       ("italic", ITALIC), (" one.", BODY)]:
        page.insert_text((x, y), text, fontsize=11, fontname=font)
        x += pymupdf.get_text_length(text, fontname=font, fontsize=11)
    doc.save(path)


def make_columns(path: Path) -> None:
    """Two columns side by side; the right one is written first into the
    content stream, so only a real reading-order analysis reads left first."""
    doc = pymupdf.open()
    page = doc.new_page()
    for index, line in enumerate(RIGHT_COLUMN):
        page.insert_text((320, 100 + 14 * index), line, fontsize=11, fontname=BODY)
    for index, line in enumerate(LEFT_COLUMN):
        page.insert_text((60, 100 + 14 * index), line, fontsize=11, fontname=BODY)
    doc.save(path)


def _table_rows() -> list[list[str]]:
    return [TABLE_HEADER, *TABLE_ROWS]


def make_ruled_table(path: Path) -> None:
    """A 4 x 3 table with a full grid of ruling lines, under a caption."""
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((72, 80), "Sales table", fontsize=14, fontname=BOLD)
    x_edges = [72, 200, 300, 420]
    y_edges = [100, 124, 148, 172, 196]
    for x in x_edges:
        page.draw_line((x, y_edges[0]), (x, y_edges[-1]), width=0.8)
    for y in y_edges:
        page.draw_line((x_edges[0], y), (x_edges[-1], y), width=0.8)
    for row, cells in enumerate(_table_rows()):
        for column, text in enumerate(cells):
            font = BOLD if row == 0 else BODY
            page.insert_text((x_edges[column] + 6, y_edges[row] + 16), text, fontsize=10, fontname=font)
    page.insert_text((72, 240), "Text after the table.", fontsize=11, fontname=BODY)
    doc.save(path)


def make_text_table(path: Path) -> None:
    """The same table without any rules: only the text alignment tells."""
    doc = pymupdf.open()
    page = doc.new_page()
    x_positions = [72, 220, 340]
    for row, cells in enumerate(_table_rows()):
        for column, text in enumerate(cells):
            page.insert_text((x_positions[column], 100 + 20 * row), text, fontsize=10, fontname=BODY)
    doc.save(path)


def _png_bytes(width: int, height: int, rgb: tuple[int, int, int]) -> bytes:
    raw = b"".join(b"\x00" + bytes(rgb) * width for _ in range(height))

    def chunk(kind: bytes, data: bytes) -> bytes:
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


def _jpeg_bytes(width: int, height: int) -> bytes:
    pix = pymupdf.Pixmap(pymupdf.csRGB, pymupdf.IRect(0, 0, width, height), False)
    pix.clear_with(200)
    return pix.tobytes("jpeg")


def make_images(path: Path) -> None:
    """A page with a PNG-sourced (flate) image and a JPEG image, with text."""
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((72, 72), "Two pictures follow.", fontsize=11, fontname=BODY)
    page.insert_image(pymupdf.Rect(72, 100, 232, 200), stream=_png_bytes(64, 40, (200, 30, 30)))
    page.insert_image(pymupdf.Rect(300, 100, 460, 220), stream=_jpeg_bytes(80, 60))
    page.insert_text((72, 260), "Text below the pictures.", fontsize=11, fontname=BODY)
    doc.save(path)


def make_links(path: Path) -> None:
    """Page 1 holds an external link and a link to page 2."""
    doc = pymupdf.open()
    doc.new_page()
    doc.new_page()
    first = doc[0]
    first.insert_text((72, 100), LINK_TEXT, fontsize=11, fontname=BODY)
    width = pymupdf.get_text_length(LINK_TEXT, fontname=BODY, fontsize=11)
    first.insert_link({"kind": pymupdf.LINK_URI, "from": pymupdf.Rect(72, 88, 72 + width, 104), "uri": LINK_URI})
    first.insert_text((72, 140), "Go to the second page", fontsize=11, fontname=BODY)
    first.insert_link({"kind": pymupdf.LINK_GOTO, "from": pymupdf.Rect(72, 128, 200, 144), "page": 1})
    second = doc[1]
    second.insert_text((72, 100), "This is the second page.", fontsize=11, fontname=BODY)
    doc.save(path)


def make_outline(path: Path) -> None:
    """Three pages with a two-level outline (see OUTLINE)."""
    doc = pymupdf.open()
    for number in range(1, 4):
        doc.new_page().insert_text((72, 72), f"Chapter page {number}", fontsize=14, fontname=BODY)
    doc.set_toc([list(entry) for entry in OUTLINE])
    doc.save(path)


def make_encrypted(path: Path, user_password: str = PASSWORD) -> None:
    """AES-256 with a user password; opens only with PASSWORD."""
    doc = pymupdf.open()
    doc.new_page().insert_text((72, 72), "Confidential text", fontsize=12, fontname=BODY)
    doc.save(path, encryption=pymupdf.PDF_ENCRYPT_AES_256, owner_pw="owner-" + user_password, user_pw=user_password)


def make_owner_only(path: Path) -> None:
    """Encrypted with an owner password only: opens without a password."""
    doc = pymupdf.open()
    doc.new_page().insert_text((72, 72), "Readable by anyone", fontsize=12, fontname=BODY)
    doc.save(path, encryption=pymupdf.PDF_ENCRYPT_AES_128, owner_pw="owner", user_pw="")


def make_many_pages(path: Path, pages: int) -> None:
    doc = pymupdf.open()
    for number in range(1, pages + 1):
        page = doc.new_page()
        page.insert_text((72, 72), f"Page {number}", fontsize=16, fontname=BOLD)
        _wrap(page, pymupdf.Rect(72, 90, 520, 400), (PARAGRAPH_1 + " ") * 3)
    doc.save(path, garbage=1, deflate=True)


def make_damaged(path: Path) -> None:
    """A PDF header followed by nothing a repair could recover."""
    path.write_bytes(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n" + bytes(range(256)) * 8 + b"\n%%EOF\n")


def make_truncated(path: Path, source: Path) -> None:
    """A real PDF cut short: the cross-reference table is gone, but the
    objects are there, so a repair recovers the pages."""
    data = source.read_bytes()
    path.write_bytes(data[: int(len(data) * 0.8)])


def make_not_pdf(path: Path) -> None:
    path.write_text("This is a plain text file, not a PDF.\n")


def _write_raw_pdf(path: Path, objects: list[bytes], trailer_extra: bytes = b"") -> None:
    """Writes numbered objects (1 is the catalog) with a cross-reference
    table, for documents PyMuPDF would not write as they are meant."""
    out = io.BytesIO()
    out.write(b"%PDF-1.7\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(out.tell())
        out.write(b"%d 0 obj\n%s\nendobj\n" % (number, body))
    xref = out.tell()
    out.write(b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1))
    for offset in offsets:
        out.write(b"%010d 00000 n \n" % offset)
    out.write(
        b"trailer\n<< /Size %d /Root 1 0 R%s >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, trailer_extra, xref)
    )
    path.write_bytes(out.getvalue())


def make_unsupported_security(path: Path) -> None:
    """An /Encrypt dictionary naming a security handler nobody implements."""
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>",
        b"<< /Filter /AcmeSecretHandler /V 4 /R 4 /Length 128 >>",
    ]
    _write_raw_pdf(path, objects, b" /Encrypt 4 0 R /ID [<0123456789abcdef0123456789abcdef> <0123456789abcdef0123456789abcdef>]")


MARKUP_TEXT = "Fish & Chips <b>not bold</b> \"quoted\" 'single'"
MARKUP_TITLE = 'Menu <&> "Specials"'
MARKUP_LANGUAGE = "de-CH"
MARKUP_UNSAFE_URI = "javascript:alert(1)"


def make_markup(path: Path) -> None:
    """Text that HTML must escape, a title with markup characters, a
    catalog /Lang, a link to a javascript: URI over the first line, and a
    second line "before", three glyphs whose ToUnicode map gives a control
    character, a noncharacter and a C1 control (U+0007, U+FDD0, U+0085),
    then "after"."""
    to_unicode = (
        b"/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
        b"/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        b"/CMapName /Controls def /CMapType 2 def\n"
        b"1 begincodespacerange <00> <FF> endcodespacerange\n"
        b"3 beginbfchar <41> <0007> <42> <FDD0> <43> <0085> endbfchar\n"
        b"endcmap CMapName currentdict /CMap defineresource pop end end\n"
    )
    content = (
        b"BT /F1 12 Tf 72 720 Td (" + MARKUP_TEXT.encode("latin-1") + b") Tj ET\n"
        b"BT /F1 12 Tf 72 690 Td (before ) Tj /F2 12 Tf (ABC) Tj /F1 12 Tf ( after) Tj ET\n"
    )
    font = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding%s >>"
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R /Lang (" + MARKUP_LANGUAGE.encode() + b") >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        b"/Resources << /Font << /F1 5 0 R /F2 6 0 R >> >> /Annots [8 0 R] >>",
        b"<< /Length %d >>\nstream\n%s\nendstream" % (len(content), content),
        font % b"",
        font % b" /ToUnicode 7 0 R",
        b"<< /Length %d >>\nstream\n%s\nendstream" % (len(to_unicode), to_unicode),
        b"<< /Type /Annot /Subtype /Link /Rect [70 715 200 735] /Border [0 0 0] "
        b"/A << /S /URI /URI (" + MARKUP_UNSAFE_URI.encode() + b") >> >>",
        b"<< /Title (" + MARKUP_TITLE.encode() + b") >>",
    ]
    _write_raw_pdf(path, objects, b" /Info %d 0 R" % len(objects))


WIDE_TABLE = [["名前", "都市", "Units"], ["山田太郎", "東京", "12"], ["Li", "北京市", "7"]]


def make_wide_table(path: Path) -> None:
    """A ruled 3 x 3 table whose cells mix East Asian wide characters with
    Latin text, so that padding by characters and by display width differ."""
    doc = pymupdf.open()
    page = doc.new_page()
    x_edges = [72, 200, 300, 400]
    y_edges = [100, 124, 148, 172]
    for x in x_edges:
        page.draw_line((x, y_edges[0]), (x, y_edges[-1]), width=0.8)
    for y in y_edges:
        page.draw_line((x_edges[0], y), (x_edges[-1], y), width=0.8)
    for row, cells in enumerate(WIDE_TABLE):
        for column, text in enumerate(cells):
            font = "china-s" if any(ord(char) >= 0x2E80 for char in text) else BODY
            page.insert_text((x_edges[column] + 6, y_edges[row] + 16), text, fontsize=10, fontname=font)
    doc.save(path)


# Lines whose characters mean something in Markdown, each its own paragraph.
SPECIAL_LINES = [
    "Stars like 2*3*4 and [brackets] stay literal.",
    "# is not a heading here",
    "> is not a quote either",
    "Paths such as C:\\temp and snake_case_names are kept.",
    "Tags <b>stay</b> text and &amp; stays too.",
    "Plain words need no escapes at all.",
]


def make_special_text(path: Path) -> None:
    doc = pymupdf.open()
    page = doc.new_page()
    for index, line in enumerate(SPECIAL_LINES):
        page.insert_text((72, 100 + 30 * index), line, fontsize=11, fontname=BODY)
    doc.save(path)


FORMULA_BEFORE = "The relation between the angles is shown below."
FORMULA_AFTER = "The text after the formula continues here."


def make_formula(path: Path) -> None:
    """A line set in the Symbol font (a display formula) between two lines
    of body text."""
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((72, 100), FORMULA_BEFORE, fontsize=11, fontname=BODY)
    page.insert_text((120, 150), "a + b = g", fontsize=16, fontname="symb")
    page.insert_text((72, 200), FORMULA_AFTER, fontsize=11, fontname=BODY)
    doc.save(path)


SHAPES_PAGE = (300, 200)  # width and height in points of the first two pages
SHAPES_BLACK = (20, 20, 120, 80)  # page 1: a black box (x0, y0, x1, y1, y downwards)
SHAPES_RED = (160, 100, 260, 180)  # page 1: a red box
SHAPES_WIDE_PAGE = (14000, 100)  # page 3: a long, empty strip


def make_shapes(path: Path) -> None:
    """Page 1: a black and a red box on white (SHAPES_BLACK, SHAPES_RED).
    Page 2: the same boxes swapped left and right. Page 3: a very wide empty
    page, too wide for some image formats once scaled up."""
    doc = pymupdf.open()
    width, height = SHAPES_PAGE
    for black, red in [(SHAPES_BLACK, SHAPES_RED), (_mirrored(SHAPES_BLACK), _mirrored(SHAPES_RED))]:
        page = doc.new_page(width=width, height=height)
        page.draw_rect(pymupdf.Rect(*black), color=None, fill=(0, 0, 0))
        page.draw_rect(pymupdf.Rect(*red), color=None, fill=(1, 0, 0))
    doc.new_page(width=SHAPES_WIDE_PAGE[0], height=SHAPES_WIDE_PAGE[1])
    doc.save(path)


def _mirrored(box: tuple[int, int, int, int]) -> tuple[int, int, int, int]:
    x0, y0, x1, y1 = box
    return (SHAPES_PAGE[0] - x1, y0, SHAPES_PAGE[0] - x0, y1)


@dataclass(frozen=True)
class Documents:
    folder: Path
    simple: Path
    structured: Path
    columns: Path
    ruled_table: Path
    text_table: Path
    images: Path
    links: Path
    outline: Path
    encrypted: Path
    owner_only: Path
    damaged: Path
    truncated: Path
    not_pdf: Path
    unsupported_security: Path
    wide_table: Path
    special_text: Path
    formula: Path
    shapes: Path


def build_all(folder: Path) -> Documents:
    folder.mkdir(parents=True, exist_ok=True)
    docs = Documents(
        folder=folder,
        simple=folder / "simple.pdf",
        structured=folder / "structured.pdf",
        columns=folder / "columns.pdf",
        ruled_table=folder / "ruled_table.pdf",
        text_table=folder / "text_table.pdf",
        images=folder / "images.pdf",
        links=folder / "links.pdf",
        outline=folder / "outline.pdf",
        encrypted=folder / "encrypted.pdf",
        owner_only=folder / "owner_only.pdf",
        damaged=folder / "damaged.pdf",
        truncated=folder / "truncated.pdf",
        not_pdf=folder / "not_a.pdf",
        unsupported_security=folder / "unsupported_security.pdf",
        wide_table=folder / "wide_table.pdf",
        special_text=folder / "special_text.pdf",
        formula=folder / "formula.pdf",
        shapes=folder / "shapes.pdf",
    )
    make_simple(docs.simple)
    make_structured(docs.structured)
    make_columns(docs.columns)
    make_ruled_table(docs.ruled_table)
    make_text_table(docs.text_table)
    make_images(docs.images)
    make_links(docs.links)
    make_outline(docs.outline)
    make_encrypted(docs.encrypted)
    make_owner_only(docs.owner_only)
    make_damaged(docs.damaged)
    make_truncated(docs.truncated, docs.simple)
    make_not_pdf(docs.not_pdf)
    make_unsupported_security(docs.unsupported_security)
    make_wide_table(docs.wide_table)
    make_special_text(docs.special_text)
    make_formula(docs.formula)
    make_shapes(docs.shapes)
    return docs


# --- Documents for the page analysis and the JSON output. They are built by
# the tests that need them (see tests/engine/test_analysis.py).

HYPHENATED_LINES = [
    "The analysis joins lines of one para-",
    "graph again, and a well-",
    "known compound keeps its hyphen, as does",
    "the name Anglo-",
    "Saxon; numbers such as 1990-",
    "2000 stay together too.",
]
HYPHENATED_TEXT = (
    "The analysis joins lines of one paragraph again, and a well-known compound keeps its hyphen, "
    "as does the name Anglo-Saxon; numbers such as 1990-2000 stay together too."
)


def make_hyphenated(path: Path) -> None:
    """One paragraph whose lines end in hyphens: a word broken across lines
    and compounds, a name and a number range that keep their hyphen."""
    doc = pymupdf.open()
    page = doc.new_page()
    for index, line in enumerate(HYPHENATED_LINES):
        page.insert_text((72, 100 + 14 * index), line, fontsize=11, fontname=BODY)
    doc.save(path)


REPORT_TITLE = "Annual Review"
REPORT_PARAGRAPHS = [  # in reading order, after the title
    "Upper left column text that runs over several lines before the break. " * 3,
    "Upper right column text that also runs over several lines in its box. " * 3,
    "A full-width paragraph in the middle of the page breaks the columns apart and is read after both of them.",
    "Lower left column text, read before the lower right column. " * 3,
    "Lower right column text, read last of all on this page. " * 3,
]


def make_report(path: Path) -> None:
    """A title, two columns, a full-width paragraph, two more columns; the
    right columns are written first into the content stream."""
    doc = pymupdf.open()
    page = doc.new_page()
    upper_left, upper_right, middle, lower_left, lower_right = (text.strip() for text in REPORT_PARAGRAPHS)
    _wrap(page, pymupdf.Rect(320, 90, 550, 200), upper_right)
    _wrap(page, pymupdf.Rect(60, 90, 290, 200), upper_left)
    _wrap(page, pymupdf.Rect(60, 215, 550, 260), middle)
    _wrap(page, pymupdf.Rect(320, 275, 550, 380), lower_right)
    _wrap(page, pymupdf.Rect(60, 275, 290, 380), lower_left)
    page.insert_text((60, 70), REPORT_TITLE, fontsize=22, fontname=BOLD)
    doc.save(path)


# (row, column): (text, row_span, column_span) of a ruled table whose first
# column's header spans two rows and whose "Sales" header spans two columns.
MERGED_TABLE = {
    (0, 0): ("Item", 2, 1), (0, 1): ("Sales", 1, 2),
    (1, 1): ("2023", 1, 1), (1, 2): ("2024", 1, 1),
    (2, 0): ("Pens", 1, 1), (2, 1): ("10", 1, 1), (2, 2): ("12", 1, 1),
    (3, 0): ("Ink", 1, 1), (3, 1): ("7", 1, 1), (3, 2): ("9", 1, 1),
}


def make_merged_table(path: Path) -> None:
    doc = pymupdf.open()
    page = doc.new_page()
    xs = [72, 180, 280, 380]
    ys = [100, 122, 144, 166, 188]
    for x in (xs[0], xs[1], xs[3]):
        page.draw_line((x, ys[0]), (x, ys[-1]), width=0.8)
    page.draw_line((xs[2], ys[1]), (xs[2], ys[-1]), width=0.8)  # no rule inside "Sales"
    for y in (ys[0], ys[2], ys[3], ys[4]):
        page.draw_line((xs[0], y), (xs[-1], y), width=0.8)
    page.draw_line((xs[1], ys[1]), (xs[-1], ys[1]), width=0.8)  # no rule inside "Item"
    for (row, column), (text, _, _) in MERGED_TABLE.items():
        page.insert_text((xs[column] + 5, ys[row] + 15), text, fontsize=10, fontname=BODY)
    doc.save(path)


# (level, marker, text) of a nested bulleted list; the first item wraps.
NESTED_LIST = [
    (0, "\u2022", "First level item that is long enough to wrap onto a second line of text in its box"),
    (1, "-", "Second level item"),
    (1, "-", "Another second level item"),
    (0, "\u2022", "Back at the first level"),
]


def make_nested_list(path: Path) -> None:
    doc = pymupdf.open()
    page = doc.new_page()
    y = 100.0
    for level, marker, text in NESTED_LIST:
        x = 80 + 20 * level
        page.insert_text((x, y), marker, fontsize=11, fontname=BODY)
        spare = page.insert_textbox(pymupdf.Rect(x + 14, y - 11, 300, y + 40), text, fontsize=11, fontname=BODY)
        y += (51 - spare) + 6
    doc.save(path)


RUNNING_HEADER = "Running header text"
RUNNING_FOOTER = "Footer on the left side"
LONG_COLUMN = [f"Left line {number} of the longer column" for number in range(12)]
SHORT_COLUMN = [f"Right line {number} of the short column" for number in range(6)]


def make_running_header(path: Path) -> None:
    """Two columns of unequal length under a right-aligned running header
    and above a footer at the bottom left."""
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((400, 40), RUNNING_HEADER, fontsize=9, fontname=BODY)
    for index, line in enumerate(SHORT_COLUMN):
        page.insert_text((320, 100 + 14 * index), line, fontsize=11, fontname=BODY)
    for index, line in enumerate(LONG_COLUMN):
        page.insert_text((60, 100 + 14 * index), line, fontsize=11, fontname=BODY)
    page.insert_text((60, 780), RUNNING_FOOTER, fontsize=9, fontname=BODY)
    doc.save(path)


ANNOTATION_TEXT = "Reviewer note here"
ESCAPE_TEXT = 'Say "hello" to C:\\path\\file, café & naïve'
ESCAPE_TITLE = 'Title with "quotes",\nnew line,\ttab and \\ backslash'
CJK_LINES = ["中文文本的第一行", "继续第二行。"]


def make_annotated(path: Path) -> None:
    """Text with quotes, backslashes and accents, two lines of Chinese that
    join without a space, a free-text annotation, and a title that JSON
    must escape."""
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((72, 100), ESCAPE_TEXT, fontsize=11, fontname=BODY)
    for index, line in enumerate(CJK_LINES):
        page.insert_text((72, 150 + 14 * index), line, fontsize=11, fontname="china-s")
    page.add_freetext_annot(pymupdf.Rect(300, 300, 500, 340), ANNOTATION_TEXT, fontsize=11)
    doc.set_metadata({"title": ESCAPE_TITLE})
    doc.save(path)


# A ruled table whose middle cell holds two lines of text.
WRAPPED_CELL_TABLE = [
    ["Name", "Notes", "Qty"],
    ["Widget", "A long note that wraps over two lines here", "3"],
    ["Gadget", "Short", "12"],
]


def make_wrapped_cell_table(path: Path) -> None:
    doc = pymupdf.open()
    page = doc.new_page()
    xs = [72, 160, 300, 380]
    ys = [100, 124, 172, 196]
    for x in xs:
        page.draw_line((x, ys[0]), (x, ys[-1]), width=0.8)
    for y in ys:
        page.draw_line((xs[0], y), (xs[-1], y), width=0.8)
    for row, cells in enumerate(WRAPPED_CELL_TABLE):
        for column, text in enumerate(cells):
            box = pymupdf.Rect(xs[column] + 4, ys[row] + 4, xs[column + 1] - 4, ys[row + 1] - 2)
            _wrap(page, box, text, size=10)
    doc.save(path)


# Two tables. The first is ruled only above, under its header and below
# (no rules between the columns nor the body rows), its header row filled
# dark with white labels, the figures and their labels set flush right; a
# white banner line on a dark band above it. The second is a full grid of
# 1 pt grey rules, its labels centred in cells taller than their text.
STYLED_TABLE_BANNER = "Regional figures"
STYLED_TABLE_FILL = (0.1, 0.2, 0.4)  # the header row's fill, #1A3366
STYLED_TABLE_XS = [72, 200, 300, 420]
STYLED_TABLE_YS = [130, 152, 174, 196, 218]
STYLED_TABLE_RULES = {130: 1.5, 152: 0.75, 218: 1.5}  # y: width
GRID_TABLE_YS = [300, 340, 380]
GRID_TABLE_ROWS = [["Plan", "Rate"], ["Basic", "4.5%"]]
GRID_TABLE_GREY = (0.5, 0.5, 0.5)


def make_styled_table(path: Path) -> None:
    doc = pymupdf.open()
    page = doc.new_page()
    xs, ys = STYLED_TABLE_XS, STYLED_TABLE_YS
    page.draw_rect(pymupdf.Rect(72, 90, 420, 114), color=None, fill=(0.2, 0.2, 0.2))
    page.insert_text((80, 107), STYLED_TABLE_BANNER, fontsize=12, fontname=BOLD, color=(1, 1, 1))
    page.draw_rect(pymupdf.Rect(xs[0], ys[0], xs[-1], ys[1]), color=None, fill=STYLED_TABLE_FILL)
    for y, width in STYLED_TABLE_RULES.items():
        page.draw_line((xs[0], y), (xs[-1], y), width=width)
    for row, cells in enumerate(_table_rows()):
        font = BOLD if row == 0 else BODY
        color = (1, 1, 1) if row == 0 else (0, 0, 0)
        for column, text in enumerate(cells):
            x = xs[0] + 6
            if column > 0:
                x = xs[column + 1] - 6 - pymupdf.get_text_length(text, fontname=font, fontsize=10)
            page.insert_text((x, ys[row] + 15), text, fontsize=10, fontname=font, color=color)
    grid_xs = STYLED_TABLE_XS[:3]
    for x in grid_xs:
        page.draw_line((x, GRID_TABLE_YS[0]), (x, GRID_TABLE_YS[-1]), width=1, color=GRID_TABLE_GREY)
    for y in GRID_TABLE_YS:
        page.draw_line((grid_xs[0], y), (grid_xs[-1], y), width=1, color=GRID_TABLE_GREY)
    for row, cells in enumerate(GRID_TABLE_ROWS):
        for column, text in enumerate(cells):
            width = pymupdf.get_text_length(text, fontname=BODY, fontsize=10)
            middle = (grid_xs[column] + grid_xs[column + 1]) / 2
            page.insert_text((middle - width / 2, GRID_TABLE_YS[row] + 24), text, fontsize=10, fontname=BODY)
    doc.save(path)


# A listing in a monospaced font whose fields line up in columns: code,
# not a table, read row by row.
CODE_ROWS = [
    ["Offset", "Type", "Name"],
    ["0", "CARD16", "MAJOR_VERSION"],
    ["2", "CARD16", "MINOR_VERSION"],
    ["4", "CARD32", "ALIAS_LIST_OFFSET"],
]


def make_code_listing(path: Path) -> None:
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((72, 80), "The header of the cache file:", fontsize=11, fontname=BODY)
    for row, fields in enumerate(CODE_ROWS):
        for x, field in zip((90, 150, 230), fields):
            page.insert_text((x, 110 + 13 * row), field, fontsize=10, fontname="cour")
    doc.save(path)


# --- Documents that declare far more pixels than they hold, for the memory
# bounds (see tests/engine/test_memory.py).
HUGE_IMAGE_SIDE = 40000  # 4.8 GB of RGB samples, declared by a file of 800 bytes
HUGE_FORMULA_PAGE = 30000  # points each way
HUGE_FORMULA_SIZE = 3000  # points


def make_huge_image(path: Path) -> None:
    """One page with a line of text and an RGB image that declares
    HUGE_IMAGE_SIDE pixels each way but carries three bytes of samples;
    a reader pads the rest."""
    samples = b"\x00\x01\x02"
    content = b"q 100 0 0 100 72 600 cm /Im1 Do Q BT /F1 12 Tf 72 560 Td (Text under the image) Tj ET"
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F1 "
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> /XObject << /Im1 5 0 R >> >> >>",
        b"<< /Length %d >>\nstream\n%s\nendstream" % (len(content), content),
        b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB /BitsPerComponent 8 "
        b"/Length %d >>\nstream\n%s\nendstream" % (HUGE_IMAGE_SIDE, HUGE_IMAGE_SIDE, len(samples), samples),
    ]
    _write_raw_pdf(path, objects)


def make_huge_formula(path: Path) -> None:
    """A HUGE_FORMULA_PAGE square page whose formula line (Symbol font) is
    set at HUGE_FORMULA_SIZE points, between two lines of body text."""
    doc = pymupdf.open()
    page = doc.new_page(width=HUGE_FORMULA_PAGE, height=HUGE_FORMULA_PAGE)
    page.insert_text((72, 100), FORMULA_BEFORE, fontsize=11, fontname=BODY)
    page.insert_text((100, HUGE_FORMULA_PAGE / 2), "a + b = g", fontsize=HUGE_FORMULA_SIZE, fontname="symb")
    page.insert_text((72, HUGE_FORMULA_PAGE - 100), FORMULA_AFTER, fontsize=11, fontname=BODY)
    doc.save(path)


# --- Text drawn partly or wholly outside the page, for the clipping of
# characters to the page (see tests/engine/test_off_page_text.py). Page 1 is
# upright, page 2 turned by /Rotate 90; both have a MediaBox of 612 x 792.
OFF_PAGE_KEPT = [
    ["This line is on the page.", "Kept part", "Clipped kept", "Near the bottom edge"],
    ["Rotated page kept"],
]
OFF_PAGE_DROPPED = ["Dropped", "Entirely", "Above", "dropped"]


def make_off_page(path: Path) -> None:
    """Text objects that run off the right edge (one also filled and used
    as a clip, render mode 4), one wholly left of and one wholly above the
    page, one just above the bottom edge, and on the turned page a line
    that runs off its edge."""
    upright = (
        b"BT /F1 11 Tf 72 700 Td (This line is on the page.) Tj ET\n"
        b"BT /F1 11 Tf 400 660 Td (Kept part) Tj 320 0 Td (Dropped part) Tj ET\n"
        b"BT /F1 11 Tf -220 620 Td (Entirely left of the page) Tj ET\n"
        b"BT /F1 11 Tf 72 830 Td (Above the page) Tj ET\n"
        b"q BT /F1 11 Tf 4 Tr 400 580 Td (Clipped kept) Tj 320 0 Td (Clipped dropped) Tj ET Q\n"
        b"BT /F1 11 Tf 72 10 Td (Near the bottom edge) Tj ET"
    )
    turned = b"BT /F1 11 Tf 72 700 Td (Rotated page kept) Tj 700 0 Td (rotated page dropped) Tj ET"
    font = b"/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>"
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R " + font + b" >>",
        b"<< /Length %d >>\nstream\n%s\nendstream" % (len(upright), upright),
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 90 /Contents 6 0 R " + font + b" >>",
        b"<< /Length %d >>\nstream\n%s\nendstream" % (len(turned), turned),
    ]
    _write_raw_pdf(path, objects)


CHAPTER_HEADINGS = [
    # (page, size, text): a title and a section on page 1, a sub-section
    # alone on page 2, a section alone on page 3
    (0, 24, "Annual Survey"),
    (0, 18, "Methods"),
    (1, 14, "Sampling details"),
    (2, 18, "Findings"),
]


def make_chapters(path: Path) -> None:
    """Three pages whose heading sizes only make sense across the document."""
    doc = pymupdf.open()
    for _ in range(3):
        doc.new_page()
    y_on_page = [80.0, 80.0, 80.0]
    for page_index, size, text in CHAPTER_HEADINGS:
        page = doc[page_index]
        y = y_on_page[page_index]
        page.insert_text((72, y), text, fontsize=size, fontname=BOLD)
        _wrap(page, pymupdf.Rect(72, y + 12, 520, y + 60), PARAGRAPH_2)
        y_on_page[page_index] = y + 90
    doc.save(path)


def make_noted(path: Path) -> None:
    """Two paragraphs far apart, a sticky note beside the second and a
    highlight with a comment on the first."""
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((72, 100), "The first paragraph is highlighted.", fontsize=11)
    page.insert_text((72, 400), "The second paragraph has a note.", fontsize=11)
    note = page.add_text_annot((320, 395), "Check this figure\nagain")
    note.set_info(title="Rita Reviewer")
    note.update()
    mark = page.add_highlight_annot(pymupdf.Rect(72, 88, 200, 104))
    mark.set_info(content="Highlighted remark")
    mark.update()
    doc.save(path)


CHART_BEFORE = "Sales rose in every quarter, as the chart shows."
CHART_AFTER = "The text after the chart goes on here."
CHART_LABELS = ["Q1", "Q2", "Q3", "Q4"]


def make_chart(path: Path) -> None:
    """A bar chart drawn with paths (axes, four bars, a curve), labelled,
    between two lines of body text."""
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((72, 100), CHART_BEFORE, fontsize=11, fontname=BODY)
    left, bottom = 100, 300
    page.draw_line((left, 150), (left, bottom), width=1)
    page.draw_line((left, bottom), (400, bottom), width=1)
    for index, (label, height) in enumerate(zip(CHART_LABELS, [40, 70, 90, 120])):
        x = left + 20 + 70 * index
        page.draw_rect(pymupdf.Rect(x, bottom - height, x + 40, bottom), color=None, fill=(0.2, 0.4, 0.8))
        page.insert_text((x + 12, bottom + 14), label, fontsize=9, fontname=BODY)
    page.draw_bezier((left, 280), (200, 200), (300, 190), (390, 160), color=(0.8, 0, 0), width=1.5)
    page.insert_text((72, 360), CHART_AFTER, fontsize=11, fontname=BODY)
    doc.save(path)


HEADED_TITLE = "Report of the River Authority"
HEADED_BODY = ("The authority inspected the weirs and the locks along the river and set the budget for the "
               "repairs that the spring floods made necessary. ")
HEADED_CODE = ["def flow(depth, width):", "    if depth < 0:", "        raise ValueError(depth)",
               "    return depth * width"]
HEADED_CONTENTS = [("1 Inspections", 2), ("2 Budget", 3), ("3 Outlook", 4)]


def make_headed_report(path: Path) -> None:
    """A contents page with dot leaders linked to the pages, then pages
    under a running header with the page number in the footer, one of them
    with a listing in Courier."""
    doc = pymupdf.open()
    contents = doc.new_page()
    contents.insert_text((72, 90), "Contents", fontsize=18, fontname=BOLD)
    for row, (title, target) in enumerate(HEADED_CONTENTS):
        y = 130 + 18 * row
        leader = " ." * int((470 - 72 - pymupdf.get_text_length(title, BODY, 10)) / 5.6)
        contents.insert_text((72, y), title + leader, fontsize=10, fontname=BODY)
        contents.insert_text((500, y), str(target), fontsize=10, fontname=BODY)
    for number, (title, _) in enumerate(HEADED_CONTENTS, 2):
        page = doc.new_page()
        page.insert_text((72, 40), HEADED_TITLE, fontsize=8, fontname=BODY)
        page.insert_text((290, 800), str(number), fontsize=8, fontname=BODY)
        page.insert_text((72, 90), title, fontsize=16, fontname=BOLD)
        page.insert_textbox(pymupdf.Rect(72, 110, 520, 250), HEADED_BODY * 3, fontsize=10, fontname=BODY)
        if number == 3:
            for k, line in enumerate(HEADED_CODE):
                page.insert_text((90, 280 + 12 * k), line, fontsize=9, fontname="cour")
            page.insert_textbox(pymupdf.Rect(72, 350, 520, 420), HEADED_BODY, fontsize=10, fontname=BODY)
    for row, (_, target) in enumerate(HEADED_CONTENTS):
        y = 130 + 18 * row
        doc[0].insert_link({"kind": pymupdf.LINK_GOTO, "from": pymupdf.Rect(72, y - 10, 510, y + 3),
                              "page": target - 1, "to": pymupdf.Point(72, 72)})
    doc.set_toc([[1, title, target] for title, target in HEADED_CONTENTS])
    doc.save(path)
