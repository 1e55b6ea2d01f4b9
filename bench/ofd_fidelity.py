"""How an independent OFD reader sees our OFD output of the real-world
corpus: easyofd reads each package back and draws it; the text it reads is
compared with pdftotext of the source (bag-of-words F1), and the first
pages it draws with pdftoppm's renders of the source pages at the same
width (the image similarity of tests/reference_tools.py).

Usage: PYTHONPATH=<build>/python python bench/ofd_fidelity.py [--pages N] [--out DIR]
Needs the `test` extra (easyofd, Pillow, PyMuPDF), poppler-utils and the
corpus (../shared/corpus or $FOLI_CORPUS)."""

from __future__ import annotations

import argparse
import statistics
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))

import FoliantConversion as fc  # noqa: E402
import reference_tools as ref  # noqa: E402


def blank(path: Path) -> Path:
    from PIL import Image

    Image.new("L", (400, 400), 255).save(path)
    return path


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--pages", type=int, default=3, help="pages drawn and compared per document")
    parser.add_argument("--out", type=Path, help="folder for the outputs (default: a temporary one)")
    args = parser.parse_args()
    folder = args.out or Path(tempfile.mkdtemp(prefix="ofd-fidelity-"))
    folder.mkdir(parents=True, exist_ok=True)

    fc.LibraryManager.initialize(None)
    fc.LibraryManager.set_logger(False, False)
    documents = ref.corpus_documents()
    outputs = {}
    for pdf in documents:
        output = folder / (pdf.stem + ".ofd")
        result = fc.FOLIConversion.start_pdf_to_ofd(str(pdf), "", str(output), fc.ConvertOptions())
        if result == fc.ErrorCode.SUCCESS:
            outputs[pdf] = output
        else:
            print(f"{pdf.name}: conversion failed with {result.name}")
    read = ref.read_ofd(list(outputs.values()), folder / "easyofd")

    import pymupdf

    all_found: list[str] = []
    all_expected: list[str] = []
    similarities: list[float] = []
    print(f"{'document':46} {'pages':>5} {'F1':>6} {'similarity':>10}")
    for pdf, output in outputs.items():
        entry = read[output]
        if "error" in entry:
            print(f"{pdf.name:46} easyofd failed: {entry['error']}")
            continue
        found = ref.words(" ".join(" ".join(page["texts"]) for page in entry["pages"]))
        expected = ref.words(ref.pdftotext(pdf))
        all_found += found
        all_expected += expected
        with pymupdf.open(entry["pdf"]) as drawn:
            drawn_pages = drawn.page_count
        page_similarities = []
        for number in range(1, min(args.pages, len(entry["pages"])) + 1):
            reference = ref.render_page(pdf, number, folder / "reference")
            if number <= drawn_pages:
                ours = ref.render_page(Path(entry["pdf"]), number, folder / "drawn")
            else:  # easyofd writes no page for a page with nothing on it
                ours = blank(folder / f"{pdf.stem}-blank.png")
            page_similarities.append(ref.image_similarity(reference, ours))
        similarities += page_similarities
        print(f"{pdf.name:46} {len(entry['pages']):5} {ref.bag_of_words_f1(found, expected):6.3f} "
              f"{statistics.mean(page_similarities):10.3f}")
    print(f"\ncorpus text F1 (all words): {ref.bag_of_words_f1(all_found, all_expected):.4f}")
    print(f"render similarity over {len(similarities)} pages: mean {statistics.mean(similarities):.4f}, "
          f"median {statistics.median(similarities):.4f}, lowest {min(similarities):.4f}")
    print(f"outputs in {folder}")


if __name__ == "__main__":
    main()
