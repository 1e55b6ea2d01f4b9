"""Regenerates samples/sample.pdf, the document the main job converts.

Needs PyMuPDF (`pip install pymupdf`); the committed sample.pdf makes this
unnecessary for running the main job.
"""

from __future__ import annotations

import sys
from pathlib import Path

import pymupdf

INTRO = (
    "FoliantConversion turns PDF files into formats that other programs can "
    "read and edit. This sample shows headings, paragraphs, lists, a table, "
    "a picture, links and a two-column page, so every writer has something "
    "to do."
)
COLUMN_LEFT = (
    "Multi-column pages are read column by column. This left column comes "
    "first in reading order, although the page draws the right column first."
)
COLUMN_RIGHT = (
    "The right column follows. Paragraphs are joined across line breaks, "
    "and words hyphenated at a line end are joined again."
)


def page_one(doc: pymupdf.Document) -> None:
    page = doc.new_page()
    page.insert_text((72, 80), "Foliant Conversion Sample", fontsize=24, fontname="hebo")
    page.insert_text((72, 118), "Introduction", fontsize=16, fontname="hebo")
    page.insert_textbox(pymupdf.Rect(72, 130, 520, 200), INTRO, fontsize=11, fontname="helv")
    y = 220
    for item in ["Plain text and Markdown", "HTML and JSON", "Images in nine formats"]:
        page.insert_text((84, y), "\u2022", fontsize=11, fontname="helv")
        page.insert_text((98, y), item, fontsize=11, fontname="helv")
        y += 16
    page.insert_text((72, y + 24), "Figures", fontsize=16, fontname="hebo")
    x_edges, y_edges = [72, 220, 320, 440], [y + 40, y + 62, y + 84, y + 106]
    for x in x_edges:
        page.draw_line((x, y_edges[0]), (x, y_edges[-1]), width=0.8)
    for edge in y_edges:
        page.draw_line((x_edges[0], edge), (x_edges[-1], edge), width=0.8)
    rows = [["Format", "Pages", "Seconds"], ["Text", "120", "0.21"], ["Markdown", "120", "0.34"]]
    for row, cells in enumerate(rows):
        for column, text in enumerate(cells):
            font = "hebo" if row == 0 else "helv"
            page.insert_text((x_edges[column] + 6, y_edges[row] + 15), text, fontsize=10, fontname=font)
    picture = pymupdf.Pixmap(pymupdf.csRGB, pymupdf.IRect(0, 0, 120, 60), False)
    picture.clear_with(180)
    page.insert_image(pymupdf.Rect(72, y_edges[-1] + 24, 312, y_edges[-1] + 144), pixmap=picture)
    link_y = y_edges[-1] + 170
    text = "Read more on the project page."
    page.insert_text((72, link_y), text, fontsize=11, fontname="helv")
    width = pymupdf.get_text_length(text, fontname="helv", fontsize=11)
    page.insert_link({"kind": pymupdf.LINK_URI, "from": pymupdf.Rect(72, link_y - 12, 72 + width, link_y + 4),
                      "uri": "https://example.org/foliant"})


def page_two(doc: pymupdf.Document) -> None:
    page = doc.new_page()
    page.insert_text((72, 80), "Two Columns", fontsize=16, fontname="hebo")
    page.insert_textbox(pymupdf.Rect(310, 100, 520, 220), COLUMN_RIGHT, fontsize=11, fontname="helv")
    page.insert_textbox(pymupdf.Rect(72, 100, 282, 220), COLUMN_LEFT, fontsize=11, fontname="helv")


def main(target: Path) -> None:
    doc = pymupdf.open()
    page_one(doc)
    page_two(doc)
    doc.set_toc([[1, "Introduction", 1], [2, "Figures", 1], [1, "Two Columns", 2]])
    doc.set_metadata({"title": "Foliant Conversion Sample", "author": "FoliantConversion"})
    doc.save(target, garbage=3, deflate=True)


if __name__ == "__main__":
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("sample.pdf"))
