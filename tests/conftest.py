"""Shared fixtures: the generated test documents and fresh output folders."""

from __future__ import annotations

from pathlib import Path

import pytest

from documents import Documents, build_all

# The probe tests bind the module to a recording build of the conversion
# library and need an interpreter of their own (python -m pytest tests/probe).
# A folder named on the command line is still collected.
collect_ignore = ["probe"]


@pytest.fixture(scope="session")
def docs(tmp_path_factory: pytest.TempPathFactory) -> Documents:
    return build_all(tmp_path_factory.mktemp("documents"))


@pytest.fixture
def out_dir(tmp_path: Path) -> Path:
    folder = tmp_path / "out"
    folder.mkdir()
    return folder
