"""Scanned test documents for OCR, made here so that every test knows the
text on each page: a page is set in a real font with PyMuPDF, rendered to a
gray image at 150 or 300 dpi, optionally skewed, turned and given noise,
and wrapped as an image-only PDF page of the original size. Also the
measures OCR is checked by (character error rate) and documents with a
broken ToUnicode map."""

from __future__ import annotations

import io
import random
import textwrap
import unicodedata
from dataclasses import dataclass, field
from pathlib import Path

import pymupdf
from PIL import Image, ImageChops

ENGLISH = (
    "Optical character recognition turns pictures of printed pages back into text that can be "
    "searched, copied and read aloud. The scanner sees only dots of ink; the recognition engine "
    "finds the lines, splits them into words and compares each shape with what it has learned. "
    "Clean pages at three hundred dots per inch are read almost without mistakes, while small "
    "type, heavy noise and crooked pages make the work much harder."
)
ENGLISH_2 = (
    "Every conversion keeps the order of the pages and the lines within them. A second page of "
    "plain prose follows the first one here, so that a document of several pages can be checked "
    "word for word against the text it was made from."
)
CHINESE = (
    "光学字符识别是指对文本资料的图像文件进行分析识别处理，获取文字及版面信息的过程。"
    "扫描仪只能看到纸上的墨点，识别引擎先找出文字行，再把每个字的形状与学过的字形比较。"
    "清晰的页面几乎没有错误，而小字号、噪声和歪斜的页面会让识别更加困难。"
)
LEFT_COLUMN = "Apples grow on trees in the orchard behind the old farmhouse near the river."
RIGHT_COLUMN = "Trains leave the central station every hour for the coast and the mountains."

PAGE = (612, 792)  # US Letter, points


@dataclass
class ScanPage:
    """One page to scan: paragraphs of text, how it is scanned."""

    paragraphs: list[str]
    chinese: bool = False
    size: float = 12
    dpi: int = 300
    skew: float = 0.0      # degrees counter-clockwise
    rotation: int = 0      # degrees clockwise the scan is turned (0, 90, 180, 270)
    noise: bool = False
    columns: bool = False  # paragraphs[0] left, paragraphs[1] right, side by side

    @property
    def text(self) -> str:
        return "\n".join(self.paragraphs)


@dataclass
class Word:
    text: str
    box: tuple[float, float, float, float]  # page points, y downwards


@dataclass
class ScanTruth:
    """What a scanned page holds: its text and the words' boxes on the
    scanned page (for pages neither skewed nor turned)."""

    text: str
    words: list[Word] = field(default_factory=list)


