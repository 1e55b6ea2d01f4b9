"""Independent references for checking outputs: the real-world corpus,
pdftotext, LibreOffice headless and pdftoppm renders, and the measures the
tests compare them by (bag-of-words F1, image similarity).

Everything here runs software nobody on this project wrote; a test that
needs a tool that is missing skips with the tool's name."""

from __future__ import annotations

import importlib.util
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from collections import Counter
from collections.abc import Iterable, Sequence
from dataclasses import dataclass
from pathlib import Path

import pytest

REPOSITORY = Path(__file__).resolve().parents[1]


def corpus_dir() -> Path | None:
    """The folder of public real-world PDFs: $FOLI_CORPUS, else the shared
    folder beside the checkout. None when neither exists."""
    candidates = [os.environ.get("FOLI_CORPUS", ""), REPOSITORY.parent / "shared" / "corpus", "/work/shared/corpus"]
    for candidate in candidates:
        if candidate and Path(candidate, "README.md").is_file():
            return Path(candidate)
    return None


def regressions_dir() -> Path | None:
    """The folder of inputs that once crashed or stalled the library
    (made for this project, with a README): $FOLI_REGRESSIONS, else the
    shared folder beside the checkout. None when neither exists."""
    candidates = [os.environ.get("FOLI_REGRESSIONS", ""), REPOSITORY.parent / "shared" / "regressions",
                  "/work/shared/regressions"]
    for candidate in candidates:
        if candidate and Path(candidate, "README.md").is_file():
            return Path(candidate)
    return None


def regression_file(name: str) -> Path:
    """One file of the regressions folder; skips the test when it is absent."""
    folder = regressions_dir()
    if folder is None or not (folder / name).is_file():
        pytest.skip(f"the regression input {name} is not here (set FOLI_REGRESSIONS)")
    return folder / name


# Corpus files that are not ordinary readable documents.
CORPUS_SPECIAL = {"password-example.pdf", "malformed-from-issue-932.pdf"}


def corpus_documents(include_special: bool = False) -> list[Path]:
    """The corpus PDFs, sorted by name; skips the test when there is no corpus."""
    folder = corpus_dir()
    if folder is None:
        pytest.skip("the real-world corpus is not here (set FOLI_CORPUS)")
    return sorted(p for p in folder.glob("*.pdf") if include_special or p.name not in CORPUS_SPECIAL)


def corpus_names() -> list[str]:
    """The corpus file names for parametrising at collection time (empty
    when there is no corpus; the tests then collect nothing)."""
    folder = corpus_dir()
    if folder is None:
        return []
    return sorted(p.name for p in folder.glob("*.pdf") if p.name not in CORPUS_SPECIAL)


def tool_env() -> dict[str, str]:
    """The environment for outside tools: without the sanitizer runtimes
    that the sanitizer test run preloads into every child process."""
    env = dict(os.environ)
    env.pop("LD_PRELOAD", None)
    return env


def require_tool(name: str) -> str:
    path = shutil.which(name)
    if path is None:
        pytest.skip(f"{name} is not installed")
    return path


# Han ideographs and kana: scripts written without spaces, where a line
# break can fall between any two characters. Each counts as a word of its
# own, so that where a layout breaks the lines does not change the words.
_UNSPACED = "\u3040-\u30ff\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff"
WORD = re.compile(f"[{_UNSPACED}]|[^\\W{_UNSPACED}]+", re.UNICODE)


def words(text: str) -> list[str]:
    """Words as the text measures count them: runs of letters and digits,
    case-folded, so that punctuation and layout do not count; each Han or
    kana character is a word of its own."""
    return [w.casefold() for w in WORD.findall(text)]


def bag_of_words_f1(found: Iterable[str], expected: Iterable[str]) -> float:
    """F1 of two multisets of words; 1.0 when both are empty."""
    a, b = Counter(found), Counter(expected)
    if not a and not b:
        return 1.0
    common = sum((a & b).values())
    if common == 0:
        return 0.0
    precision = common / sum(a.values())
    recall = common / sum(b.values())
    return 2 * precision * recall / (precision + recall)


