"""Table agreement with pdfplumber on the real-world corpus.

    python bench/tables.py [--corpus DIR] [--module-dir DIR] [--only NAME,...] [--json FILE]

For every corpus PDF, the tables our analysis finds (read from the JSON
conversion) are compared with those of pdfplumber's extract_tables() with
its default settings, page by page. Both sides are normalised alike
(whitespace collapsed, rows and columns without text dropped) and only real
tables count: two rows and two columns at least. A table of ours and one of
pdfplumber's are the same table when their boxes overlap by at least half
of the smaller one.

Figures, per document and in aggregate:
    ref      pdfplumber's tables
    ours     our tables
    found    pdfplumber's tables that one of ours matches (recall)
    shape    matched pairs with the same rows x columns
    cells    mean F1 of the matched pairs' cell texts (as multisets, white
             space ignored: the tools space letter-spaced text differently)
    lines    the same for the text lines of the cells, which does not
             depend on how lines are grouped into rows: pdfplumber keeps
             rows that have no rule between them in one cell ("Alabama
             Alaska Arizona"), where we split them by their baselines
    page F1  F1 of all cell texts of all tables, pooled over the pages
             where either side found a table

pdfplumber's default strategy reads ruled tables only; tables set without
rules (or with horizontal rules only) are missed by it, so "ours" beyond
"found" is not a count of mistakes. It is an independent reference for the
ruled tables, and those are most of what it finds.
"""

from __future__ import annotations

import argparse
import json
import os
import statistics
import sys
import tempfile
from collections import Counter
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))

from reference_tools import FoundTable  # noqa: E402


@dataclass
class DocumentFigures:
    name: str
    reference: int = 0
    ours: int = 0
    found: int = 0
    same_shape: int = 0
    cell_f1: list[float] = field(default_factory=list)
    line_f1: list[float] = field(default_factory=list)
    ours_cells: Counter[str] = field(default_factory=Counter)
    their_cells: Counter[str] = field(default_factory=Counter)


def our_tables(pdf: Path, scratch: Path) -> dict[int, list[FoundTable]]:
    import FoliantConversion as fc
    from reference_tools import FoundTable, cell_key, is_real_table, normalise_grid

    output = scratch / (pdf.stem + ".json")
    result = fc.FOLIConversion.start_pdf_to_json(str(pdf), "", str(output), fc.ConvertOptions())
    if result != fc.ErrorCode.SUCCESS:
        raise RuntimeError(f"{pdf.name}: conversion failed with {result.name}")
    document = json.loads(output.read_text(encoding="utf-8"))
    found: dict[int, list[FoundTable]] = {}
    for page in document["pages"]:
        for block in page["blocks"]:
            if block["type"] != "table":
                continue
            grid = [[""] * block["columns"] for _ in range(block["rows"])]
            lines = []
            for cell in block["cells"]:
                grid[cell["row"]][cell["column"]] = cell["text"]
                lines += [cell_key("".join(span["text"] for span in line["spans"])) for line in cell["lines"]]
            grid = normalise_grid(grid)
            if is_real_table(grid):
                found.setdefault(page["number"], []).append(
                    FoundTable(tuple(block["box"]), grid, [line for line in lines if line]))
    return found


def compare(pdf: Path, scratch: Path) -> DocumentFigures:
    from reference_tools import bag_of_words_f1, cell_key, cell_text_f1, grid_shape, match_tables, pdfplumber_tables

    figures = DocumentFigures(pdf.name)
    theirs = pdfplumber_tables(pdf)
    ours = our_tables(pdf, scratch)
    for page in sorted(set(theirs) | set(ours)):
        mine, reference = ours.get(page, []), theirs.get(page, [])
        figures.reference += len(reference)
        figures.ours += len(mine)
        for i, j in match_tables(mine, reference):
            figures.found += 1
            figures.same_shape += grid_shape(mine[i].grid) == grid_shape(reference[j].grid)
            figures.cell_f1.append(cell_text_f1(mine[i].grid, reference[j].grid))
            figures.line_f1.append(bag_of_words_f1(mine[i].lines, reference[j].lines))
        figures.ours_cells.update(cell_key(text) for table in mine for row in table.grid for text in row if text)
        figures.their_cells.update(cell_key(text) for table in reference for row in table.grid for text in row if text)
    return figures


