"""Word and RTF outputs opened by software nobody here wrote: LibreOffice
converts every output of the real-world corpus to PDF, whose text must
give back the source's (bag-of-words F1, pdftotext on both sides);
python-docx loads every .docx and finds headings, lists, tables and
pictures as Word's own structures; striprtf parses every .rtf; and a BOX
page rendered by LibreOffice looks like the source page.

All LibreOffice conversions run in one batch, in a module fixture."""

from __future__ import annotations

import statistics
from collections import Counter
from pathlib import Path
from typing import Any

import FoliantConversion as fc
import pytest

import documents
import reference_tools as ref
from documents import Documents

pytestmark = pytest.mark.external

# Pages of the corpus converted in BOX mode and compared as pictures.
BOX_PAGES = ["annotations.pdf", "chelsea_pdta.pdf", "federal-register-2020-17221.pdf", "issue-140-example.pdf",
             "issue-297-example.pdf", "issue-336-example.pdf", "la-precinct-bulletin-2014-p1.pdf",
             "scotus-transcript-p1.pdf", "senate-expenditures.pdf", "word365_structure.pdf"]
GENERATED = ["structured", "ruled_table", "text_table", "images", "links", "columns"]
MIN_CORPUS_F1 = 0.97
MIN_BOX_SIMILARITY = 0.9


def convert(kind: str, source: Path, output: Path, **fields: Any) -> fc.ErrorCode:
    options = fc.ConvertOptions()
    for name, value in fields.items():
        setattr(options, name, value)
    entry = fc.FOLIConversion.start_pdf_to_rtf if kind == "rtf" else fc.FOLIConversion.start_pdf_to_word
    return entry(str(source), "", str(output), options)


class Outputs:
    def __init__(self) -> None:
        self.sources: dict[Path, Path] = {}  # output -> source PDF
        self.pdfs: dict[Path, Path] = {}  # output -> LibreOffice's PDF of it
        self.kind: dict[Path, str] = {}  # output -> "flow", "rtf" or "box"

    def of(self, kind: str) -> list[Path]:
        return [output for output, k in self.kind.items() if k == kind]


@pytest.fixture(scope="module")
def outputs(docs: Documents, tmp_path_factory: pytest.TempPathFactory) -> Outputs:
    folder = tmp_path_factory.mktemp("office")
    found = Outputs()
    sources = {path.name: path for path in ref.corpus_documents()}
    sources.update({f"generated-{name}.pdf": getattr(docs, name) for name in GENERATED})
    for name, source in sources.items():
        stem = Path(name).stem
        jobs = [("flow", folder / f"{stem}-flow.docx", {}), ("rtf", folder / f"{stem}-rtf.rtf", {})]
        if name in BOX_PAGES:
            jobs.append(("box", folder / f"{stem}-box.docx",
                         {"page_layout_mode": fc.PageLayoutMode.BOX, "page_ranges": "1"}))
        for kind, output, fields in jobs:
            assert convert("rtf" if kind == "rtf" else "word", source, output, **fields) == fc.ErrorCode.SUCCESS
            found.sources[output] = source
            found.kind[output] = kind
    found.pdfs = ref.libreoffice_to_pdf(list(found.sources), folder / "pdf")
    return found


def test_libreoffice_opens_every_output(outputs: Outputs) -> None:
    missing = sorted(output.name for output in outputs.sources if output not in outputs.pdfs)
    assert not missing


def pooled_f1(pairs: list[tuple[list[str], list[str]]]) -> float:
    """F1 over all documents' words together (found, expected)."""
    common = found = expected = 0
    for got, want in pairs:
        a, b = Counter(got), Counter(want)
        common += sum((a & b).values())
        found += sum(a.values())
        expected += sum(b.values())
    precision, recall = common / max(found, 1), common / max(expected, 1)
    return 2 * precision * recall / max(precision + recall, 1e-9)


