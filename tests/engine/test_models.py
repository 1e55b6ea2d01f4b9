"""The document-AI model functions: a model package (folder, ZIP or tar,
built by scripts/make_model_package.py) is checked and loaded, its trained
data is what conversions then read with, release falls back to the
system's trained data, and every refusal has its own result. Loading,
releasing and converting on several threads at once is safe."""

from __future__ import annotations

import hashlib
import json
import shutil
import subprocess
import sys
import tarfile
import threading
import zipfile
from collections.abc import Callable, Iterator
from pathlib import Path

import pytest

import FoliantConversion as fc
from reference_tools import REPOSITORY
from scans import SHORT, ScanDocuments, cer

E = fc.ErrorCode
L = fc.OCRLanguage
LM = fc.LibraryManager
SCRIPT = REPOSITORY / "scripts" / "make_model_package.py"
SYSTEM_TESSDATA = Path("/usr/share/tesseract-ocr/5/tessdata")


@pytest.fixture(autouse=True)
def no_package_afterwards() -> Iterator[None]:
    yield
    LM.release_document_ai_model()
    LM.set_document_ai_model_count(1, 1)


def make_package(output: Path, *arguments: str) -> Path:
    subprocess.run([sys.executable, str(SCRIPT), str(output), *arguments], check=True, capture_output=True)
    return output


@pytest.fixture(scope="module")
def package(tmp_path_factory: pytest.TempPathFactory) -> Path:
    """A package folder holding eng only."""
    return make_package(tmp_path_factory.mktemp("package") / "eng", "--languages", "eng", "--no-orientation")


def read_manifest(folder: Path) -> dict:  # type: ignore[type-arg]
    return json.loads((folder / "manifest.json").read_text())


def write_manifest(folder: Path, manifest: dict) -> None:  # type: ignore[type-arg]
    (folder / "manifest.json").write_text(json.dumps(manifest))


def variant(package: Path, folder: Path, change: Callable[[dict], None]) -> Path:  # type: ignore[type-arg]
    copy = folder / "variant"
    shutil.copytree(package, copy)
    manifest = read_manifest(copy)
    change(manifest)
    write_manifest(copy, manifest)
    return copy


def renamed_model(package: Path, folder: Path, source: Path, language: str) -> Path:
    """A package whose `language` model is really the trained data in
    `source`."""
    copy = folder / f"as-{language}"
    shutil.copytree(package, copy)
    data = source.read_bytes()
    (copy / "tessdata" / f"{language}.traineddata").write_bytes(data)
    manifest = read_manifest(copy)
    manifest["models"] = [{"kind": "ocr", "language": language, "file": f"tessdata/{language}.traineddata",
                           "sha256": hashlib.sha256(data).hexdigest()}]
    write_manifest(copy, manifest)
    return copy


def read_short(scan_docs: ScanDocuments, folder: Path, languages: list[fc.OCRLanguage]) -> tuple[fc.ErrorCode, str]:
    record = fc.ConvertOptions()
    record.enable_ocr = True
    record.languages = languages
    target = folder / "short.txt"
    result = fc.FOLIConversion.start_pdf_to_txt(str(scan_docs.short), "", str(target), record)
    text = target.read_text(encoding="utf-8") if target.exists() else ""
    target.unlink(missing_ok=True)
    return result, text


# --- loading -------------------------------------------------------------------------------


def as_zip(folder: Path, target: Path) -> Path:
    with zipfile.ZipFile(target, "w") as archive:
        for path in sorted(folder.rglob("*")):
            if path.is_file():
                archive.write(path, str(path.relative_to(folder)))
    return target


@pytest.mark.parametrize("form", ["folder", "zip", "tar"])
def test_packages_load_in_every_form(form: str, package: Path, tmp_path: Path) -> None:
    path = package if form == "folder" else make_package(tmp_path / f"eng.{form}", "--languages", "eng")
    assert LM.set_document_ai_model(str(path)) == E.SUCCESS
    assert LM.set_document_ai_model(str(path), gpu_id=-1) == E.SUCCESS


def test_conversions_read_with_the_package_until_it_is_released(
    package: Path, scan_docs: ScanDocuments, tmp_path: Path, capfd: pytest.CaptureFixture[str]
) -> None:
    LM.set_logger(True, True)
    try:
        assert LM.set_document_ai_model(str(package)) == E.SUCCESS
        assert read_short(scan_docs, tmp_path, [L.ENGLISH]) == (E.SUCCESS, SHORT + "\n")
        with_package = capfd.readouterr().err
        LM.release_document_ai_model()
        assert read_short(scan_docs, tmp_path, [L.ENGLISH]) == (E.SUCCESS, SHORT + "\n")
        without = capfd.readouterr().err
    finally:
        LM.set_logger(False, False)
    assert f"eng from model package {package}" in with_package
    assert "eng from /" in without and "model package" not in without


def test_package_brings_languages_the_system_lacks(package: Path, scan_docs: ScanDocuments, tmp_path: Path) -> None:
    if (SYSTEM_TESSDATA / "tel.traineddata").exists():
        pytest.skip("Telugu trained data is installed here")
    telugu = renamed_model(package, tmp_path, SYSTEM_TESSDATA / "eng.traineddata", "tel")
    assert read_short(scan_docs, tmp_path, [L.TELUGU])[0] == E.OCR_FAILURE
    assert LM.set_document_ai_model(str(telugu)) == E.SUCCESS
    # A package that fails to load leaves the loaded one in place.
    assert LM.set_document_ai_model(str(tmp_path / "missing")) == E.FILE_ERROR
    result, text = read_short(scan_docs, tmp_path, [L.TELUGU])
    assert result == E.SUCCESS and cer(text, SHORT) < 0.02
    LM.release_document_ai_model()
    assert read_short(scan_docs, tmp_path, [L.TELUGU])[0] == E.OCR_FAILURE


