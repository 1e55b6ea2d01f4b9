"""The conversion entry points by format name, with the extension their
output path gets in the tests."""

from __future__ import annotations

from collections.abc import Callable

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
}
# The formats that must fail honestly and write nothing.
UNIMPLEMENTED: dict[str, Entry] = {
    "word": (C.start_pdf_to_word, ".docx"),
    "excel": (C.start_pdf_to_excel, ".xlsx"),
    "ppt": (C.start_pdf_to_ppt, ".pptx"),
    "rtf": (C.start_pdf_to_rtf, ".rtf"),
    "searchable_pdf": (C.start_pdf_to_searchable_pdf, ".pdf"),
    "ofd": (C.start_pdf_to_ofd, ".ofd"),
}
ALL_FORMATS: dict[str, Entry] = {**FORMATS, **UNIMPLEMENTED}