@pytest.mark.parametrize("kind", ["flow", "rtf"])
def test_text_survives_the_round_trip_through_libreoffice(kind: str, outputs: Outputs) -> None:
    pairs = []
    report = []
    for output in outputs.of(kind):
        if output not in outputs.pdfs or output.name.startswith("generated-"):
            continue
        source = outputs.sources[output]
        want = ref.words(ref.pdftotext(source))
        got = ref.words(ref.pdftotext(outputs.pdfs[output]))
        pairs.append((got, want))
        report.append((ref.bag_of_words_f1(got, want), source.name))
    assert pairs
    pooled = pooled_f1(pairs)
    worst = ", ".join(f"{name} {f1:.3f}" for f1, name in sorted(report)[:5])
    print(f"\n{kind}: corpus F1 {pooled:.4f} over {len(pairs)} documents; lowest: {worst}")
    assert pooled >= MIN_CORPUS_F1, worst


def test_box_pages_look_like_the_source(outputs: Outputs, tmp_path: Path) -> None:
    scores = {}
    for output in outputs.of("box"):
        source = outputs.sources[output]
        ours = ref.render_page(outputs.pdfs[output], 1, tmp_path / "ours")
        theirs = ref.render_page(source, 1, tmp_path / "source")
        scores[source.name] = ref.image_similarity(theirs, ours)
    assert len(scores) == len(BOX_PAGES)
    median = statistics.median(scores.values())
    print(f"\nBOX similarity: median {median:.4f}, " +
          ", ".join(f"{name} {score:.3f}" for name, score in sorted(scores.items())))
    assert min(scores.values()) >= MIN_BOX_SIMILARITY, scores


def test_python_docx_loads_every_docx(outputs: Outputs) -> None:
    docx = pytest.importorskip("docx")
    for output in outputs.sources:
        if output.suffix == ".docx":
            document = docx.Document(str(output))
            assert document.sections


def test_striprtf_reads_every_rtf(outputs: Outputs) -> None:
    striprtf = pytest.importorskip("striprtf.striprtf")
    pairs = []
    for output in outputs.of("rtf"):
        text = striprtf.rtf_to_text(output.read_text(encoding="ascii"))
        pairs.append((ref.words(text), ref.words(ref.pdftotext(outputs.sources[output]))))
    # The reader's own text, not a layout: the words are the source's.
    assert pooled_f1(pairs) >= MIN_CORPUS_F1


# ------------------------------------------------- python-docx on known documents


def word_document(name: str, docs: Documents, tmp_path: Path, **fields: Any) -> Any:
    docx = pytest.importorskip("docx")
    output = tmp_path / f"{name}.docx"
    assert convert("word", getattr(docs, name), output, **fields) == fc.ErrorCode.SUCCESS
    return docx.Document(str(output))


def test_python_docx_sees_headings_and_lists(docs: Documents, tmp_path: Path) -> None:
    document = word_document("structured", docs, tmp_path)
    styles = {p.text: p.style.name for p in document.paragraphs}
    assert styles[documents.TITLE] == "Heading 1"
    assert styles[documents.SECTION] == "Heading 2"
    numbered = [p for p in document.paragraphs if p._p.pPr is not None and p._p.pPr.numPr is not None]
    assert [p.text for p in numbered] == documents.BULLETS + documents.NUMBERED
    assert all(p.style.name == "List Paragraph" for p in numbered)
    assert document.core_properties.title == ""


def test_python_docx_sees_tables_and_pictures(docs: Documents, tmp_path: Path) -> None:
    document = word_document("ruled_table", docs, tmp_path)
    (table,) = document.tables
    assert (len(table.rows), len(table.columns)) == (4, 3)
    assert [[cell.text for cell in row.cells] for row in table.rows] == \
        [documents.TABLE_HEADER, *documents.TABLE_ROWS]
    pictures = word_document("images", docs, tmp_path)
    assert len(pictures.inline_shapes) == 2
    sizes = sorted((shape.width.pt, shape.height.pt) for shape in pictures.inline_shapes)
    assert sizes == [(160, 100), (160, 120)]


def test_python_docx_sees_merged_cells(extra_document: Any, tmp_path: Path) -> None:
    docx = pytest.importorskip("docx")
    output = tmp_path / "merged.docx"
    assert convert("word", extra_document("merged_table"), output) == fc.ErrorCode.SUCCESS
    (table,) = docx.Document(str(output)).tables
    grid = [[cell.text for cell in row.cells] for row in table.rows]
    # A merged cell is the same cell in every position it covers.
    assert grid[0] == ["Item", "Sales", "Sales"]
    assert grid[1] == ["Item", "2023", "2024"]
    assert table.cell(0, 0)._tc is table.cell(1, 0)._tc