# --- refusals ------------------------------------------------------------------------------


def set_format_version(manifest: dict) -> None:  # type: ignore[type-arg]
    manifest["format_version"] = 2


def add_model(kind: str, required: bool | None) -> Callable[[dict], None]:  # type: ignore[type-arg]
    def change(manifest: dict) -> None:  # type: ignore[type-arg]
        model = {"kind": kind, "engine": "onnx", "file": "tessdata/eng.traineddata",
                 "sha256": manifest["models"][0]["sha256"]}
        if required is not None:
            model["required"] = required
        manifest["models"].append(model)
    return change


MANIFEST_CHANGES: dict[str, tuple[Callable[[dict], None], fc.ErrorCode]] = {  # type: ignore[type-arg]
    "foreign-format": (lambda m: m.update(format="some-other-models"), E.INVALID_MODEL_FORMAT),
    "no-models": (lambda m: m.update(models=[]), E.INVALID_MODEL_FORMAT),
    "bad-checksum": (lambda m: m["models"][0].update(sha256="0" * 64), E.INVALID_MODEL_FORMAT),
    "missing-file": (lambda m: m["models"][0].update(file="tessdata/absent.traineddata"), E.INVALID_MODEL_FORMAT),
    "escaping-path": (lambda m: m["models"][0].update(file="../eng/tessdata/eng.traineddata"),
                      E.INVALID_MODEL_FORMAT),
    "no-version": (lambda m: m.pop("library_version"), E.INVALID_MODEL_FORMAT),
    "newer-library": (lambda m: m["library_version"].update(minimum="9.0"), E.MODEL_SDK_MISMATCH),
    "older-library": (lambda m: m["library_version"].update(minimum="0.0.1", below="0.0.9"), E.MODEL_SDK_MISMATCH),
    "newer-format": (set_format_version, E.MODEL_FORMAT_UNSUPPORTED),
    "layout-model": (add_model("layout", None), E.MODEL_FUNCTION_UNSUPPORTED),
    "optional-table-model": (add_model("table", False), E.SUCCESS),
}


@pytest.mark.parametrize("case", list(MANIFEST_CHANGES))
def test_manifest_problems_have_their_results(case: str, package: Path, tmp_path: Path) -> None:
    change, expected = MANIFEST_CHANGES[case]
    assert LM.set_document_ai_model(str(variant(package, tmp_path, change))) == expected


@pytest.mark.parametrize("case", ["missing", "pdf", "empty-folder", "not-json", "truncated-zip", "damaged-model"])
def test_damaged_or_foreign_files(case: str, package: Path, tmp_path: Path, scan_docs: ScanDocuments) -> None:
    path = tmp_path / case
    if case == "pdf":
        path = scan_docs.short
    elif case == "empty-folder":
        path.mkdir()
    elif case == "not-json":
        shutil.copytree(package, path)
        (path / "manifest.json").write_text("{ this is not json")
    elif case == "truncated-zip":
        data = as_zip(package, tmp_path / "whole.zip").read_bytes()
        path.write_bytes(data[: len(data) // 2])
    elif case == "damaged-model":
        shutil.copytree(package, path)
        model = path / "tessdata" / "eng.traineddata"
        data = bytearray(model.read_bytes())
        data[len(data) // 2] ^= 0xFF
        model.write_bytes(bytes(data))
    expected = E.FILE_ERROR if case == "missing" else E.INVALID_MODEL_FORMAT
    assert LM.set_document_ai_model(str(path)) == expected


@pytest.mark.parametrize("gpu", [0, 1, -2])
def test_gpu_indexes_are_refused_on_this_cpu_build(
    gpu: int, package: Path, capfd: pytest.CaptureFixture[str]
) -> None:
    LM.set_logger(False, True)
    try:
        assert LM.set_document_ai_model(str(package), gpu_id=gpu) == E.INVALID_ARG
    finally:
        LM.set_logger(False, False)
    assert f"GPU {gpu}" in capfd.readouterr().err


# --- threads -------------------------------------------------------------------------------


def test_load_release_and_convert_on_threads(package: Path, scan_docs: ScanDocuments, tmp_path: Path) -> None:
    stop = threading.Event()
    results: list[tuple[fc.ErrorCode, str]] = []
    loads: list[fc.ErrorCode] = []

    def churn() -> None:
        while not stop.is_set():
            loads.append(LM.set_document_ai_model(str(package)))
            LM.set_document_ai_model_count(2, 1)
            LM.release_document_ai_model()
            LM.set_document_ai_model_count(1, 1)

    def convert(index: int) -> None:
        folder = tmp_path / str(index)
        folder.mkdir()
        for _ in range(2):
            results.append(read_short(scan_docs, folder, [L.ENGLISH]))

    churner = threading.Thread(target=churn)
    churner.start()
    workers = [threading.Thread(target=convert, args=(index,)) for index in range(3)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    stop.set()
    churner.join()
    assert loads and all(load == E.SUCCESS for load in loads)
    assert len(results) == 6
    for result, text in results:
        assert result == E.SUCCESS
        assert cer(text, SHORT) < 0.02
