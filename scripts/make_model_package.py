#!/usr/bin/env python3
"""Builds a document-AI model package (docs/model-package.md) from the
Tesseract trained data installed on this machine.

    scripts/make_model_package.py models.zip --languages eng,chi_sim
    scripts/make_model_package.py models/ --languages eng --no-orientation

The output is a folder, or one archive file when the name ends in .zip or
.tar. The package works with the library version of this checkout and
later patch and minor releases of the same major version below the next
minor one (the range is in the manifest; change it with --library-below).
"""

from __future__ import annotations

import argparse
import hashlib
import io
import json
import os
import shutil
import sys
import tarfile
import tomllib
import zipfile
from pathlib import Path

FORMAT = "foliant-document-ai-models"
FORMAT_VERSION = 1
REPOSITORY = Path(__file__).resolve().parents[1]
SYSTEM_FOLDERS = ["/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata",
                  "/usr/share/tessdata", "/usr/local/share/tessdata"]


def library_version() -> str:
    with open(REPOSITORY / "pyproject.toml", "rb") as file:
        return str(tomllib.load(file)["project"]["version"])


def next_minor(version: str) -> str:
    parts = [int(part) for part in version.split(".")] + [0, 0]
    return f"{parts[0]}.{parts[1] + 1}.0"


def tessdata_folders(given: str | None) -> list[Path]:
    folders = [given] if given else []
    if os.environ.get("TESSDATA_PREFIX"):
        folders += [os.environ["TESSDATA_PREFIX"], os.path.join(os.environ["TESSDATA_PREFIX"], "tessdata")]
    return [Path(folder) for folder in folders + SYSTEM_FOLDERS]


def find_trained_data(name: str, folders: list[Path]) -> Path:
    for folder in folders:
        candidate = folder / f"{name}.traineddata"
        if candidate.is_file():
            return candidate
    raise SystemExit(f"{name}.traineddata is not installed (looked in {', '.join(map(str, folders))})")


def build_manifest(name: str, models: list[dict[str, object]], minimum: str, below: str) -> bytes:
    manifest = {
        "format": FORMAT,
        "format_version": FORMAT_VERSION,
        "name": name,
        "library_version": {"minimum": minimum, "below": below},
        "models": models,
    }
    return (json.dumps(manifest, indent=2, ensure_ascii=False) + "\n").encode()


def write_package(output: Path, files: dict[str, bytes]) -> None:
    """Writes the entries as a folder, a ZIP file (stored: trained data
    does not compress) or a tar file, chosen by the output's suffix."""
    if output.suffix == ".zip":
        with zipfile.ZipFile(output, "w", compression=zipfile.ZIP_STORED) as archive:
            for entry, data in files.items():
                archive.writestr(entry, data)
    elif output.suffix == ".tar":
        with tarfile.open(output, "w") as archive:
            for entry, data in files.items():
                info = tarfile.TarInfo(entry)
                info.size = len(data)
                archive.addfile(info, io.BytesIO(data))
    else:
        if output.exists():
            shutil.rmtree(output)
        for entry, data in files.items():
            target = output / entry
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(data)


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("output", type=Path, help="folder, or archive file ending in .zip or .tar")
    parser.add_argument("--languages", default="eng",
                        help="trained data names, comma-separated (eng,chi_sim,script/Latin); default eng")
    parser.add_argument("--no-orientation", action="store_true",
                        help="leave out the orientation and script model (osd)")
    parser.add_argument("--tessdata", help="folder of the trained data (default: the system's)")
    parser.add_argument("--name", help="package name (default: tesseract-<languages>)")
    parser.add_argument("--library-minimum", help="oldest library version the package works with (default: this one)")
    parser.add_argument("--library-below", help="first library version it does not work with (default: next minor)")
    args = parser.parse_args(argv)

    folders = tessdata_folders(args.tessdata)
    languages = [language.strip() for language in args.languages.split(",") if language.strip()]
    if not languages:
        parser.error("no languages given")
    minimum = args.library_minimum or library_version()
    below = args.library_below or next_minor(minimum)

    files: dict[str, bytes] = {}
    models: list[dict[str, object]] = []
    wanted = [("ocr", language) for language in languages] + ([] if args.no_orientation else [("orientation", "osd")])
    for kind, language in wanted:
        data = find_trained_data(language, folders).read_bytes()
        entry = f"tessdata/{language}.traineddata"
        files[entry] = data
        model: dict[str, object] = {"kind": kind, "engine": "tesseract", "file": entry,
                                    "sha256": hashlib.sha256(data).hexdigest(), "size": len(data)}
        if kind == "ocr":
            model["language"] = language
        models.append(model)
    name = args.name or "tesseract-" + "-".join(language.replace("/", "_") for language in languages)
    files = {"manifest.json": build_manifest(name, models, minimum, below), **files}
    write_package(args.output, files)
    print(f"{args.output}: {name}, {len(models)} model(s), library {minimum} to below {below}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
