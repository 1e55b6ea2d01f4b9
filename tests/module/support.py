"""Helpers shared by the module tests."""

from __future__ import annotations

import re
import sys
import threading
from collections.abc import Callable
from pathlib import Path

import FoliantConversion as fc

MODULE_DOC = "\n        Foliant Conversion python3 SDK\n    "

ENUM_NAMES = [
    "OCRLanguage",
    "ErrorCode",
    "PageLayoutMode",
    "ImageColorMode",
    "ImageType",
    "HtmlOption",
    "ExcelWorksheetOption",
    "OCROption",
]
CLASS_NAMES = ["ConvertOptions", "LibraryManager", "ConvertCallback", "FOLIConversion"]

ENTRY_POINTS = [
    ("start_pdf_to_word", "Starts the conversion of a PDF file to a Word document."),
    ("start_pdf_to_excel", "Starts the conversion of a PDF file to an Excel document."),
    ("start_pdf_to_ppt", "Starts the conversion of a PDF file to a PowerPoint presentation."),
    ("start_pdf_to_html", "Starts the conversion of a PDF file to an HTML document."),
    ("start_pdf_to_image", "Starts the conversion of a PDF file to an image format."),
    ("start_pdf_to_markdown", "Starts the conversion of a PDF file to a Markdown document."),
    ("start_pdf_to_rtf", "Starts the conversion of a PDF file to an RTF document."),
    ("start_pdf_to_txt", "Starts the conversion of a PDF file to a plain text file."),
    ("start_pdf_to_json", "Starts the conversion of a PDF file to a JSON document."),
    ("start_pdf_to_searchable_pdf", "Starts the conversion of a PDF file to a searchable PDF document."),
    ("start_pdf_to_ofd", "Starts the conversion of a PDF file to an OFD document."),
]

_SIGNATURE = re.compile(r"^(?:\d+\. )?(\w*)\((.*)\) -> (.+)$")


def split_doc(doc: str | None) -> tuple[list[str], str]:
    """Splits a pybind11 function docstring into its signature lines and
    the text that follows them (the function's own docstring)."""
    assert doc is not None
    lines = doc.split("\n")
    if lines[0].endswith("(*args, **kwargs)") and lines[1] == "Overloaded function.":
        signatures = [line for line in lines[2:] if _SIGNATURE.match(line)]
        return signatures, ""
    return [lines[0]], "\n".join(lines[1:]).strip()


def signature_of(function: object) -> str:
    """The one signature line pybind11 wrote for a function."""
    signatures, _ = split_doc(getattr(function, "__doc__"))
    assert len(signatures) == 1, signatures
    return signatures[0]


def docstring_of(function: object) -> str:
    return split_doc(getattr(function, "__doc__"))[1]


def parameters_of(function: object) -> list[str]:
    """Parameter names of a function, from its signature line."""
    match = _SIGNATURE.match(signature_of(function))
    assert match is not None
    names = []
    for parameter in _split_top_level(match.group(2)):
        names.append(parameter.split(":")[0].split("=")[0].strip())
    return names


def _split_top_level(text: str) -> list[str]:
    parts, depth, current = [], 0, ""
    for char in text:
        if char in "[(":
            depth += 1
        elif char in "])":
            depth -= 1
        if char == "," and depth == 0:
            parts.append(current.strip())
            current = ""
        else:
            current += char
    if current.strip():
        parts.append(current.strip())
    return parts


def page_words(*lines: str) -> list[str]:
    return " ".join(lines).split()


def simple_document_words(pages: int = 3) -> list[str]:
    """The words of `documents.make_simple`, in reading order."""
    words: list[str] = []
    for number in range(1, pages + 1):
        words += page_words(f"Page {number} heading", f"Body text of page {number}.")
    return words


class Recorder:
    """A progress callable that records its calls and the thread they
    arrive on."""

    def __init__(self) -> None:
        self.calls: list[tuple[int, int]] = []
        self.threads: set[int] = set()

    def __call__(self, current: int, total: int) -> None:
        assert type(current) is int and type(total) is int
        self.calls.append((current, total))
        self.threads.add(threading.get_ident())


def convert_txt(
    source: Path, output: Path, callback: fc.ConvertCallback | None = None, password: str = ""
) -> fc.ErrorCode:
    return fc.FOLIConversion.start_pdf_to_txt(str(source), password, str(output), fc.ConvertOptions(), callback)


def bundle(
    progress: Callable[[int, int], None] | None = None, cancel: Callable[[], bool] | None = None
) -> fc.ConvertCallback:
    callback = fc.ConvertCallback()
    if progress is not None:
        callback.set_progress(progress)
    if cancel is not None:
        callback.set_cancel(cancel)
    return callback


def module_file() -> Path:
    path = fc.__file__
    assert path is not None
    return Path(path)


def python_tag() -> str:
    return f"{sys.version_info.major}.{sys.version_info.minor}"
