"""Generates the benchmark corpus: realistic, text-dense PDF documents laid
out from HTML with embedded TrueType fonts, plus a graphics-heavy document
for rendering. Everything is made locally and deterministically (fixed
random seeds), so two runs give the same files.

    python bench/make_corpus.py [--out build/bench] [--quick]

Writes into the output folder (default: build/bench beside this checkout):

    text-20.pdf, text-100.pdf, text-500.pdf   chapters of prose with headings,
        two-column chapters, ruled tables, lists, code and pictures; about
        2,000-4,000 characters per page, a running header and page numbers
    graphics-20.pdf   pages of curves, filled shapes, gradients, charts and
        photographs, with few words: for the image benchmarks

--quick leaves out the 500-page document. Existing files are kept unless
--force is given.
"""

from __future__ import annotations

import argparse
import io
import math
import random
import sys
from dataclasses import dataclass
from pathlib import Path

import pymupdf
from PIL import Image, ImageDraw, ImageFilter

FONT_DIR = Path("/usr/share/fonts/truetype/dejavu")
PAGE = pymupdf.paper_rect("letter")
MARGIN = 54
GUTTER = 20
HEADER_Y = 34
FOOTER_Y = PAGE.height - 28

TEXT_SIZES = (20, 100, 500)
QUICK_SIZES = (20, 100)

CSS = """
@font-face { font-family: Body; src: url(DejaVuSerif.ttf); }
@font-face { font-family: Body; src: url(DejaVuSerif-Bold.ttf); font-weight: bold; }
@font-face { font-family: Body; src: url(DejaVuSerif-Italic.ttf); font-style: italic; }
@font-face { font-family: Body; src: url(DejaVuSerif-BoldItalic.ttf); font-weight: bold; font-style: italic; }
@font-face { font-family: Head; src: url(DejaVuSans-Bold.ttf); font-weight: bold; }
@font-face { font-family: Head; src: url(DejaVuSans.ttf); }
@font-face { font-family: Code; src: url(DejaVuSansMono.ttf); }
body { font-family: Body; font-size: 10.5pt; line-height: 1.3; text-align: justify; }
h1 { font-family: Head; font-weight: bold; font-size: 20pt; margin: 0 0 10pt 0; }
h2 { font-family: Head; font-weight: bold; font-size: 14pt; margin: 12pt 0 5pt 0; }
h3 { font-family: Head; font-weight: bold; font-size: 11.5pt; margin: 9pt 0 3pt 0; }
p { margin: 0 0 6pt 0; }
ul, ol { margin: 0 0 6pt 0; }
li { margin: 0 0 2pt 0; }
pre { font-family: Code; font-size: 8.5pt; margin: 4pt 0 8pt 0; text-align: left; }
code { font-family: Code; font-size: 9pt; }
table { border-collapse: collapse; margin: 4pt 0 10pt 0; font-size: 9pt; text-align: left; }
th { font-family: Head; font-weight: bold; border: 0.6pt solid black; padding: 2pt 4pt; background-color: #e4e8ee; }
td { border: 0.6pt solid black; padding: 2pt 4pt; }
td.num { text-align: right; }
img { display: block; margin: 4pt 0 2pt 0; }
p.caption { font-style: italic; font-size: 9pt; text-align: center; }
"""

WORDS = """
the of and to in is that for it as with was on be by this are from at or an
which have not has but were their they can more also been one all these its
other its than into only some would two may such when there new used most
time first over between after where each under both while many through same
system data model method result value analysis process design report table
section figure number level rate cost market policy quality service network
energy water project sample period region growth measure change effect factor
standard structure function response pressure surface material product sector
average annual capacity performance operation development management research
evaluation information application component requirement distribution
environment assessment procedure objective framework interface transmission
particular significant relatively considerable approximately substantially
throughout therefore however although whereas because since during against
within without across toward around beyond among along upon above below
small large higher lower early later recent current previous following
general specific regional national internal external primary secondary
""".split()

CITIES = ["Aberdeen", "Bergen", "Cordoba", "Dresden", "Eindhoven", "Fukuoka", "Graz", "Halifax", "Izmir",
          "Jaipur", "Krakow", "Leipzig", "Malmo", "Nantes", "Oulu", "Porto", "Quebec", "Rosario", "Split",
          "Tampere", "Utrecht", "Valencia", "Wroclaw", "Yokohama", "Zaragoza"]

CODE_LINES = [
    "def load_series(path, columns=None):",
    "    frame = read_table(path, separator=';')",
    "    if columns is not None:",
    "        frame = frame.select(columns)",
    "    return frame.sort_by('period')",
    "for region, rows in grouped(records):",
    "    total = sum(row.value for row in rows)",
    "    print(f'{region:<12} {total:>10.2f}')",
]


