"""How PowerPoint slides look next to their pages, over the real-world corpus.

    python bench/slides.py [--corpus DIR] [--module-dir DIR] [--pages N] [--only NAME,...]

Every corpus PDF is converted to .pptx; LibreOffice (headless, one run for
all of them) converts the presentations to PDF; the first N pages (default
3) of the source and of LibreOffice's PDF are rendered with pdftoppm at the
same width and compared with tests/reference_tools.image_similarity (one
minus the mean absolute gray difference after a slight blur). Prints the
figure per document and the median and mean over all pages compared.

Pages whose size differs from the first page's are fitted into slides of
the first page's shape, so their renders are not comparable; they are left
out (and counted).
"""

from __future__ import annotations

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))


def page_sizes(pdf: Path) -> list[tuple[float, float]]:
    import pymupdf

    with pymupdf.open(pdf) as document:
        return [(page.rect.width, page.rect.height) for page in document]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--corpus", type=Path, default=None)
    parser.add_argument("--module-dir")
    parser.add_argument("--pages", type=int, default=3)
    parser.add_argument("--only", default="")
    args = parser.parse_args()
    if args.module_dir:
        sys.path.insert(0, os.path.abspath(args.module_dir))
    import FoliantConversion as fc
    from reference_tools import CORPUS_SPECIAL, corpus_dir, image_similarity, libreoffice_to_pdf, render_page

    folder = args.corpus or corpus_dir()
    if folder is None:
        print("no corpus: give --corpus or set FOLI_CORPUS", file=sys.stderr)
        return 2
    sources = sorted(p for p in Path(folder).glob("*.pdf") if p.name not in CORPUS_SPECIAL)
    if args.only:
        sources = [p for p in sources if p.name in set(args.only.split(","))]
    figures: dict[str, list[float]] = {}
    skipped = 0
    with tempfile.TemporaryDirectory(prefix="foli-slides-") as scratch:
        root = Path(scratch)
        presentations = {}
        for source in sources:
            output = root / (source.stem + ".pptx")
            result = fc.FOLIConversion.start_pdf_to_ppt(str(source), "", str(output), fc.ConvertOptions())
            if result == fc.ErrorCode.SUCCESS:
                presentations[source] = output
            else:
                print(f"{source.name}: conversion failed with {result.name}", file=sys.stderr)
        converted = libreoffice_to_pdf(list(presentations.values()), root / "pdf", timeout=3600)
        for source, presentation in presentations.items():
            office = converted.get(presentation)
            if office is None:
                print(f"{source.name}: LibreOffice did not convert the presentation", file=sys.stderr)
                continue
            sizes = page_sizes(source)
            for page in range(1, min(args.pages, len(sizes)) + 1):
                width, height = sizes[page - 1]
                first_width, first_height = sizes[0]
                if abs(width * first_height - height * first_width) > 0.01 * width * first_height:
                    skipped += 1
                    continue
                try:
                    a = render_page(source, page, root / "source")
                    b = render_page(office, page, root / "office")
                except subprocess.CalledProcessError:
                    skipped += 1
                    continue
                figures.setdefault(source.name, []).append(image_similarity(a, b))
    print(f"{'document':46} {'pages':>5} {'similarity':>10}")
    for name, values in figures.items():
        print(f"{name[:46]:46} {len(values):5} {statistics.mean(values):10.3f}")
    every = [value for values in figures.values() for value in values]
    if every:
        print(f"\n{len(every)} pages of {len(figures)} documents ({skipped} left out): "
              f"median {statistics.median(every):.3f}, mean {statistics.mean(every):.3f}, "
              f"lowest {min(every):.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
