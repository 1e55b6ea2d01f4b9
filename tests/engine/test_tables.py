"""Table detection, seen through the JSON output: generated tables in the
styles of real documents (horizontal rules only, rows without rules, a
body drawn as one box, far-apart columns, group headers), and golden
expectations for the tables of the real-world corpus.

The golden file holds, for every corpus document, each table's page, grid
size, header rows and the text of its first rows and last row. After an
intended change, regenerate it and review the diff:
    FOLI_REGENERATE_GOLDEN=1 python -m pytest tests/engine/test_tables.py -k golden
"""

from __future__ import annotations

import json
import os
from collections.abc import Callable
from pathlib import Path
from typing import Any

import pytest

import FoliantConversion as fc
import table_documents as t
from reference_tools import corpus_dir, corpus_names, normalise_grid

GOLDEN = Path(__file__).resolve().parent / "golden" / "tables.json"
REGENERATE = os.environ.get("FOLI_REGENERATE_GOLDEN") == "1"

JsonObject = dict[str, Any]


def convert(source: Path, out_dir: Path) -> JsonObject:
    output = out_dir / (source.stem + ".json")
    result = fc.FOLIConversion.start_pdf_to_json(str(source), "", str(output), fc.ConvertOptions())
    assert result == fc.ErrorCode.SUCCESS
    document: JsonObject = json.loads(output.read_text(encoding="utf-8"))
    return document


def tables_of(document: JsonObject) -> list[tuple[int, JsonObject]]:
    return [(page["number"], block) for page in document["pages"] for block in page["blocks"]
            if block["type"] == "table"]


def grid_of(table: JsonObject) -> list[list[str]]:
    grid = [[""] * table["columns"] for _ in range(table["rows"])]
    for cell in table["cells"]:
        grid[cell["row"]][cell["column"]] = cell["text"]
    return grid


def cell_at(table: JsonObject, row: int, column: int) -> JsonObject:
    (cell,) = [c for c in table["cells"] if c["row"] == row and c["column"] == column]
    return cell


def every_position_once(table: JsonObject) -> bool:
    covered = [(r, c) for cell in table["cells"]
               for r in range(cell["row"], cell["row"] + cell["row_span"])
               for c in range(cell["column"], cell["column"] + cell["column_span"])]
    return sorted(covered) == [(r, c) for r in range(table["rows"]) for c in range(table["columns"])]


@pytest.fixture(scope="module")
def generated(tmp_path_factory: pytest.TempPathFactory) -> Callable[[str], JsonObject]:
    folder = tmp_path_factory.mktemp("tables")
    done: dict[str, JsonObject] = {}

    def build(name: str) -> JsonObject:
        if name not in done:
            source = folder / f"{name}.pdf"
            getattr(t, f"make_{name}")(source)
            done[name] = convert(source, folder)
        return done[name]

    return build


# ------------------------------------------------------- generated tables


@pytest.mark.parametrize("name, expected, header_rows", [
    ("booktabs_table", t.BOOKTABS, 2),
    ("rows_without_rules", t.STATES, 1),
    ("box_body_table", t.expenses_grid(), 1),
    ("far_columns_table", t.FAR_COLUMNS, 0),
])
def test_each_table_is_found_whole(generated: Callable[[str], JsonObject], name: str,
                                   expected: list[list[str]], header_rows: int) -> None:
    found = tables_of(generated(name))
    assert len(found) == 1, f"{name}: {len(found)} tables"
    _, table = found[0]
    assert grid_of(table) == expected
    assert table["header_rows"] == header_rows
    assert every_position_once(table)


def test_booktabs_group_header_spans_its_columns(generated: Callable[[str], JsonObject]) -> None:
    (_, table), = tables_of(generated("booktabs_table"))
    accuracy = cell_at(table, 0, 1)
    assert (accuracy["text"], accuracy["column_span"], accuracy["row_span"]) == ("Accuracy", 3, 1)
    assert table["ruled"]


def test_caption_and_note_stay_outside_the_rules(generated: Callable[[str], JsonObject]) -> None:
    blocks = generated("booktabs_table")["pages"][0]["blocks"]
    kinds = [(block["type"], block.get("text", "")) for block in blocks]
    table_at = [kind for kind, _ in kinds].index("table")
    assert ("paragraph", t.BOOKTABS_CAPTION) in kinds[:table_at]
    assert ("paragraph", t.BOOKTABS_NOTE) in kinds[table_at + 1:]


