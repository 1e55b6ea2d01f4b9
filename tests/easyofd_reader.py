"""Reads OFD files with easyofd (an independent OFD reader on PyPI) in a
process of its own: easyofd prints, logs, warns about PyMuPDF's old name
and writes scratch files into the working folder, none of which belongs in
a test run. reference_tools.read_ofd runs this file.

Usage: python easyofd_reader.py OUT_DIR FILE.ofd...
Writes OUT_DIR/report.json: for each file its pages' text (one string per
TextCode, in document order), counts of the objects easyofd found, and the
PDF easyofd drew from it (OUT_DIR/<stem>.pdf), or the error it raised.

easyofd draws all text in the font it knows as 宋体 (SimSun), which it
looks for as simsun.ttc; on a machine without it, Liberation Sans stands
in under that name, so that the text is drawn at all."""

from __future__ import annotations

import contextlib
import io
import json
import os
import sys
import traceback
import warnings
from pathlib import Path

STAND_IN_FONTS = [
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
]


def quiet_import():
    with warnings.catch_warnings(), contextlib.redirect_stdout(io.StringIO()):
        warnings.simplefilter("ignore")
        from loguru import logger

        logger.remove()
        from easyofd.ofd import OFD
        from reportlab.pdfbase import pdfmetrics
        from reportlab.pdfbase.ttfonts import TTFont

        if "宋体" not in pdfmetrics.getRegisteredFontNames():
            for path in STAND_IN_FONTS:
                if os.path.exists(path):
                    pdfmetrics.registerFont(TTFont("宋体", path))
                    break
    return OFD


def read_one(OFD, path: Path, out_dir: Path) -> dict:
    result: dict = {"file": str(path)}
    try:
        with warnings.catch_warnings(), contextlib.redirect_stdout(io.StringIO()):
            warnings.simplefilter("ignore")
            document = OFD()
            document.read(str(path), fmt="path")
            data = document.data[0]
            pages = []
            for _, page in sorted(data["page_info"].items()):
                pages.append({
                    "texts": [str(item.get("text", "")) for item in page.get("text_list", [])],
                    "images": len(page.get("img_list", [])),
                    "paths": len(page.get("line_list", [])),
                })
            result["pages"] = pages
            result["fonts"] = len(data.get("fonts", {}))
            result["media"] = len(data.get("images", {}))
            pdf = document.to_pdf()
        pdf_path = out_dir / (path.stem + ".pdf")
        pdf_path.write_bytes(pdf)
        result["pdf"] = str(pdf_path)
    except Exception as error:  # the reader's failure is the finding
        result["error"] = f"{type(error).__name__}: {error}"
        result["trace"] = traceback.format_exc()
    return result


def main() -> None:
    out_dir = Path(sys.argv[1]).resolve()
    files = [Path(name).resolve() for name in sys.argv[2:]]
    out_dir.mkdir(parents=True, exist_ok=True)
    os.chdir(out_dir)  # easyofd's scratch files
    OFD = quiet_import()
    report = [read_one(OFD, path, out_dir) for path in files]
    (out_dir / "report.json").write_text(json.dumps(report, ensure_ascii=False))


if __name__ == "__main__":
    main()
