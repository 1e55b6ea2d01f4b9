"""Shared fixtures: the generated test documents and fresh output folders."""

from __future__ import annotations

from collections.abc import Callable
from pathlib import Path

import pytest

import documents
from documents import Documents, build_all
from scans import ScanDocuments, build_scans

# The probe tests bind the module to a recording build of the conversion
# library and need an interpreter of their own (python -m pytest tests/probe).
# A folder named on the command line is still collected.
collect_ignore = ["probe"]


@pytest.fixture(scope="session")
def docs(tmp_path_factory: pytest.TempPathFactory) -> Documents:
    return build_all(tmp_path_factory.mktemp("documents"))


@pytest.fixture(scope="session")
def scan_docs(tmp_path_factory: pytest.TempPathFactory) -> ScanDocuments:
    """Scanned documents with known text, for the OCR tests."""
    return build_scans(tmp_path_factory.mktemp("scans"))


@pytest.fixture
def out_dir(tmp_path: Path) -> Path:
    folder = tmp_path / "out"
    folder.mkdir()
    return folder


@pytest.fixture(scope="session")
def extra_document(tmp_path_factory: pytest.TempPathFactory) -> Callable[[str], Path]:
    """Builds a document of documents.py that is not in `docs`, once per
    session: extra_document("nested_list") runs make_nested_list."""
    folder = tmp_path_factory.mktemp("extra-documents")
    made: dict[str, Path] = {}

    def build(name: str) -> Path:
        if name not in made:
            path = folder / f"{name}.pdf"
            getattr(documents, f"make_{name}")(path)
            made[name] = path
        return made[name]

    return build
