"""The conversion entry points by format name, with the extension their
output path gets in the tests."""

from __future__ import annotations

import re
import zipfile
from collections.abc import Callable
from pathlib import Path

import FoliantConversion as fc

C = fc.FOLIConversion

Entry = tuple[Callable[..., fc.ErrorCode], str]

# The formats this build writes.
FORMATS: dict[str, Entry] = {
    "txt": (C.start_pdf_to_txt, ".txt"),
    "markdown": (C.start_pdf_to_markdown, ".md"),
    "html": (C.start_pdf_to_html, ".html"),
    "json": (C.start_pdf_to_json, ".json"),
    "image": (C.start_pdf_to_image, ".png"),
    "word": (C.start_pdf_to_word, ".docx"),
    "rtf": (C.start_pdf_to_rtf, ".rtf"),
}
# The formats that must fail honestly and write nothing.
UNIMPLEMENTED: dict[str, Entry] = {
    "excel": (C.start_pdf_to_excel, ".xlsx"),
    "ppt": (C.start_pdf_to_ppt, ".pptx"),
    "searchable_pdf": (C.start_pdf_to_searchable_pdf, ".pdf"),
    "ofd": (C.start_pdf_to_ofd, ".ofd"),
}
ALL_FORMATS: dict[str, Entry] = {**FORMATS, **UNIMPLEMENTED}


WORD_TEXT = re.compile(rb"<w:t(?: [^>]*)?>([^<]*)</w:t>|<w:(?:p|tab|br)[ />]")


def output_text(path: Path) -> str:
    """The text of an output file: a .docx's text runs (a space between
    paragraphs), else the file read as UTF-8."""
    if path.suffix != ".docx":
        return path.read_text(encoding="utf-8")
    with zipfile.ZipFile(path) as package:
        body = package.read("word/document.xml")
    pieces = [m[1].decode("utf-8") if m[1] is not None else " " for m in WORD_TEXT.finditer(body)]
    return "".join(pieces).replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", '"')