def _set_text(page: pymupdf.Page, layout: ScanPage) -> None:
    font = "china-s" if layout.chinese else "helv"
    width = 42 if layout.chinese else 78
    if layout.columns:
        for x, paragraph in zip((72, 330), layout.paragraphs):
            y = 100.0
            for line in textwrap.wrap(paragraph, 32):
                page.insert_text((x, y), line, fontsize=layout.size, fontname=font)
                y += layout.size * 1.5
        return
    y = 90.0
    for paragraph in layout.paragraphs:
        lines = [paragraph[i:i + width // 2] for i in range(0, len(paragraph), width // 2)] if layout.chinese \
            else textwrap.wrap(paragraph, width)
        for line in lines:
            page.insert_text((72, y), line, fontsize=layout.size, fontname=font)
            y += layout.size * 1.45
        y += layout.size


def _noise_tile(seed: int) -> Image.Image:
    """A fixed pattern of gray noise with dust specks, the same every run."""
    rng = random.Random(seed)
    size = 256
    data = bytearray(min(255, max(0, int(rng.gauss(128, 18)))) for _ in range(size * size))
    for _ in range(40):
        data[rng.randrange(size * size)] = 0
    return Image.frombytes("L", (size, size), bytes(data))


def _add_noise(image: Image.Image) -> Image.Image:
    tile = _noise_tile(7)
    noise = Image.new("L", image.size)
    for y in range(0, image.height, tile.height):
        for x in range(0, image.width, tile.width):
            noise.paste(tile, (x, y))
    return ImageChops.add(image, noise, 1.0, -128)


def scanned_image(layout: ScanPage) -> tuple[Image.Image, ScanTruth]:
    source = pymupdf.open()
    page = source.new_page(width=PAGE[0], height=PAGE[1])
    _set_text(page, layout)
    truth = ScanTruth(layout.text, [Word(w[4], (w[0], w[1], w[2], w[3])) for w in page.get_text("words")])
    pixmap = page.get_pixmap(dpi=layout.dpi, colorspace=pymupdf.csGRAY)
    image = Image.frombytes("L", (pixmap.width, pixmap.height), pixmap.samples)
    if layout.skew:
        image = image.rotate(layout.skew, resample=Image.Resampling.BICUBIC, fillcolor=255)
    if layout.rotation:
        image = image.rotate(-layout.rotation, expand=True)
    if layout.noise:
        image = _add_noise(image)
    return image, truth


def make_scan(path: Path, layouts: list[ScanPage], jpeg: bool = False) -> list[ScanTruth]:
    """An image-only PDF of the scanned pages; returns each page's truth."""
    doc = pymupdf.open()
    truths = []
    for layout in layouts:
        image, truth = scanned_image(layout)
        buffer = io.BytesIO()
        image.save(buffer, format="JPEG" if jpeg else "PNG", quality=85)
        width, height = (PAGE[1], PAGE[0]) if layout.rotation in (90, 270) else PAGE
        page = doc.new_page(width=width, height=height)
        page.insert_image(page.rect, stream=buffer.getvalue())
        truths.append(truth)
    doc.save(path, deflate=True)
    return truths


def make_digital(path: Path, paragraphs: list[str]) -> None:
    """A page of real text, for pages that need no OCR."""
    doc = pymupdf.open()
    page = doc.new_page(width=PAGE[0], height=PAGE[1])
    _set_text(page, ScanPage(paragraphs))
    doc.save(path)


def make_mixed(path: Path, digital: list[str], scanned: ScanPage) -> ScanTruth:
    """Page 1 with a text layer of its own, page 2 a scan."""
    make_digital(path.with_suffix(".digital.pdf"), digital)
    make_scan(path.with_suffix(".scan.pdf"), [scanned])
    doc = pymupdf.open(path.with_suffix(".digital.pdf"))
    doc.insert_pdf(pymupdf.open(path.with_suffix(".scan.pdf")))
    doc.save(path)
    return ScanTruth(scanned.text)


BROKEN_GOOD_LINE = "This line maps to Unicode as it should."
BROKEN_BAD_LINE = "Broken mapping hides these words"


def make_broken_to_unicode(path: Path) -> None:
    """One page: a line in Helvetica with a correct encoding, and a line in
    the same font whose ToUnicode map sends every code to a private-use
    character (U+E000 + code), as a damaged or deliberately obscured PDF
    does. Both lines draw the right glyphs."""
    codes = sorted(set(BROKEN_BAD_LINE.encode("latin-1")))
    entries = b" ".join(b"<%02X> <%04X>" % (code, 0xE000 + code) for code in codes)
    to_unicode = (
        b"/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
        b"/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        b"/CMapName /Hidden def /CMapType 2 def\n"
        b"1 begincodespacerange <00> <FF> endcodespacerange\n"
        + b"%d beginbfchar " % len(codes) + entries + b" endbfchar\n"
        b"endcmap CMapName currentdict /CMap defineresource pop end end\n"
    )
    content = (
        b"BT /F1 14 Tf 72 700 Td (" + BROKEN_GOOD_LINE.encode("latin-1") + b") Tj ET\n"
        b"BT /F2 14 Tf 72 660 Td (" + BROKEN_BAD_LINE.encode("latin-1") + b") Tj ET\n"
    )
    font = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding%s >>"
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        b"/Resources << /Font << /F1 5 0 R /F2 6 0 R >> >> >>",
        b"<< /Length %d >>\nstream\n%s\nendstream" % (len(content), content),
        font % b"",
        font % b" /ToUnicode 7 0 R",
        b"<< /Length %d >>\nstream\n%s\nendstream" % (len(to_unicode), to_unicode),
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
    out.write(b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref))
    path.write_bytes(out.getvalue())


# --- measures ----------------------------------------------------------------------------------


def normalise(text: str, chinese: bool = False) -> str:
    """Text as the error rate compares it: Unicode-normalised (NFKC, so
    full-width punctuation matches), whitespace collapsed; without any
    whitespace for Chinese, where spaces carry no meaning."""
    text = unicodedata.normalize("NFKC", text)
    if chinese:
        return "".join(text.split())
    return " ".join(text.split())


def edit_distance(a: str, b: str) -> int:
    previous = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        current = [i]
        for j, cb in enumerate(b, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (ca != cb)))
        previous = current
    return previous[-1]


