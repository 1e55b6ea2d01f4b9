"""Memory: a conversion holds one page at a time, so converting a document
ten times as long needs hardly more memory; and a tiny file that declares a
huge image or a huge formula costs a bounded amount of memory. Each
conversion runs in a child interpreter of its own that reports its peak
resident size.

Run as a script to print the measurements:
    PYTHONPATH=<build>/python python tests/engine/test_memory.py
"""

from __future__ import annotations

import json
import os
import re
import subprocess
import sys
import tempfile
import textwrap
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

from PIL import Image  # noqa: E402

from conversions import output_text  # noqa: E402

from documents import (  # noqa: E402
    HUGE_IMAGE_SIDE,
    make_huge_formula,
    make_huge_image,
    make_many_pages,
)

FORMATS = {"txt": ".txt", "markdown": ".md", "html": ".html", "json": ".json", "image": ".png", "word": ".docx",
           "rtf": ".rtf", "ofd": ".ofd", "ppt": ".pptx"}
SHORT, LONG = 50, 500
# What ten times the pages may add to the peak. Writers that hold one page
# at a time add about 1 MB; one that kept every page's extracted text,
# model or rendering until the end would add far more than this.
ALLOWED_GROWTH_MB = 16

PAGE_HEADING = re.compile(r"\bPage (\d+)\b")
PAGE_FILE = re.compile(r"doc_(\d+)\.jpg")

UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")
# The address space of the children that convert the huge documents: room
# enough for a bounded conversion, too little for the declared sizes.
ADDRESS_LIMIT_MB = 3072
BOUNDED_PEAK_MB = 1024

CHILD = textwrap.dedent(
    """
    import json, resource, sys
    import FoliantConversion as fc
    fmt, source, output, fields, limit_mb = sys.argv[1:]
    options = fc.ConvertOptions()
    for name, value in json.loads(fields).items():
        setattr(options, name, value)
    if int(limit_mb):
        resource.setrlimit(resource.RLIMIT_AS, (int(limit_mb) << 20, int(limit_mb) << 20))
    result = getattr(fc.FOLIConversion, "start_pdf_to_" + fmt)(source, "", output, options)
    with open("/proc/self/status") as status:
        peak_kb = next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))
    print(int(result), peak_kb)
    """
)


def peak_mb(fmt: str, source: Path, folder: Path, limit_mb: int = 0, **fields: object) -> float:
    """Converts `source` in a fresh interpreter, its address space limited
    to `limit_mb` unless 0, and returns its peak resident size in MB after
    checking that the conversion succeeded."""
    folder.mkdir(parents=True, exist_ok=True)
    output = folder / ("doc" + FORMATS[fmt])
    done = subprocess.run(
        [sys.executable, "-c", CHILD, fmt, str(source), str(output), json.dumps(fields), str(limit_mb)],
        capture_output=True,
        text=True,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
        timeout=900,
    )
    assert done.returncode == 0, done.stderr
    result, peak_kb = (int(value) for value in done.stdout.split())
    assert result == 0, f"{fmt} conversion of {source.name} failed with {result}"
    return peak_kb / 1024


def output_pages(fmt: str, folder: Path) -> set[int]:
    """The page numbers that reached the output: of the page images for
    images, else of the "Page <n>" headings in the text."""
    if fmt == "image":
        return {int(match[1]) for path in folder.rglob("doc_*.jpg") if (match := PAGE_FILE.fullmatch(path.name))}
    text = output_text(folder / ("doc" + FORMATS[fmt]))
    return {int(number) for number in PAGE_HEADING.findall(text)}


@pytest.fixture(scope="module")
def documents(tmp_path_factory: pytest.TempPathFactory) -> dict[int, Path]:
    folder = tmp_path_factory.mktemp("many_pages")
    paths = {}
    for pages in (SHORT, LONG):
        paths[pages] = folder / f"pages_{pages}.pdf"
        make_many_pages(paths[pages], pages)
    return paths


@pytest.mark.skipif(UNDER_ASAN, reason="the sanitizer's shadow memory")
@pytest.mark.parametrize("fmt", list(FORMATS))
def test_ten_times_the_pages_needs_hardly_more_memory(fmt: str, documents: dict[int, Path], tmp_path: Path) -> None:
    short = peak_mb(fmt, documents[SHORT], tmp_path / "short")
    long = peak_mb(fmt, documents[LONG], tmp_path / "long")
    assert output_pages(fmt, tmp_path / "short") == set(range(1, SHORT + 1))
    assert output_pages(fmt, tmp_path / "long") == set(range(1, LONG + 1))
    assert long - short < ALLOWED_GROWTH_MB, f"{fmt}: {short:.1f} MB for {SHORT} pages, {long:.1f} MB for {LONG}"


def pixel_count(path: Path) -> int:
    with Image.open(path) as image:
        return image.width * image.height


@pytest.mark.skipif(UNDER_ASAN, reason="the sanitizer's shadow memory and address space")
@pytest.mark.parametrize("fmt", ["markdown", "html", "json"])
def test_huge_declared_image_is_exported_subsampled(fmt: str, tmp_path: Path) -> None:
    source = tmp_path / "huge_image.pdf"
    make_huge_image(source)
    peak = peak_mb(fmt, source, tmp_path / "out", ADDRESS_LIMIT_MB)
    exported = sorted((tmp_path / "out" / "doc_files").glob("page1_img1.*"))
    assert len(exported) == 1
    with Image.open(exported[0]) as image:
        width, height = image.size
    # Subsampled by a power of two, to between 2^24 and 2^26 pixels.
    assert width == height and HUGE_IMAGE_SIDE % width == 0
    assert 1 << 24 <= width * height <= 1 << 26
    assert peak < BOUNDED_PEAK_MB


@pytest.mark.skipif(UNDER_ASAN, reason="the sanitizer's shadow memory and address space")
def test_huge_formula_is_rendered_at_a_bounded_size(tmp_path: Path) -> None:
    source = tmp_path / "huge_formula.pdf"
    make_huge_formula(source)
    peak = peak_mb("markdown", source, tmp_path / "out", ADDRESS_LIMIT_MB, formula_to_image=True)
    formulas = sorted((tmp_path / "out" / "doc_files").glob("page1_formula*.png"))
    assert len(formulas) == 1
    assert 0 < pixel_count(formulas[0]) <= 4 * 1024 * 1024 * 1.01
    assert "formula" in (tmp_path / "out" / "doc.md").read_text(encoding="utf-8")
    assert peak < BOUNDED_PEAK_MB


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as scratch:
        root = Path(scratch)
        sources = {}
        for pages in (SHORT, LONG):
            sources[pages] = root / f"pages_{pages}.pdf"
            make_many_pages(sources[pages], pages)
        print(f"{'format':10} {SHORT:>5} pages {LONG:>5} pages   growth (peak RSS, MB)")
        for fmt in FORMATS:
            short = peak_mb(fmt, sources[SHORT], root / fmt / "short")
            long = peak_mb(fmt, sources[LONG], root / fmt / "long")
            print(f"{fmt:10} {short:11.1f} {long:11.1f} {long - short:+9.1f}")
