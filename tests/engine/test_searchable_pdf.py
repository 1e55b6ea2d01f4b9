"""The searchable PDF: the input's pages kept as they are, with the
recognised words as a text layer that pdftotext reads back in order and at
the words' places; a valid file (qpdf --check) written as the original bytes
plus an incremental update; pages that need no OCR left untouched."""

from __future__ import annotations

import subprocess
from pathlib import Path

import pymupdf
import pytest

import FoliantConversion as fc
from documents import Documents
from PIL import Image, ImageChops

from reference_tools import pdftotext, render_page, require_tool, tool_env
from scans import DIGITAL_TEXT, ScanDocuments, cer, normalise

E = fc.ErrorCode
O = fc.OCROption
C = fc.FOLIConversion
external = pytest.mark.external


def convert(source: Path, target: Path, password: str = "", callback: fc.ConvertCallback | None = None,
            **fields: object) -> fc.ErrorCode:
    record = fc.ConvertOptions()
    record.transparent_text = True
    for name, value in fields.items():
        setattr(record, name, value)
    return C.start_pdf_to_searchable_pdf(str(source), password, str(target), record, callback)


def qpdf_check(pdf: Path, password: str = "") -> None:
    qpdf = require_tool("qpdf")
    arguments = [qpdf, "--check", *([f"--password={password}"] if password else []), str(pdf)]
    result = subprocess.run(arguments, capture_output=True, text=True, env=tool_env())
    assert result.returncode == 0, result.stdout + result.stderr
    assert "No syntax or stream encoding errors" in result.stdout


def bbox_words(pdf: Path, page: int = 1) -> list[tuple[str, tuple[float, float, float, float]]]:
    """The words pdftotext -bbox finds on a page, with their boxes."""
    import xml.etree.ElementTree as ElementTree

    html = pdftotext(pdf, "-bbox", pages=(page, page))
    root = ElementTree.fromstring(html.replace('xmlns="http://www.w3.org/1999/xhtml"', ""))
    return [(word.text or "", tuple(float(word.get(k, 0)) for k in ("xMin", "yMin", "xMax", "yMax")))  # type: ignore[misc]
            for word in root.iter("word")]


def same_place(found: tuple[float, ...], expected: tuple[float, ...], along_x: bool = True) -> bool:
    """Whether a word's box lies where the word was set: the same centre
    and the same length along the line, within 3 points. (Recognised boxes
    hug the ink; the font's boxes reach from ascender to descender.)"""
    centre = all(abs((found[i] + found[i + 2]) / 2 - (expected[i] + expected[i + 2]) / 2) < 3 for i in (0, 1))
    axis = 0 if along_x else 1
    length = abs((found[axis + 2] - found[axis]) - (expected[axis + 2] - expected[axis])) < 3
    return centre and length


def page_contents(pdf: Path, password: str = "") -> list[bytes]:
    doc = pymupdf.open(pdf)
    if password:
        doc.authenticate(password)
    return [b"".join(doc.xref_stream(xref) for xref in page.get_contents()) for page in doc]


# --- placement and text -----------------------------------------------------------------------


@external
def test_scan_becomes_searchable_in_order_and_in_place(scan_docs: ScanDocuments, out_dir: Path) -> None:
    target = out_dir / "doc.pdf"
    # No enable_ocr: a searchable PDF always recognises.
    assert convert(scan_docs.english, target) == E.SUCCESS
    qpdf_check(target)
    truth = scan_docs.truth["english"][0]
    assert cer(pdftotext(target, "-raw"), truth.text) < 0.01
    found = bbox_words(target)
    assert [word for word, _ in found] == [word.text for word in truth.words]
    for (word, box), expected in zip(found, truth.words):
        # One- and two-letter words get rough boxes from the recogniser.
        assert len(word) < 3 or same_place(box, expected.box), (word, box, expected.box)


def turned_quarter(box: tuple[float, float, float, float], height: float) -> tuple[float, float, float, float]:
    """A box on the page as it was set, on the scan turned a quarter clockwise."""
    x0, y0, x1, y1 = box
    return (height - y1, x0, height - y0, x1)


@external
@pytest.mark.parametrize(
    ("document", "languages", "chinese", "limit"),
    [("rotated", [fc.OCRLanguage.ENGLISH], False, 0.01), ("hard", [fc.OCRLanguage.ENGLISH], False, 0.03),
     ("chinese", [fc.OCRLanguage.CHINESE], True, 0.03)],
)
def test_turned_skewed_and_chinese_scans(
    document: str, languages: list[fc.OCRLanguage], chinese: bool, limit: float, scan_docs: ScanDocuments,
    out_dir: Path
) -> None:
    target = out_dir / "doc.pdf"
    assert convert(getattr(scan_docs, document), target, languages=languages) == E.SUCCESS
    qpdf_check(target)
    truth = scan_docs.truth[document][0]
    assert cer(pdftotext(target, "-raw"), truth.text, chinese) < limit
    if document == "rotated":
        found = bbox_words(target)
        checked = 0
        for word in truth.words:
            places = [box for text, box in found if text == word.text]
            if len(word.text) >= 3 and places:
                expected = turned_quarter(word.box, 792)
                assert any(same_place(box, expected, along_x=False) for box in places), (word.text, places, expected)
                checked += 1
        assert checked > len(truth.words) / 2


# --- the original is kept -------------------------------------------------------------------


def test_output_is_the_input_plus_an_update(scan_docs: ScanDocuments, out_dir: Path) -> None:
    target = out_dir / "doc.pdf"
    assert convert(scan_docs.short, target) == E.SUCCESS
    original, written = scan_docs.short.read_bytes(), target.read_bytes()
    assert written.startswith(original)
    update = written[len(original):]
    assert b"/GlyphLessFont" in update and b"/ToUnicode" in update
    assert update.rstrip().endswith(b"%%EOF")


