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


def make_unsupported_security(path: Path) -> None:
    """An /Encrypt dictionary naming a security handler nobody implements."""
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>",
        b"<< /Filter /AcmeSecretHandler /V 4 /R 4 /Length 128 >>",
    ]
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
        b"trailer\n<< /Size %d /Root 1 0 R /Encrypt 4 0 R /ID [<0123456789abcdef0123456789abcdef> "
        b"<0123456789abcdef0123456789abcdef>] >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    )
    path.write_bytes(out.getvalue())


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
    return docs