def pdftotext(pdf: Path, *flags: str, pages: tuple[int, int] | None = None) -> str:
    require_tool("pdftotext")
    arguments = ["pdftotext", "-q", *flags]
    if pages is not None:
        arguments += ["-f", str(pages[0]), "-l", str(pages[1])]
    result = subprocess.run([*arguments, str(pdf), "-"], capture_output=True, check=True, env=tool_env())
    return result.stdout.decode("utf-8", errors="replace")


def libreoffice_to_pdf(documents: Sequence[Path], out_dir: Path, timeout: float = 600) -> dict[Path, Path]:
    """Converts documents to PDF with LibreOffice headless, all in one run
    (starting LibreOffice costs seconds). Returns the source → PDF map of
    those that converted; a source missing from it failed to open."""
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if soffice is None:
        pytest.skip("LibreOffice (soffice) is not installed")
    out_dir.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="lo-profile-") as profile:
        subprocess.run(
            [soffice, f"-env:UserInstallation=file://{profile}", "--headless", "--norestore",
             "--convert-to", "pdf", "--outdir", str(out_dir), *map(str, documents)],
            capture_output=True, timeout=timeout, check=False, env=tool_env())
    converted = {}
    for document in documents:
        pdf = out_dir / (document.stem + ".pdf")
        if pdf.is_file() and pdf.stat().st_size > 0:
            converted[document] = pdf
    return converted


def render_page(pdf: Path, page: int, out_dir: Path, width: int = 400, gray: bool = True) -> Path:
    """Renders one 1-based page with pdftoppm, scaled to `width` pixels wide."""
    require_tool("pdftoppm")
    out_dir.mkdir(parents=True, exist_ok=True)
    prefix = out_dir / f"{pdf.stem}-p{page}"
    subprocess.run(["pdftoppm", "-f", str(page), "-l", str(page), "-singlefile", "-scale-to-x", str(width),
                    "-scale-to-y", "-1", *(["-gray"] if gray else []), "-png", str(pdf), str(prefix)],
                   capture_output=True, check=True, env=tool_env())
    return prefix.with_suffix(".png")


def image_similarity(first: Path, second: Path) -> float:
    """Similarity of two page renders in [0, 1]: one minus the mean absolute
    gray difference, after bringing the second to the first one's size and
    blurring both a little, so that anti-aliasing and sub-pixel shifts of a
    glyph do not count as differences."""
    from PIL import Image, ImageChops, ImageFilter, ImageStat

    a = Image.open(first).convert("L")
    b = Image.open(second).convert("L").resize(a.size)
    a, b = (image.filter(ImageFilter.GaussianBlur(1.5)) for image in (a, b))
    difference = ImageStat.Stat(ImageChops.difference(a, b)).mean[0]
    return 1.0 - difference / 255.0


def read_ofd(documents: Sequence[Path], out_dir: Path, timeout: float = 600) -> dict[Path, dict]:
    """Reads OFD files with easyofd, all in one process (see
    easyofd_reader.py). For each file: {"pages": [{"texts": [...],
    "images": n, "paths": n}], "pdf": what easyofd drew}, or {"error": ...}
    when easyofd failed on it."""
    if importlib.util.find_spec("easyofd") is None:
        pytest.skip("easyofd is not installed")
    out_dir.mkdir(parents=True, exist_ok=True)
    script = Path(__file__).with_name("easyofd_reader.py")
    subprocess.run([sys.executable, str(script), str(out_dir), *map(str, documents)], capture_output=True,
                   timeout=timeout, check=True, env=tool_env())
    report = json.loads((out_dir / "report.json").read_text(encoding="utf-8"))
    by_file = {Path(entry["file"]): entry for entry in report}
    return {document: by_file[Path(document).resolve()] for document in documents}