class Prose:
    """Deterministic English-like text."""

    def __init__(self, seed: int) -> None:
        self.rng = random.Random(seed)

    def words(self, count: int) -> list[str]:
        return [self.rng.choice(WORDS) for _ in range(count)]

    def sentence(self) -> str:
        words = self.words(self.rng.randint(8, 24))
        if self.rng.random() < 0.3:
            words.insert(self.rng.randrange(len(words)), f"{self.rng.randint(2, 980)}")
        if self.rng.random() < 0.2:
            words.insert(self.rng.randrange(len(words)), self.rng.choice(CITIES))
        text = " ".join(words)
        if len(words) > 12 and self.rng.random() < 0.4:
            cut = text.find(" ", len(text) // 2)
            text = text[:cut] + "," + text[cut:]
        return text[0].upper() + text[1:] + "."

    def styled_sentence(self) -> str:
        """A sentence with the odd bold, italic or code phrase."""
        words = self.sentence().split(" ")
        roll = self.rng.random()
        if len(words) > 6 and roll < 0.25:
            at = self.rng.randrange(1, len(words) - 3)
            tag = self.rng.choice(["b", "i", "code"])
            words[at] = f"<{tag}>{words[at]}"
            words[at + 1] = f"{words[at + 1]}</{tag}>"
        return " ".join(words)

    def paragraph(self) -> str:
        return " ".join(self.styled_sentence() for _ in range(self.rng.randint(3, 8)))

    def title(self, low: int = 2, high: int = 6) -> str:
        return " ".join(self.words(self.rng.randint(low, high))).title()


def table_html(prose: Prose) -> str:
    rng = prose.rng
    columns = rng.randint(4, 6)
    rows = rng.randint(5, 12)
    header = ["Region"] + [prose.title(1, 2) for _ in range(columns - 1)]
    body = []
    for _ in range(rows):
        cells = [f"<td>{rng.choice(CITIES)}</td>"]
        for _ in range(columns - 1):
            value = rng.uniform(0, 10000)
            cells.append(f'<td class="num">{value:,.1f}</td>' if rng.random() < 0.8 else f"<td>{prose.title(1, 2)}</td>")
        body.append("<tr>" + "".join(cells) + "</tr>")
    head = "<tr>" + "".join(f"<th>{h}</th>" for h in header) + "</tr>"
    caption = f'<p class="caption">Table: {prose.title(3, 7)}</p>'
    return f"<table>{head}{''.join(body)}</table>{caption}"


def list_html(prose: Prose) -> str:
    tag = prose.rng.choice(["ul", "ol"])
    items = "".join(f"<li>{prose.styled_sentence()}</li>" for _ in range(prose.rng.randint(3, 6)))
    return f"<{tag}>{items}</{tag}>"


def code_html(prose: Prose) -> str:
    start = prose.rng.randrange(len(CODE_LINES) - 3)
    lines = CODE_LINES[start:start + prose.rng.randint(3, 5)]
    return "<pre>" + "\n".join(lines) + "</pre>"


def figure_html(prose: Prose, images: list[str], width: int) -> str:
    name = prose.rng.choice(images)
    return f'<img src="{name}" width="{width}"/><p class="caption">Figure: {prose.title(3, 8)}</p>'


def chapter_html(prose: Prose, number: int, images: list[str], two_columns: bool) -> str:
    figure_width = 220 if two_columns else 320
    parts = [f"<h1>{number}. {prose.title(2, 5)}</h1>"]
    for section in range(1, prose.rng.randint(4, 7) + 1):
        parts.append(f"<h2>{number}.{section} {prose.title()}</h2>")
        for _ in range(prose.rng.randint(3, 7)):
            roll = prose.rng.random()
            if roll < 0.07:
                parts.append(table_html(prose))
            elif roll < 0.14:
                parts.append(list_html(prose))
            elif roll < 0.18:
                parts.append(figure_html(prose, images, figure_width))
            elif roll < 0.21:
                parts.append(code_html(prose))
            elif roll < 0.30:
                parts.append(f"<h3>{prose.title()}</h3>")
            parts.append(f"<p>{prose.paragraph()}</p>")
    return "<body>" + "".join(parts) + "</body>"


# ------------------------------------------------------------------ images


def chart_png(rng: random.Random, size: tuple[int, int]) -> bytes:
    image = Image.new("RGB", size, "white")
    draw = ImageDraw.Draw(image)
    w, h = size
    draw.line([(40, 10), (40, h - 30), (w - 10, h - 30)], fill="black", width=2)
    bars = rng.randint(6, 12)
    step = (w - 60) / bars
    for i in range(bars):
        top = rng.randint(20, h - 50)
        colour = (rng.randint(30, 200), rng.randint(60, 200), rng.randint(120, 240))
        draw.rectangle([50 + i * step, top, 50 + (i + 0.7) * step, h - 31], fill=colour)
    points = [(50 + i * step, rng.randint(20, h - 50)) for i in range(bars)]
    draw.line(points, fill=(200, 40, 40), width=3)
    out = io.BytesIO()
    image.save(out, "PNG")
    return out.getvalue()


def photo_jpeg(rng: random.Random, size: tuple[int, int]) -> bytes:
    """A smooth, photograph-like picture: blurred coloured blobs on a gradient."""
    w, h = size
    image = Image.linear_gradient("L").resize(size).convert("RGB")
    draw = ImageDraw.Draw(image)
    for _ in range(40):
        x, y, r = rng.randrange(w), rng.randrange(h), rng.randint(w // 20, w // 5)
        colour = (rng.randrange(256), rng.randrange(256), rng.randrange(256))
        draw.ellipse([x - r, y - r, x + r, y + r], fill=colour)
    image = image.filter(ImageFilter.GaussianBlur(radius=max(w // 60, 2)))
    noise = Image.effect_noise(size, 24).convert("RGB")
    image = Image.blend(image, noise, 0.12)
    out = io.BytesIO()
    image.save(out, "JPEG", quality=85)
    return out.getvalue()


def make_images(folder: Path) -> list[str]:
    folder.mkdir(parents=True, exist_ok=True)
    rng = random.Random(7)
    names = []
    for i in range(4):
        name = f"chart{i}.png"
        (folder / name).write_bytes(chart_png(rng, (640, 360)))
        names.append(name)
    for i in range(4):
        name = f"photo{i}.jpg"
        (folder / name).write_bytes(photo_jpeg(rng, (800, 520)))
        names.append(name)
    return names


# ---------------------------------------------------------- text documents


@dataclass
class Layout:
    """Where a chapter's story goes: one column or two per page."""

    two_columns: bool
    pages: int = 0

    def rect(self, rect_num: int, filled: pymupdf.Rect) -> tuple[pymupdf.Rect | None, pymupdf.Rect, pymupdf.Matrix]:
        top, bottom = MARGIN + 6, PAGE.height - MARGIN
        if not self.two_columns:
            self.pages += 1
            return PAGE, pymupdf.Rect(MARGIN, top, PAGE.width - MARGIN, bottom), pymupdf.Identity
        width = (PAGE.width - 2 * MARGIN - GUTTER) / 2
        if rect_num % 2 == 0:
            self.pages += 1
            return PAGE, pymupdf.Rect(MARGIN, top, MARGIN + width, bottom), pymupdf.Identity
        x0 = MARGIN + width + GUTTER
        return None, pymupdf.Rect(x0, top, x0 + width, bottom), pymupdf.Identity


def add_running_text(doc: pymupdf.Document, title: str) -> None:
    """A running header with a rule under it and a page number in the footer."""
    font_file = str(FONT_DIR / "DejaVuSans.ttf")
    for page in doc:
        page.insert_font(fontname="dvs", fontfile=font_file)
        page.insert_text((MARGIN, HEADER_Y), title, fontname="dvs", fontsize=8)
        page.draw_line((MARGIN, HEADER_Y + 5), (PAGE.width - MARGIN, HEADER_Y + 5), width=0.5)
        label = f"Page {page.number + 1} of {doc.page_count}"
        page.insert_text((PAGE.width / 2 - 30, FOOTER_Y), label, fontname="dvs", fontsize=8)


def make_text_document(path: Path, target_pages: int, images_dir: Path, images: list[str]) -> None:
    prose = Prose(seed=target_pages)
    archive = pymupdf.Archive()
    archive.add(str(FONT_DIR))
    archive.add(str(images_dir))
    buffer = io.BytesIO()
    writer = pymupdf.DocumentWriter(buffer)
    pages, chapter = 0, 0
    while pages < target_pages:
        chapter += 1
        layout = Layout(two_columns=chapter % 3 == 2)
        story = pymupdf.Story(chapter_html(prose, chapter, images, layout.two_columns), CSS, archive=archive)
        story.write(writer, layout.rect)
        pages += layout.pages
    writer.close()
    doc = pymupdf.open("pdf", buffer.getvalue())
    title = f"Technical Report on {prose.title(3, 5)}"
    doc.set_metadata({"title": title, "author": "Benchmark corpus"})
    add_running_text(doc, title)
    doc.save(path, garbage=3, deflate=True)


# ------------------------------------------------------ graphics document


def draw_graphics_page(page: pymupdf.Page, rng: random.Random, photo: bytes, chart: bytes) -> None:
    w, h = page.rect.width, page.rect.height
    shape = page.new_shape()
    # Background wash of overlapping translucent circles and curves.
    for _ in range(250):
        x, y, r = rng.uniform(0, w), rng.uniform(0, h), rng.uniform(4, 60)
        colour = (rng.random(), rng.random(), rng.random())
        shape.draw_circle((x, y), r)
        shape.finish(color=None, fill=colour, fill_opacity=0.35)
    for _ in range(120):
        points = [pymupdf.Point(rng.uniform(0, w), rng.uniform(0, h)) for _ in range(4)]
        shape.draw_bezier(*points)
        shape.finish(color=(rng.random(), rng.random(), rng.random()), width=rng.uniform(0.3, 3))
    # A polygon "map" of many small cells.
    cx, cy = w * 0.7, h * 0.3
    for i in range(180):
        angle = i * 2 * math.pi / 180
        radius = 80 + 40 * math.sin(5 * angle) + rng.uniform(-6, 6)
        p1 = pymupdf.Point(cx, cy)
        p2 = pymupdf.Point(cx + radius * math.cos(angle), cy + radius * math.sin(angle))
        p3 = pymupdf.Point(cx + radius * math.cos(angle + 0.04), cy + radius * math.sin(angle + 0.04))
        shape.draw_polyline([p1, p2, p3, p1])
        shape.finish(color=(0.1, 0.1, 0.1), fill=(i / 180, 0.5, 1 - i / 180), width=0.2, closePath=True)
    # A line chart with a grid.
    x0, y0, x1, y1 = 60, h - 300, w - 60, h - 80
    for k in range(11):
        x = x0 + (x1 - x0) * k / 10
        shape.draw_line((x, y0), (x, y1))
        y = y0 + (y1 - y0) * k / 10
        shape.draw_line((x0, y), (x1, y))
    shape.finish(color=(0.7, 0.7, 0.7), width=0.3)
    for series in range(4):
        points = [pymupdf.Point(x0 + (x1 - x0) * k / 200, y1 - (y1 - y0) * (0.5 + 0.4 * math.sin(k / 15 + series)
                                                                          * rng.uniform(0.8, 1.0)))
                  for k in range(201)]
        shape.draw_polyline(points)
        shape.finish(color=(series / 4, 0.3, 1 - series / 4), width=1.2)
    shape.commit()
    page.insert_image(pymupdf.Rect(50, 60, 300, 222), stream=photo)
    page.insert_image(pymupdf.Rect(320, 380, 560, 515), stream=chart)
    page.insert_text((60, h - 50), f"Plate {page.number + 1}: shapes, curves, a chart and a photograph",
                     fontname="helv", fontsize=10)


def make_graphics_document(path: Path, pages: int = 20) -> None:
    rng = random.Random(11)
    doc = pymupdf.open()
    photos = [photo_jpeg(rng, (1200, 780)) for _ in range(3)]
    charts = [chart_png(rng, (800, 450)) for _ in range(3)]
    for number in range(pages):
        page = doc.new_page(width=PAGE.width, height=PAGE.height)
        draw_graphics_page(page, rng, photos[number % 3], charts[number % 3])
    doc.save(path, garbage=3, deflate=True)


# ------------------------------------------------------------------- main


def describe(path: Path) -> str:
    with pymupdf.open(path) as doc:
        chars = sum(len(page.get_text()) for page in doc)
        pages = doc.page_count
    return f"{path.name}: {pages} pages, {chars / max(pages, 1):,.0f} characters per page, " \
           f"{path.stat().st_size / 1e6:.1f} MB"


def build_corpus(out: Path, quick: bool = False, force: bool = False, verbose: bool = True) -> list[Path]:
    out.mkdir(parents=True, exist_ok=True)
    images_dir = out / "assets"
    images = make_images(images_dir)
    made = []
    jobs: list[tuple[Path, object]] = []
    for size in QUICK_SIZES if quick else TEXT_SIZES:
        path = out / f"text-{size}.pdf"
        jobs.append((path, lambda p=path, s=size: make_text_document(p, s, images_dir, images)))
    graphics = out / "graphics-20.pdf"
    jobs.append((graphics, lambda p=graphics: make_graphics_document(p)))
    for path, make in jobs:
        if force or not path.exists():
            make()  # type: ignore[operator]
            if verbose:
                print("made", describe(path))
        made.append(path)
    return made


def default_folder() -> Path:
    return Path(__file__).resolve().parent.parent / "build" / "bench"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", type=Path, default=default_folder(), help="output folder")
    parser.add_argument("--quick", action="store_true", help="leave out the 500-page document")
    parser.add_argument("--force", action="store_true", help="rebuild files that exist")
    args = parser.parse_args()
    for path in build_corpus(args.out, args.quick, args.force, verbose=False):
        print(describe(path))
    return 0


if __name__ == "__main__":
    sys.exit(main())