def cer(found: str, truth: str, chinese: bool = False) -> float:
    """Character error rate: edits from the found text to the truth, per
    character of the truth."""
    expected = normalise(truth, chinese)
    return edit_distance(normalise(found, chinese), expected) / max(1, len(expected))


# --- the session's scanned documents --------------------------------------------------------

SHORT = "Short scanned note for every writer."
PAGES = [f"Scanned page number {word} of the multi page document." for word in ("one", "two", "three", "four")]
COLUMN_LEFT = (
    "Apples grow on trees in the orchard behind the old farmhouse near the river, and every autumn "
    "the whole village comes out to pick them before the first frost arrives in the valley."
)
COLUMN_RIGHT = (
    "Trains leave the central station every hour for the coast and the mountains, and on summer "
    "weekends extra carriages are added for the many walkers heading into the hills."
)


@dataclass(frozen=True)
class ScanDocuments:
    english: Path       # 300 dpi, clean, two paragraphs
    chinese: Path       # 300 dpi, clean
    hard: Path          # 150 dpi, noise, 1.5 degrees of skew
    rotated: Path       # scanned a quarter turn clockwise
    upside_down: Path   # scanned half a turn
    short: Path         # one short line
    pages: Path         # four pages of one line each
    columns: Path       # two columns side by side
    mixed: Path         # page 1 digital (DIGITAL_TEXT), page 2 the English scan
    broken: Path        # broken ToUnicode (make_broken_to_unicode)
    truth: dict[str, list[ScanTruth]]


DIGITAL_TEXT = "This first page carries a real text layer and needs no recognition."

LAYOUTS: dict[str, list[ScanPage]] = {
    "english": [ScanPage([ENGLISH, ENGLISH_2])],
    "chinese": [ScanPage([CHINESE], chinese=True)],
    "hard": [ScanPage([ENGLISH], dpi=150, noise=True, skew=1.5)],
    "rotated": [ScanPage([ENGLISH_2], rotation=90)],
    "upside_down": [ScanPage([ENGLISH_2], rotation=180)],
    "short": [ScanPage([SHORT], size=16)],
    "pages": [ScanPage([text], size=16) for text in PAGES],
    "columns": [ScanPage([COLUMN_LEFT, COLUMN_RIGHT], columns=True)],
}


def build_scans(folder: Path) -> ScanDocuments:
    truth = {name: make_scan(folder / f"{name}.pdf", layouts) for name, layouts in LAYOUTS.items()}
    truth["mixed"] = [ScanTruth(DIGITAL_TEXT), make_mixed(folder / "mixed.pdf", [DIGITAL_TEXT], LAYOUTS["english"][0])]
    make_broken_to_unicode(folder / "broken.pdf")
    paths = {name: folder / f"{name}.pdf" for name in [*LAYOUTS, "mixed", "broken"]}
    return ScanDocuments(truth=truth, **paths)
