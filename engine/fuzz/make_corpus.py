"""Writes the seed corpus of the conversion fuzzer: every test document of
tests/documents.py and a few hand-written files that exercise what those do
not (Type 3 fonts, inline images, rotation, object and cross-reference
streams, broken offsets), each behind a few 5-byte option headers (see the
header layout in conversion_fuzzer.cpp), plus the regression inputs in
engine/fuzz/regressions.

Usage: python engine/fuzz/make_corpus.py OUTPUT_FOLDER
"""

from __future__ import annotations

import hashlib
import inspect
import random
import shutil
import sys
import tempfile
from collections.abc import Callable
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "tests"))

import documents  # noqa: E402  (the test document generators)
import hostile_documents  # noqa: E402  (nesting, fan-out, declared sizes, damaged images)

# The hostile documents at sizes that run fast but still pass the library's
# bounds where there is one (32 forms, 64 braces, 32 page-tree levels).
HOSTILE_SIZES = {"nested_forms": 40, "form_fanout": 10, "nested_patterns": 40, "nested_soft_masks": 40,
                 "type4_nesting": 100, "stitching_chain": 60, "colour_space_chain": 60, "deep_page_value": 300,
                 "deep_page_tree": 40}

# Larger documents only slow every run down without adding coverage.
MAX_SEED_BYTES = 64 * 1024
# All five formats with images, annotations, tables and one file per page,
# HTML over several pages with bookmarks, PNG in colour at 1/8 scale,
# formulas as images.
FULL_HEADER = bytes([0x00, 0x3F, 0x33, 0x03, 0x01])
HEADERS_PER_DOCUMENT = 3


def generators() -> dict[str, Callable[[Path], None]]:
    """Every make_* function of the test documents that needs only a path,
    plus the ones that need a second argument, bound to a fixed value."""
    found: dict[str, Callable[[Path], None]] = {}
    for name, function in inspect.getmembers(documents, inspect.isfunction):
        if not name.startswith("make_") or function.__module__ != documents.__name__:
            continue
        required = [p for p in inspect.signature(function).parameters.values() if p.default is p.empty]
        if len(required) == 1:
            found[name[len("make_"):]] = function
    found["many_pages"] = lambda path: documents.make_many_pages(path, 4)
    return found


