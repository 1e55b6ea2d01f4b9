"""Documents for the PowerPoint tests, written with PyMuPDF: a titled page
with a wrapped paragraph, a link, coloured and styled words; a page with
curves (art that only a picture shows); a page of another size."""

from __future__ import annotations

from pathlib import Path

import pymupdf

from documents import BODY, BOLD, ITALIC

TITLE = "Quarterly Review"
PARAGRAPH = ("The review covers the results of the quarter and the plans for the next one, in a paragraph "
             "long enough to wrap over several lines of the page.")
LINK_URI = "https://example.org/review"
LINK_TEXT = "Read the full review online"
RED_WORD = "urgent"
ART_CAPTION = "A circle and a wave drawn as curves."
SMALL_PAGE = (420, 297)  # A5 landscape, against the A4 portrait of the first pages


def make_slides(path: Path) -> None:
    doc = pymupdf.open()
    first = doc.new_page()
    first.insert_text((72, 90), TITLE, fontsize=24, fontname=BOLD)
    first.insert_textbox(pymupdf.Rect(72, 110, 400, 200), PARAGRAPH, fontsize=11, fontname=BODY)
    first.insert_text((72, 230), LINK_TEXT, fontsize=11, fontname=BODY)
    width = pymupdf.get_text_length(LINK_TEXT, fontname=BODY, fontsize=11)
    first.insert_link({"kind": pymupdf.LINK_URI, "from": pymupdf.Rect(72, 218, 72 + width, 234), "uri": LINK_URI})
    first.insert_text((72, 270), "An", fontsize=11, fontname=BODY)
    first.insert_text((90, 270), "italic", fontsize=11, fontname=ITALIC)
    first.insert_text((124, 270), "and an", fontsize=11, fontname=BODY)
    first.insert_text((164, 270), RED_WORD, fontsize=11, fontname=BOLD, color=(1, 0, 0))
    first.insert_text((206, 270), "word.", fontsize=11, fontname=BODY)

    second = doc.new_page()
    second.draw_circle((200, 300), 80, color=(0, 0, 1), fill=(0.8, 0.9, 1), width=2)
    wave = second.new_shape()
    wave.draw_bezier((80, 500), (200, 400), (300, 600), (500, 500))
    wave.finish(color=(0, 0.5, 0), width=3)
    wave.commit()
    second.insert_text((72, 650), ART_CAPTION, fontsize=11, fontname=BODY)

    third = doc.new_page(width=SMALL_PAGE[0], height=SMALL_PAGE[1])
    third.insert_text((40, 60), "A smaller page", fontsize=14, fontname=BODY)
    doc.set_toc([[1, TITLE, 1], [1, "Art", 2]])
    doc.set_metadata({"title": "Review slides", "author": "The tests", "subject": "Slides"})
    doc.save(path)
