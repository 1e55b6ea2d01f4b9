"""Writes the text-bearing outputs of every test document and of the small
benchmark documents into one folder, so that two builds can be compared
byte for byte when a change is meant to make the engine faster without
changing what it writes:

    PYTHONPATH=build/a/python python bench/snapshot.py /tmp/before
    PYTHONPATH=build/b/python python bench/snapshot.py /tmp/after
    diff -r /tmp/before/out /tmp/after/out

Formats: plain text (with and without table formatting), Markdown, HTML
and JSON. The documents are generated into <folder>/docs first.
"""

from __future__ import annotations

import argparse
import inspect
import os
import shutil
import sys
from collections.abc import Callable
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))
sys.path.insert(0, str(HERE))

import documents  # noqa: E402
import FoliantConversion as fc  # noqa: E402


def test_documents(folder: Path) -> list[Path]:
    """The documents of the shared fixture, and those that single tests make
    (every generator that takes nothing but a path)."""
    docs = documents.build_all(folder)
    paths = {value for value in vars(docs).values() if isinstance(value, Path) and value.suffix == ".pdf"}
    for name, make in vars(documents).items():
        if not name.startswith("make_") or not callable(make):
            continue
        parameters = [p for p in inspect.signature(make).parameters.values() if p.default is p.empty]
        path = folder / f"{name.removeprefix('make_')}.pdf"
        if len(parameters) == 1 and path not in paths and not path.exists():
            make(path)
            paths.add(path)
    return sorted(paths)


def conversions() -> list[tuple[str, Callable[..., fc.ErrorCode], dict[str, object]]]:
    convert = fc.FOLIConversion
    return [
        ("txt", convert.start_pdf_to_txt, {}),
        ("plain.txt", convert.start_pdf_to_txt, {"txt_table_format": False}),
        ("md", convert.start_pdf_to_markdown, {}),
        ("html", convert.start_pdf_to_html, {}),
        ("json", convert.start_pdf_to_json, {}),
    ]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("folder", type=Path)
    parser.add_argument("--corpus", type=Path, default=HERE.parent / "build" / "bench",
                        help="benchmark corpus; its 20-page documents are included when present")
    args = parser.parse_args()

    corpus = args.corpus.resolve()
    # Documents are named relative to the folder, so that outputs that
    # record their source path do not differ between two snapshots.
    args.folder.mkdir(parents=True, exist_ok=True)
    os.chdir(args.folder)
    out = Path("out")
    shutil.rmtree(out, ignore_errors=True)
    sources = test_documents(Path("docs"))
    for name in ("text-20.pdf", "graphics-20.pdf"):
        if (corpus / name).exists():
            shutil.copyfile(corpus / name, Path("docs") / name)
            sources.append(Path("docs") / name)
    fc.LibraryManager.initialize(None)
    failures = 0
    for source in sources:
        for name, start, settings in conversions():
            options = fc.ConvertOptions()
            for key, value in settings.items():
                setattr(options, key, value)
            target = out / source.stem / f"{source.stem}.{name}"
            target.parent.mkdir(parents=True, exist_ok=True)
            result = start(str(source), "", str(target), options, None)
            if result != fc.ErrorCode.SUCCESS:
                # Expected for the damaged and protected documents; recorded so
                # that a change in the outcome shows up in the comparison too.
                (out / source.stem / f"{name}.result").write_text(result.name + "\n")
                failures += 1
    fc.LibraryManager.release()
    print(f"{len(sources)} documents, {failures} conversions without output, written to {out.resolve()}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
