"""Shared fixtures: the generated test documents and fresh output folders."""

from __future__ import annotations

from pathlib import Path

import pytest

from documents import Documents, build_all


@pytest.fixture(scope="session")
def docs(tmp_path_factory: pytest.TempPathFactory) -> Documents:
    return build_all(tmp_path_factory.mktemp("documents"))


@pytest.fixture
def out_dir(tmp_path: Path) -> Path:
    folder = tmp_path / "out"
    folder.mkdir()
    return folder