def test_far_columns_table_leaves_the_paragraphs_alone(generated: Callable[[str], JsonObject]) -> None:
    blocks = generated("far_columns_table")["pages"][0]["blocks"]
    assert [block["type"] for block in blocks] == ["paragraph", "table", "paragraph"]


def test_table_over_two_pages_is_found_on_each(generated: Callable[[str], JsonObject]) -> None:
    found = tables_of(generated("continued_table"))
    assert [page for page, _ in found] == [1, 2]
    first, second = (table for _, table in found)
    assert grid_of(first) == [t.CONTINUED_HEADER, *t.CONTINUED_ROWS[:t.CONTINUED_SPLIT]]
    assert grid_of(second) == [t.CONTINUED_HEADER, *t.CONTINUED_ROWS[t.CONTINUED_SPLIT:]]
    assert first["column_edges"] == pytest.approx(second["column_edges"], abs=1)


# ---------------------------------------------------------- the corpus

KEPT_ROWS = 3  # the first rows of each table go into the golden file, and the last one


def table_summary(page: int, table: JsonObject) -> JsonObject:
    grid = grid_of(table)
    shown = [*grid[:KEPT_ROWS], *grid[KEPT_ROWS:][-1:]]
    return {
        "page": page,
        "rows": table["rows"],
        "columns": table["columns"],
        "header_rows": table["header_rows"],
        "ruled": table["ruled"],
        "cells": [[" ".join(text.split())[:40] for text in row] for row in shown],
    }


@pytest.fixture(scope="module")
def golden() -> dict[str, list[JsonObject]]:
    if REGENERATE or not GOLDEN.is_file():
        return {}
    expected: dict[str, list[JsonObject]] = json.loads(GOLDEN.read_text(encoding="utf-8"))
    return expected


@pytest.fixture(scope="module")
def regenerated() -> Any:
    found: dict[str, list[JsonObject]] = {}
    yield found
    if REGENERATE and found:
        merged = json.loads(GOLDEN.read_text(encoding="utf-8")) if GOLDEN.is_file() else {}
        merged.update(found)
        GOLDEN.parent.mkdir(parents=True, exist_ok=True)
        GOLDEN.write_text(golden_text(merged), encoding="utf-8")


def golden_text(tables: dict[str, list[JsonObject]]) -> str:
    """The golden file with one line per table row, so that a diff shows
    which rows changed."""
    dump = lambda value: json.dumps(value, ensure_ascii=False)  # noqa: E731
    documents = []
    for name, summaries in sorted(tables.items()):
        entries = []
        for summary in summaries:
            head = ", ".join(f"{dump(key)}: {dump(value)}" for key, value in summary.items() if key != "cells")
            rows = ",\n".join("    " + dump(row) for row in summary["cells"])
            entries.append(f'  {{{head}, "cells": [\n{rows}]}}')
        body = ",\n".join(entries)
        documents.append(f" {dump(name)}: [\n{body}]" if entries else f" {dump(name)}: []")
    return "{\n" + ",\n".join(documents) + "\n}\n"


@pytest.mark.parametrize("name", corpus_names())
def test_corpus_tables_match_golden(name: str, golden: dict[str, list[JsonObject]], regenerated: Any,
                                    tmp_path: Path) -> None:
    folder = corpus_dir()
    assert folder is not None
    summaries = [table_summary(page, table) for page, table in tables_of(convert(folder / name, tmp_path))]
    if REGENERATE:
        regenerated[name] = summaries
        return
    assert name in golden, f"{name} has no golden tables: regenerate with FOLI_REGENERATE_GOLDEN=1"
    assert summaries == golden[name]


def test_golden_file_knows_only_corpus_documents(golden: dict[str, list[JsonObject]]) -> None:
    if REGENERATE:
        pytest.skip("regenerating")
    names = corpus_names()
    if not names:
        pytest.skip("the real-world corpus is not here")
    assert set(golden) == set(names)


@pytest.mark.parametrize("grid, expected", [
    ([["a", None, "b"], [None, None, None], ["c", "", " d  e "]], [["a", "b"], ["c", "d e"]]),
    ([[None, None]], []),
])
def test_normalised_grid_drops_empty_rows_and_columns(grid: list[list[str | None]],
                                                      expected: list[list[str]]) -> None:
    assert normalise_grid(grid) == expected