# ------------------------------------------------------------------ tables
#
# Tables are compared as grids of cell texts. Both sides are normalised the
# same way: whitespace collapsed (pdfplumber joins a cell's lines with line
# breaks, we with spaces), and rows and columns that hold no text dropped
# (a reference that splits a ruled cell into two grid columns leaves one of
# them empty).

Grid = list[list[str]]
Box = tuple[float, float, float, float]


def normalise_grid(grid: Sequence[Sequence[str | None]]) -> Grid:
    cells = [[" ".join((text or "").split()) for text in row] for row in grid]
    cells = [row for row in cells if any(row)]
    if not cells:
        return []
    width = max(len(row) for row in cells)
    cells = [row + [""] * (width - len(row)) for row in cells]
    keep = [c for c in range(width) if any(row[c] for row in cells)]
    return [[row[c] for c in keep] for row in cells]


def grid_shape(grid: Grid) -> tuple[int, int]:
    return (len(grid), len(grid[0]) if grid else 0)


def is_real_table(grid: Grid) -> bool:
    """At least two rows and two columns with text: a framed box or a
    single row of cells is no table to compare."""
    rows, columns = grid_shape(grid)
    return rows >= 2 and columns >= 2


@dataclass
class FoundTable:
    """A table as the measures compare it: its box (top-left origin,
    points), its normalised grid, and the lines of its cells (white space
    removed), which do not depend on how the lines are grouped into rows."""

    box: Box
    grid: Grid
    lines: list[str]


def pdfplumber_tables(pdf: Path) -> dict[int, list[FoundTable]]:
    """pdfplumber's tables with its default settings, by 1-based page;
    real tables only."""
    try:
        import pdfplumber
    except ImportError:
        pytest.skip("pdfplumber is not installed")
    found: dict[int, list[FoundTable]] = {}
    with pdfplumber.open(pdf) as document:
        for number, page in enumerate(document.pages, 1):
            for table in page.find_tables():
                cells = table.extract()
                grid = normalise_grid(cells)
                if is_real_table(grid):
                    lines = [cell_key(line) for row in cells for text in row for line in (text or "").split("\n")]
                    found.setdefault(number, []).append(
                        FoundTable(tuple(table.bbox), grid, [line for line in lines if line]))  # type: ignore[arg-type]
    return found


def box_overlap(a: Box, b: Box) -> float:
    """Intersection over the smaller box's area."""
    width = min(a[2], b[2]) - max(a[0], b[0])
    height = min(a[3], b[3]) - max(a[1], b[1])
    if width <= 0 or height <= 0:
        return 0.0
    smaller = min((a[2] - a[0]) * (a[3] - a[1]), (b[2] - b[0]) * (b[3] - b[1]))
    return width * height / smaller if smaller > 0 else 0.0


def match_tables(ours: Sequence[FoundTable], theirs: Sequence[FoundTable],
                 min_overlap: float = 0.5) -> list[tuple[int, int]]:
    """Pairs (our index, their index) of tables on one page, each table in
    at most one pair, the best-overlapping pairs first."""
    candidates = sorted(((box_overlap(a.box, b.box), i, j) for i, a in enumerate(ours) for j, b in enumerate(theirs)),
                        reverse=True)
    pairs, used_ours, used_theirs = [], set(), set()
    for overlap, i, j in candidates:
        if overlap < min_overlap or i in used_ours or j in used_theirs:
            continue
        pairs.append((i, j))
        used_ours.add(i)
        used_theirs.add(j)
    return sorted(pairs)


def cell_key(text: str) -> str:
    """A cell's text as the table measures compare it: without any white
    space, since tools disagree on the spaces of letter-spaced text
    ("0 3 / 2 5 / 2 0 16") and of words set without a space glyph."""
    return "".join(text.split())


def cell_text_f1(found: Grid, expected: Grid) -> float:
    """F1 of the two tables' non-empty cell texts as multisets: 1.0 when
    every cell was cut out with the same text, whatever the grid shape."""
    return bag_of_words_f1([cell_key(text) for row in found for text in row if text],
                           [cell_key(text) for row in expected for text in row if text])

