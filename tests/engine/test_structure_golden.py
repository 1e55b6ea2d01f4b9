"""Golden structure of the real-document corpus (tests/structure_corpus.py):
per page, the headings with their levels, the running heads, the shapes of
the tables and the order of the text blocks (each by its first words), as
the JSON writer gives them, compared with what was accepted last.

Only structure is kept, not whole outputs, so that a change in wording or
styling elsewhere does not disturb these. When a change of structure is
intended, look at the differences, then write the new expectations:

    FOLI_REGENERATE_GOLDEN=1 python -m pytest tests/engine/test_structure_golden.py

Documents missing on this machine (the shared corpus, the Debian documents
`python tests/structure_corpus.py fetch` downloads) are skipped."""

from __future__ import annotations

import json
import os
import sys
from pathlib import Path
from typing import Any

import pytest

import FoliantConversion as fc

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from structure_corpus import CorpusDocument, all_documents  # noqa: E402

GOLDEN = Path(__file__).resolve().parent / "golden_structure"
REGENERATE = os.environ.get("FOLI_REGENERATE_GOLDEN") == "1"
ASPECTS = ["headings", "running_heads", "tables", "order"]
# Words kept of each block for its order: enough to tell blocks apart.
ORDER_WORDS = 4

Page = dict[str, Any]


def _first_words(text: str) -> str:
    return " ".join(text.split()[:ORDER_WORDS])


def structure_of(pages: list[Page]) -> dict[str, list[Any]]:
    """Per aspect, one entry per page."""
    found: dict[str, list[Any]] = {aspect: [] for aspect in ASPECTS}
    for page in pages:
        blocks = page["blocks"]
        found["headings"].append([[b["level"], b["text"]] for b in blocks if b["type"] == "heading"])
        found["running_heads"].append(
            [[b["type"], b["text"]] for b in blocks if b["type"] in ("page_header", "page_footer")])
        found["tables"].append([[b["rows"], b["columns"]] for b in blocks if b["type"] == "table"])
        found["order"].append([f"{b['type']}: {_first_words(b['text'])}" for b in blocks
                               if b["type"] not in ("page_header", "page_footer", "table", "image")
                               and b.get("text", "").strip()])
    return found


def convert(doc: CorpusDocument, folder: Path) -> dict[str, list[Any]]:
    options = fc.ConvertOptions()
    options.page_ranges = doc.pages
    options.contain_image = False
    output = folder / f"{doc.name}.json"
    result = fc.FOLIConversion.start_pdf_to_json(str(doc.path), "", str(output), options)
    assert result == fc.ErrorCode.SUCCESS
    return structure_of(json.loads(output.read_text(encoding="utf-8"))["pages"])


def golden_text(structure: dict[str, list[Any]]) -> str:
    """JSON with a line per page, so that differences read page by page."""
    parts = []
    for aspect, pages in structure.items():
        lines = ",\n".join("  " + json.dumps(page, ensure_ascii=False) for page in pages)
        parts.append(f"{json.dumps(aspect)}: [\n{lines}\n ]")
    return "{\n " + ",\n ".join(parts) + "\n}\n"


DOCUMENTS = {doc.name: doc for doc in all_documents()}
NAMES = sorted(set(DOCUMENTS) | {path.stem for path in GOLDEN.glob("*.json")})


@pytest.fixture(scope="module")
def converted(tmp_path_factory: pytest.TempPathFactory) -> dict[str, dict[str, list[Any]]]:
    """Every document on this machine converted once; written out as the
    new expectations when regenerating."""
    folder = tmp_path_factory.mktemp("golden")
    found = {name: convert(doc, folder) for name, doc in DOCUMENTS.items()}
    if REGENERATE:
        GOLDEN.mkdir(exist_ok=True)
        for name, structure in found.items():
            (GOLDEN / f"{name}.json").write_text(golden_text(structure), encoding="utf-8")
    return found


@pytest.mark.parametrize("aspect", ASPECTS)
@pytest.mark.parametrize("name", NAMES)
def test_structure_matches_golden(converted: dict[str, dict[str, list[Any]]], name: str, aspect: str) -> None:
    if name not in converted:
        pytest.skip(f"{name} is not on this machine")
    golden = GOLDEN / f"{name}.json"
    assert golden.is_file(), f"no expectations for {name}: run with FOLI_REGENERATE_GOLDEN=1"
    expected = json.loads(golden.read_text(encoding="utf-8"))[aspect]
    found = converted[name][aspect]
    assert len(found) == len(expected), "pages read"
    for number, (page_found, page_expected) in enumerate(zip(found, expected), 1):
        assert page_found == page_expected, f"{name}, page {number} of those read: {aspect}"
