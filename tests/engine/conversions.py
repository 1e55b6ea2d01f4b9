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
    "ofd": (C.start_pdf_to_ofd, ".ofd"),
    "ppt": (C.start_pdf_to_ppt, ".pptx"),
}
# Formats that recognise text on every conversion (and so are slow on
# pages without a text layer of their own).
OCR_FORMATS: dict[str, Entry] = {
    "searchable_pdf": (C.start_pdf_to_searchable_pdf, ".pdf"),
}
# The formats that must fail honestly and write nothing.
UNIMPLEMENTED: dict[str, Entry] = {
}
ALL_FORMATS: dict[str, Entry] = {**FORMATS, **OCR_FORMATS, **UNIMPLEMENTED}


WORD_TEXT = re.compile(rb"<w:t(?: [^>]*)?>([^<]*)</w:t>|<w:(?:p|tab|br)[ />]")
OFD_PAGE = re.compile(r'<ofd:Page ID="\d+" BaseLoc="([^"]+)"')
OFD_TEXT = re.compile(r"<ofd:TextCode[^>]*>([^<]*)</ofd:TextCode>")
SLIDE_TEXT = re.compile(rb"<a:t>([^<]*)</a:t>|<a:(?:p|br)[ />]")
SLIDE_PART = re.compile(r"ppt/slides/slide(\d+)\.xml")


def unescape(text: str) -> str:
    return text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", '"').replace("&#39;", "'").replace(
        "&amp;", "&")


def ofd_text(path: Path) -> str:
    """The text of an OFD package: its text objects in drawing order, a
    space between them and a line break between pages."""
    with zipfile.ZipFile(path) as package:
        document = package.read("Doc_0/Document.xml").decode("utf-8")
        pages = [package.read("Doc_0/" + location).decode("utf-8") for location in OFD_PAGE.findall(document)]
    return "\n".join(" ".join(unescape(t) for t in OFD_TEXT.findall(page)) for page in pages)


def output_text(path: Path) -> str:
    """The text of an output file: a .docx's or .pptx's text runs (a space
    between paragraphs and lines), an .ofd's text objects, else the file
    read as UTF-8."""
    if path.suffix == ".ofd":
        return ofd_text(path)
    if path.suffix not in (".docx", ".pptx"):
        return path.read_text(encoding="utf-8")
    with zipfile.ZipFile(path) as package:
        if path.suffix == ".docx":
            body, pattern = package.read("word/document.xml"), WORD_TEXT
        else:
            slides = sorted((int(m[1]), name) for name in package.namelist() if (m := SLIDE_PART.fullmatch(name)))
            body, pattern = b"".join(package.read(name) for _, name in slides), SLIDE_TEXT
    pieces = [m[1].decode("utf-8") if m[1] is not None else " " for m in pattern.finditer(body)]
    return "".join(pieces).replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", '"')
