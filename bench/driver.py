"""The tiny program bench.py starts once per timed run of a Python tool.

    python bench/driver.py TOOL INPUT OUTPUT [--dpi N]

TOOL is one of:
    txt, markdown, png, jpeg     FoliantConversion (start_pdf_to_*)
    docx, docx-box, rtf          FoliantConversion to Word (FLOW, BOX) and RTF
    xlsx, pptx                   FoliantConversion to Excel (a sheet per table) and PowerPoint
    pdfplumber                   pdfplumber's extract_tables() on every page, the
                                 tables written as CSV (what an Excel conversion gives)
    pdf2docx                     pdf2docx.Converter, its defaults
    pymupdf4llm                  pymupdf4llm.to_markdown, its default mode
    pymupdf4llm-legacy           pymupdf4llm.to_markdown without its layout model
    threads-txt, threads-markdown
                                 two conversions of INPUT one after the other,
                                 then two at once on two Python threads;
                                 OUTPUT is a folder

The driver times the conversion call itself (after imports and library
initialisation) and prints one JSON line: {"wall": s, "cpu": s} (for the
threads tools {"sequential": {...}, "parallel": {...}}). bench.py times the
whole process from outside as well, so the difference between the two is
interpreter start-up, imports and initialisation.
"""

from __future__ import annotations

import argparse
import json
import sys
import threading
import time
from pathlib import Path
from typing import Callable, Mapping


def timed(work: Callable[[], None]) -> dict[str, float]:
    wall, cpu = time.perf_counter(), time.process_time()
    work()
    return {"wall": time.perf_counter() - wall, "cpu": time.process_time() - cpu}


def ours(kind: str, dpi: int) -> Callable[[str, str], None]:
    import FoliantConversion as fc

    fc.LibraryManager.initialize(None)
    options = fc.ConvertOptions()
    start = {
        "txt": fc.FOLIConversion.start_pdf_to_txt,
        "markdown": fc.FOLIConversion.start_pdf_to_markdown,
        "png": fc.FOLIConversion.start_pdf_to_image,
        "jpeg": fc.FOLIConversion.start_pdf_to_image,
        "docx": fc.FOLIConversion.start_pdf_to_word,
        "docx-box": fc.FOLIConversion.start_pdf_to_word,
        "rtf": fc.FOLIConversion.start_pdf_to_rtf,
        "xlsx": fc.FOLIConversion.start_pdf_to_excel,
        "pptx": fc.FOLIConversion.start_pdf_to_ppt,
    }[kind]
    if kind == "docx-box":
        options.page_layout_mode = fc.PageLayoutMode.BOX
    if kind in ("png", "jpeg"):
        options.image_type = fc.ImageType.PNG if kind == "png" else fc.ImageType.JPEG
        options.image_scaling = dpi / 72

    def convert(source: str, target: str) -> None:
        result = start(source, "", target, options, None)
        if result != fc.ErrorCode.SUCCESS:
            raise SystemExit(f"conversion of {source} failed: {result.name}")

    return convert


def pymupdf4llm_tool(layout: bool) -> Callable[[str, str], None]:
    import pymupdf4llm

    pymupdf4llm.use_layout(layout)

    def convert(source: str, target: str) -> None:
        Path(target).write_text(pymupdf4llm.to_markdown(source), encoding="utf-8")

    return convert


def pdfplumber_tool() -> Callable[[str, str], None]:
    import csv

    import pdfplumber

    def convert(source: str, target: str) -> None:
        with pdfplumber.open(source) as document, open(target, "w", newline="", encoding="utf-8") as out:
            writer = csv.writer(out)
            for page in document.pages:
                for table in page.extract_tables():
                    writer.writerows(table)
                    writer.writerow([])

    return convert


def pdf2docx_tool() -> Callable[[str, str], None]:
    import logging

    from pdf2docx import Converter

    logging.disable(logging.WARNING)

    def convert(source: str, target: str) -> None:
        converter = Converter(source)
        try:
            converter.convert(target)
        finally:
            converter.close()

    return convert


def in_threads(convert: Callable[[str, str], None], source: str, folder: Path, suffix: str) -> dict[str, object]:
    folder.mkdir(parents=True, exist_ok=True)
    targets = [str(folder / f"{name}{suffix}") for name in ("a", "b")]

    def one_after_the_other() -> None:
        for target in targets:
            convert(source, target)

    def side_by_side() -> None:
        threads = [threading.Thread(target=convert, args=(source, target)) for target in targets]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

    return {"sequential": timed(one_after_the_other), "parallel": timed(side_by_side)}


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("input")
    parser.add_argument("output")
    parser.add_argument("--dpi", type=int, default=150)
    args = parser.parse_args()

    if args.tool.startswith("threads-"):
        kind = args.tool.removeprefix("threads-")
        suffix = ".txt" if kind == "txt" else ".md"
        report: Mapping[str, object] = in_threads(ours(kind, args.dpi), args.input, Path(args.output), suffix)
    else:
        if args.tool in ("pymupdf4llm", "pymupdf4llm-legacy"):
            convert = pymupdf4llm_tool(layout=args.tool == "pymupdf4llm")
        elif args.tool == "pdf2docx":
            convert = pdf2docx_tool()
        elif args.tool == "pdfplumber":
            convert = pdfplumber_tool()
        else:
            convert = ours(args.tool, args.dpi)
        report = timed(lambda: convert(args.input, args.output))
    print(json.dumps(report))
    return 0


if __name__ == "__main__":
    sys.exit(main())