@pytest.mark.parametrize("document", ["structured", "ruled_table", "images"])
def test_document_with_text_is_copied_byte_for_byte(document: str, docs: Documents, out_dir: Path) -> None:
    source = getattr(docs, document)
    target = out_dir / "doc.pdf"
    assert convert(source, target, ocr_option=O.ALL) == E.SUCCESS
    assert target.read_bytes() == source.read_bytes()


@external
def test_page_with_text_keeps_it_and_its_contents(scan_docs: ScanDocuments, out_dir: Path) -> None:
    target = out_dir / "doc.pdf"
    assert convert(scan_docs.mixed, target, ocr_option=O.ALL) == E.SUCCESS
    qpdf_check(target)
    assert normalise(pdftotext(target, pages=(1, 1))) == DIGITAL_TEXT
    assert cer(pdftotext(target, "-raw", pages=(2, 2)), scan_docs.truth["english"][0].text) < 0.01
    before, after = page_contents(scan_docs.mixed), page_contents(target)
    assert after[0] == before[0]
    # The scanned page draws its old contents first, then the layer.
    assert before[1] in after[1] and after[1] != before[1]


@external
@pytest.mark.parametrize(("ranges", "layered"), [("1", []), ("2", [2]), ("", [2])])
def test_page_ranges_choose_the_pages_to_read(
    ranges: str, layered: list[int], scan_docs: ScanDocuments, out_dir: Path
) -> None:
    target = out_dir / "doc.pdf"
    assert convert(scan_docs.mixed, target, page_ranges=ranges) == E.SUCCESS
    assert pymupdf.open(target).page_count == 2
    if not layered:
        assert target.read_bytes() == scan_docs.mixed.read_bytes()
    texts = [pdftotext(target, pages=(page, page)) for page in (1, 2)]
    assert normalise(texts[0]) == DIGITAL_TEXT
    assert (cer(texts[1], scan_docs.truth["english"][0].text) < 0.01) == (2 in layered)


# --- invisible or shown -----------------------------------------------------------------------


@external
@pytest.mark.parametrize("transparent", [True, False])
def test_transparent_text_is_invisible_and_shown_text_is_not(
    transparent: bool, scan_docs: ScanDocuments, out_dir: Path, tmp_path: Path
) -> None:
    target = out_dir / "doc.pdf"
    assert convert(scan_docs.short, target, transparent_text=transparent) == E.SUCCESS
    qpdf_check(target)
    assert "Short scanned note for every writer" in " ".join(pdftotext(target).split())
    before = Image.open(render_page(scan_docs.short, 1, tmp_path / "before", width=800, gray=False))
    after = Image.open(render_page(target, 1, tmp_path / "after", width=800, gray=False))
    changed = ImageChops.difference(before.convert("RGB"), after.convert("RGB")).getbbox()
    if transparent:
        assert changed is None  # not one pixel differs
    else:
        # The shown words cover the scanned line.
        assert changed is not None
        x0, y0, x1, y1 = changed
        assert x1 - x0 > 200 and y1 - y0 < 80


# --- awkward inputs -----------------------------------------------------------------------


@external
def test_encrypted_input_stays_encrypted(scan_docs: ScanDocuments, out_dir: Path, tmp_path: Path) -> None:
    source = tmp_path / "locked.pdf"
    pymupdf.open(scan_docs.short).save(source, encryption=pymupdf.PDF_ENCRYPT_AES_256, owner_pw="owner",
                                       user_pw="user")
    target = out_dir / "doc.pdf"
    assert convert(source, target, password="user") == E.SUCCESS
    locked = pymupdf.open(target)
    assert locked.needs_pass and locked.authenticate("user")
    qpdf_check(target, password="user")
    assert "Short scanned note" in locked[0].get_text()


@external
def test_repaired_input_is_written_whole(scan_docs: ScanDocuments, out_dir: Path, tmp_path: Path) -> None:
    data = scan_docs.short.read_bytes()
    source = tmp_path / "no-xref.pdf"
    source.write_bytes(data[: data.rindex(b"xref")])  # objects intact, cross-reference table gone
    target = out_dir / "doc.pdf"
    assert convert(source, target) == E.SUCCESS
    qpdf_check(target)
    assert not target.read_bytes().startswith(source.read_bytes())
    assert "Short scanned note" in pdftotext(target)


@external
def test_invalid_characters_get_searchable_text(scan_docs: ScanDocuments, out_dir: Path) -> None:
    target = out_dir / "doc.pdf"
    assert convert(scan_docs.broken, target, ocr_option=O.INVALID_CHARACTER) == E.SUCCESS
    qpdf_check(target)
    assert "Broken mapping hides these words" in " ".join(pdftotext(target).split())


def test_cancelled_conversion_writes_nothing(scan_docs: ScanDocuments, out_dir: Path) -> None:
    callback = fc.ConvertCallback()
    calls: list[int] = []
    callback.set_progress(lambda done, total: calls.append(done))
    callback.set_cancel(lambda: bool(calls))
    assert convert(scan_docs.pages, out_dir / "doc.pdf", callback=callback) == E.CANCEL
    assert calls == [1]
    assert list(out_dir.iterdir()) == []


def test_wrong_password_is_refused(docs: Documents, out_dir: Path) -> None:
    assert convert(docs.encrypted, out_dir / "doc.pdf", password="nope") == E.PDF_PASSWORD_ERROR
    assert list(out_dir.iterdir()) == []