def raw_pdf(objects: list[bytes], *, broken_offsets: bool = False) -> bytes:
    """A PDF file of the given object bodies (object 1 is the catalog) with
    a classic cross-reference table; with broken_offsets every offset is
    wrong, so that only a repair finds the objects."""
    out = bytearray(b"%PDF-1.7\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n%s\nendobj\n" % (number, body)
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % (offset + 7 if broken_offsets else offset)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


def stream(content: bytes, extra: bytes = b"") -> bytes:
    return b"<< /Length %d %s>>\nstream\n%s\nendstream" % (len(content), extra, content)


def one_page(content: bytes, resources: bytes, page_extra: bytes = b"", more: list[bytes] | None = None) -> list[bytes]:
    return [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents 4 0 R /Resources %s %s>>"
        % (resources, page_extra),
        stream(content),
        *(more or []),
    ]


HELVETICA = b"<< /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>"


def hand_written() -> dict[str, bytes]:
    type3_font = (
        b"<< /Font << /T3 << /Type /Font /Subtype /Type3 /FontBBox [0 0 10 10] /FontMatrix [0.1 0 0 0.1 0 0] "
        b"/CharProcs << /box 5 0 R >> /Encoding << /Differences [65 /box] >> /FirstChar 65 /LastChar 65 "
        b"/Widths [10] >> >> >>"
    )
    inline_image = (
        b"q 40 0 0 30 20 200 cm BI /W 4 /H 3 /CS /RGB /BPC 8 ID\n" + bytes(range(36)) + b"\nEI Q\n"
        b"BT /F1 10 Tf 20 180 Td (Under the inline image) Tj ET"
    )
    rotated = (
        b"BT /F1 12 Tf 0 1 -1 0 100 50 Tm (Sideways text) Tj ET\n"
        b"BT /F1 9 Tf 3 Tr 20 20 Td (Invisible text) Tj ET\n"
        b"BT /F1 14 Tf 2 0 0.5 1 40 250 Tm (Skewed and wide) Tj ET"
    )
    clipped = (
        b"q 50 50 100 100 re W n 0.2 0.4 0.6 rg 0 0 300 300 re f Q\n"
        b"q 1 0 0 RG 4 w 10 10 m 290 290 l S 0 0 1 rg 30 30 m 60 90 90 30 c h f Q\n"
        b"BT /F1 11 Tf 60 120 Td (Clipped area) Tj T* (second line) ' ET"
    )
    annotations = [
        b"<< /Type /Annot /Subtype /FreeText /Rect [20 20 200 60] /Contents (Free text note) /DA (/Helv 10 Tf 0 g) >>",
        b"<< /Type /Annot /Subtype /Text /Rect [250 250 270 270] /Contents (Sticky) /Open true >>",
    ]
    return {
        "type3": raw_pdf(one_page(b"BT /T3 12 Tf 20 100 Td (AAA) Tj ET", type3_font,
                                  more=[stream(b"10 0 d0 0 0 10 10 re f")])),
        "inline_image": raw_pdf(one_page(inline_image, HELVETICA)),
        "rotated": raw_pdf(one_page(rotated, HELVETICA, b"/Rotate 90 /CropBox [10 10 290 290] /UserUnit 2 ")),
        "clipped_paths": raw_pdf(one_page(clipped, HELVETICA)),
        "broken_offsets": raw_pdf(one_page(b"BT /F1 12 Tf 20 100 Td (Repaired) Tj ET", HELVETICA),
                                  broken_offsets=True),
        "annotations": raw_pdf(one_page(b"BT /F1 12 Tf 20 100 Td (Annotated) Tj ET", HELVETICA,
                                        b"/Annots [5 0 R 6 0 R] ", more=annotations)),
    }


def object_streams(source: Path, target: Path) -> None:
    """The same document rewritten with object and cross-reference streams."""
    import pymupdf

    with pymupdf.open(source) as doc:
        doc.save(target, garbage=1, use_objstms=1)


def headers_for(name: str) -> list[bytes]:
    """The full header and a few more drawn from a generator seeded by the
    document's name, so the corpus is the same on every run."""
    rng = random.Random(hashlib.sha256(name.encode()).digest())
    headers = [FULL_HEADER]
    while len(headers) < HEADERS_PER_DOCUMENT:
        headers.append(bytes(rng.randrange(256) for _ in range(len(FULL_HEADER))))
    return headers


def write_seed(folder: Path, name: str, data: bytes) -> None:
    (folder / f"{name}.seed").write_bytes(data)


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    output = Path(sys.argv[1])
    output.mkdir(parents=True, exist_ok=True)
    written = 0
    with tempfile.TemporaryDirectory() as scratch:
        folder = Path(scratch)
        for name, generate in sorted(generators().items()):
            pdf = folder / f"{name}.pdf"
            generate(pdf)
            data = pdf.read_bytes()
            if len(data) > MAX_SEED_BYTES:
                continue
            for index, header in enumerate(headers_for(name)):
                write_seed(output, f"{name}-{index}", header + data)
                written += 1
        for name, function in sorted(inspect.getmembers(hostile_documents, inspect.isfunction)):
            if not name.startswith("make_") or function.__module__ != hostile_documents.__name__:
                continue
            pdf = folder / f"hostile-{name[5:]}.pdf"
            size = HOSTILE_SIZES.get(name[5:])
            function(pdf, size) if size is not None else function(pdf)
            for index, header in enumerate(headers_for(pdf.stem)):
                write_seed(output, f"{pdf.stem}-{index}", header + pdf.read_bytes())
                written += 1
        simple = folder / "simple.pdf"
        documents.make_truncated(folder / "truncated.pdf", simple)
        object_streams(folder / "links.pdf", folder / "object_streams.pdf")
        extra = {name: (folder / f"{name}.pdf").read_bytes() for name in ("truncated", "object_streams")}
        extra.update(hand_written())
        for name, data in sorted(extra.items()):
            for index, header in enumerate(headers_for(name)):
                write_seed(output, f"{name}-{index}", header + data)
                written += 1
    for seed in sorted((HERE / "regressions").iterdir()):
        if seed.is_file() and not seed.name.startswith("."):
            shutil.copyfile(seed, output / seed.name)
            written += 1
    print(f"wrote {written} seeds to {output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