def f1(a: Counter[str], b: Counter[str]) -> float | None:
    if not a and not b:
        return None
    common = sum((a & b).values())
    if common == 0:
        return 0.0
    precision, recall = common / sum(a.values()), common / sum(b.values())
    return 2 * precision * recall / (precision + recall)


def fmt(value: float | None) -> str:
    return "    -" if value is None else f"{value:5.2f}"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--corpus", type=Path, default=None, help="folder of PDFs (default: the shared corpus)")
    parser.add_argument("--module-dir", help="folder holding the FoliantConversion module")
    parser.add_argument("--only", default="", help="comma-separated file names to compare")
    parser.add_argument("--json", type=Path, help="also write the figures to this file")
    args = parser.parse_args()
    if args.module_dir:
        sys.path.insert(0, os.path.abspath(args.module_dir))
    from reference_tools import CORPUS_SPECIAL, corpus_dir

    folder = args.corpus or corpus_dir()
    if folder is None:
        print("no corpus: give --corpus or set FOLI_CORPUS", file=sys.stderr)
        return 2
    documents = sorted(p for p in Path(folder).glob("*.pdf") if p.name not in CORPUS_SPECIAL)
    if args.only:
        wanted = set(args.only.split(","))
        documents = [p for p in documents if p.name in wanted]

    rows: list[DocumentFigures] = []
    with tempfile.TemporaryDirectory(prefix="foli-tables-") as scratch:
        for pdf in documents:
            rows.append(compare(pdf, Path(scratch)))

    print(f"{'document':46} {'ref':>4} {'ours':>4} {'found':>5} {'shape':>5} {'cells':>5} {'lines':>5} {'pageF1':>6}")
    for row in rows:
        if not row.reference and not row.ours:
            continue
        cells = statistics.mean(row.cell_f1) if row.cell_f1 else None
        lines = statistics.mean(row.line_f1) if row.line_f1 else None
        print(f"{row.name[:46]:46} {row.reference:4} {row.ours:4} {row.found:5} {row.same_shape:5} {fmt(cells)} "
              f"{fmt(lines)} {fmt(f1(row.ours_cells, row.their_cells)):>6}")
    reference = sum(r.reference for r in rows)
    found = sum(r.found for r in rows)
    shape = sum(r.same_shape for r in rows)
    all_f1 = [value for r in rows for value in r.cell_f1]
    all_line_f1 = [value for r in rows for value in r.line_f1]
    pooled_ours: Counter[str] = sum((r.ours_cells for r in rows), Counter())
    pooled_theirs: Counter[str] = sum((r.their_cells for r in rows), Counter())
    summary = {
        "documents": len(rows),
        "reference_tables": reference,
        "our_tables": sum(r.ours for r in rows),
        "found": found,
        "recall": found / reference if reference else None,
        "same_shape": shape,
        "shape_agreement": shape / found if found else None,
        "mean_cell_f1": statistics.mean(all_f1) if all_f1 else None,
        "mean_line_f1": statistics.mean(all_line_f1) if all_line_f1 else None,
        "pooled_cell_f1": f1(pooled_ours, pooled_theirs),
    }
    print()
    print(f"documents {summary['documents']}, pdfplumber tables {reference}, ours {summary['our_tables']}")
    print(f"found {found} of {reference} (recall {fmt(summary['recall'])}); same shape {shape} of {found} "
          f"({fmt(summary['shape_agreement'])}); mean cell F1 of matched {fmt(summary['mean_cell_f1'])}, "
          f"line F1 {fmt(summary['mean_line_f1'])}; "
          f"pooled cell F1 {fmt(summary['pooled_cell_f1'])}")
    if args.json:
        args.json.write_text(json.dumps({"summary": summary, "documents": [
            {"name": r.name, "reference": r.reference, "ours": r.ours, "found": r.found, "same_shape": r.same_shape,
             "cell_f1": r.cell_f1, "line_f1": r.line_f1} for r in rows]}, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
