"""What the Word outputs of the benchmark hold, tool by tool: the text
LibreOffice gets back from each .docx (bag-of-words F1 against pdftotext
of the source, both through pdftotext, as the tests measure it) and the
structure in the package (heading-styled paragraphs, numbered paragraphs,
tables, pictures, and frames or text boxes holding text).

Uses the test helpers in tests/reference_tools.py (the `test` extra) and
LibreOffice (soffice)."""

from __future__ import annotations

import re
import shutil
import sys
import zipfile
from pathlib import Path
from typing import Any

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))

import reference_tools as ref  # noqa: E402

STRUCTURE = {
    "headings": re.compile(rb'<w:pStyle w:val="[Hh]eading ?\d"'),
    "numbered": re.compile(rb"<w:numPr>"),
    "tables": re.compile(rb"<w:tbl>"),
    "pictures": re.compile(rb"<pic:pic[ >]"),
    "frames": re.compile(rb"<w:framePr |<w:txbxContent|<v:textbox"),
    "paragraphs": re.compile(rb"<w:p[ >]"),
}


def structure_of(path: Path) -> dict[str, int]:
    with zipfile.ZipFile(path) as package:
        body = package.read("word/document.xml")
    return {name: len(pattern.findall(body)) for name, pattern in STRUCTURE.items()}


def make_outputs(runner: Any, documents: list[Path], folder: Path) -> dict[tuple[str, str], Path]:
    outputs = {}
    for document in documents:
        for tool in ("docx", "pdf2docx"):
            target = folder / f"{document.stem}-{tool}.docx"
            runner.run_process(runner.driver_command(tool, document, target))
            outputs[(document.stem, "ours" if tool == "docx" else tool)] = target
        target = folder / f"{document.stem}-mutool.docx"
        runner.run_process(["mutool", "convert", "-F", "docx", "-o", str(target), str(document)])
        outputs[(document.stem, "mutool")] = target
    return outputs


def report_word_fidelity(runner: Any, documents: list[Path]) -> None:
    folder = runner.fresh_folder()
    outputs = make_outputs(runner, documents, folder)
    lines = ["word fidelity: text F1 through LibreOffice (pdftotext of its PDF against pdftotext of the source),",
             "               and what each .docx holds"]
    pdfs: dict[Path, Path] = {}
    if shutil.which("soffice") is None:
        lines.append("  (LibreOffice is not installed: no F1 figures)")
    else:
        pdfs = ref.libreoffice_to_pdf(list(outputs.values()), folder / "pdf", timeout=1800)
    header = f"  {'document':12} {'tool':9} {'F1':>6} " + " ".join(f"{name:>10}" for name in STRUCTURE)
    lines += [header, "  " + "-" * (len(header) - 2)]
    sources = {document.stem: document for document in documents}
    for (stem, tool), path in outputs.items():
        f1 = "-"
        if path in pdfs:
            expected = ref.words(ref.pdftotext(sources[stem]))
            found = ref.words(ref.pdftotext(pdfs[path]))
            f1 = f"{ref.bag_of_words_f1(found, expected):.4f}"
        counts = structure_of(path)
        lines.append(f"  {stem:12} {tool:9} {f1:>6} " + " ".join(f"{counts[name]:>10}" for name in STRUCTURE))
    runner.notes += lines
    shutil.rmtree(folder, ignore_errors=True)
