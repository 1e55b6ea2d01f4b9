"""OCR through every text writer: scanned pages come back as their text
(character error rates against the text they were made from), turned and
skewed scans included; OCROption decides which pages and which text are
read; languages, script detection and missing trained data; parallel
engines give the serial result with progress and cancel on the caller's
thread; layout analysis decides the reading order of recognised text."""

from __future__ import annotations

import json
import re
import threading
import zipfile
from collections.abc import Iterator
from html import unescape
from pathlib import Path

import pytest

import FoliantConversion as fc
import reference_tools as rt
from conversions import FORMATS, output_text
from scans import BROKEN_BAD_LINE, BROKEN_GOOD_LINE, DIGITAL_TEXT, ScanDocuments, cer, normalise

E = fc.ErrorCode
L = fc.OCRLanguage
O = fc.OCROption
LM = fc.LibraryManager


def options(**fields: object) -> fc.ConvertOptions:
    record = fc.ConvertOptions()
    record.enable_ocr = True
    for name, value in fields.items():
        setattr(record, name, value)
    return record


def to_text(source: Path, folder: Path, name: str = "doc", **fields: object) -> tuple[fc.ErrorCode, str]:
    target = folder / f"{name}.txt"
    result = fc.FOLIConversion.start_pdf_to_txt(str(source), "", str(target), options(**fields))
    return result, target.read_text(encoding="utf-8") if target.exists() else ""


@pytest.fixture
def library_log(capfd: pytest.CaptureFixture[str]) -> Iterator[pytest.CaptureFixture[str]]:
    """The library's info log, read with capfd.readouterr().err."""
    LM.set_logger(True, True)
    capfd.readouterr()
    yield capfd
    LM.set_logger(False, False)


def recognised_pages(log: str) -> list[int]:
    return [int(page) for page in re.findall(r"page (\d+): \d+ recognised word", log)]


@pytest.fixture(autouse=True)
def one_engine() -> Iterator[None]:
    yield
    LM.set_document_ai_model_count(1, 1)


# --- accuracy -------------------------------------------------------------------------------


@pytest.mark.parametrize(
    ("document", "languages", "chinese", "limit"),
    [
        ("english", [L.ENGLISH], False, 0.01),
        ("chinese", [L.CHINESE], True, 0.03),
        ("hard", [L.ENGLISH], False, 0.03),          # 150 dpi, noise, skew
        ("rotated", [L.ENGLISH], False, 0.01),       # a quarter turn
        ("upside_down", [L.ENGLISH], False, 0.01),
        ("chinese", [L.AUTO], True, 0.03),           # script detection picks chi_sim
    ],
    ids=["english", "chinese", "150dpi-noise-skew", "rotated", "upside-down", "auto-chinese"],
)
def test_scanned_pages_read_as_their_text(
    scan_docs: ScanDocuments, out_dir: Path, document: str, languages: list[fc.OCRLanguage], chinese: bool,
    limit: float
) -> None:
    result, text = to_text(getattr(scan_docs, document), out_dir, languages=languages)
    assert result == E.SUCCESS
    truth = scan_docs.truth[document][0].text
    assert cer(text, truth, chinese) < limit, text


def test_reading_order_of_paragraphs_is_kept(scan_docs: ScanDocuments, out_dir: Path) -> None:
    result, text = to_text(scan_docs.english, out_dir)
    assert result == E.SUCCESS
    first, second = (normalise(p) for p in scan_docs.truth["english"][0].text.split("\n"))
    found = normalise(text)
    assert found.index(first[:40]) < found.index(second[:40])


def test_without_ocr_a_scan_has_no_text(scan_docs: ScanDocuments, out_dir: Path) -> None:
    result, text = to_text(scan_docs.short, out_dir, enable_ocr=False)
    assert result == E.SUCCESS
    assert text.strip() == ""


# --- every writer gets the recognised text --------------------------------------------------


def words_of(fmt: str, path: Path) -> str:
    text = output_text(path)
    if fmt == "json":
        return " ".join(span["text"] for page in json.loads(text)["pages"] for block in page["blocks"]
                        for line in block.get("lines", []) for span in line["spans"])
    return re.sub(r"<[^>]+>", " ", text)


@pytest.mark.parametrize("fmt", [fmt for fmt in FORMATS if fmt != "image"])
def test_every_text_writer_gets_recognised_text(fmt: str, scan_docs: ScanDocuments, out_dir: Path) -> None:
    entry, extension = FORMATS[fmt]
    target = out_dir / f"doc{extension}"
    assert entry(str(scan_docs.short), "", str(target), options()) == E.SUCCESS
    assert "Short scanned note for every writer" in " ".join(words_of(fmt, target).split())


OFD_OBJECT = re.compile(r"<ofd:(TextObject|ImageObject)([^>]*)>")
OFD_WORD = re.compile(r'<ofd:TextObject[^>]*Boundary="([^"]+)"[^>]*>.*?<ofd:TextCode[^>]*>([^<]*)</ofd:TextCode>')
MM = 25.4 / 72


def ofd_page(path: Path) -> str:
    with zipfile.ZipFile(path) as package:
        return package.read("Doc_0/Pages/Page_0/Content.xml").decode("utf-8")


@pytest.mark.parametrize("keep_scan", [True, False])
def test_ofd_places_recognised_words_over_the_scan(keep_scan: bool, scan_docs: ScanDocuments, out_dir: Path) -> None:
    target = out_dir / "doc.ofd"
    record = options(contain_page_background_image=keep_scan)
    assert fc.FOLIConversion.start_pdf_to_ofd(str(scan_docs.english), "", str(target), record) == E.SUCCESS
    page = ofd_page(target)
    objects = OFD_OBJECT.findall(page)
    images = [attributes for kind, attributes in objects if kind == "ImageObject"]
    texts = [attributes for kind, attributes in objects if kind == "TextObject"]
    # Kept, the scan is drawn first and the words go over it unseen;
    # left out, the words are what the page shows.
    assert len(images) == (1 if keep_scan else 0)
    assert objects[0][0] == ("ImageObject" if keep_scan else "TextObject")
    assert all(('Fill="false"' in attributes) == keep_scan for attributes in texts)
    words = [(unescape(text), [float(v) for v in box.split()]) for box, text in OFD_WORD.findall(page)]
    assert cer(" ".join(text for text, _ in words), scan_docs.truth["english"][0].text) < 0.01
    truth: dict[str, list[tuple[float, float, float, float]]] = {}
    for word in scan_docs.truth["english"][0].words:
        truth.setdefault(word.text, []).append(word.box)
    matched = 0
    for text, (x, y, w, h) in words:
        if text not in truth or len(text) < 4:
            continue
        x0, y0, x1, y1 = min(truth[text], key=lambda t: abs(t[0] * MM - x) + abs(t[1] * MM - y))
        # Boundaries in millimetres, grown a little round the ink.
        assert abs(x - x0 * MM) < 1 and abs(x + w - x1 * MM) < 1, (text, x, w)
        assert y < (y0 + y1) / 2 * MM < y + h, (text, y, h)
        matched += 1
    assert matched > 40


@pytest.mark.parametrize("document", ["rotated", "upside_down"])
def test_ofd_words_of_a_turned_scan_follow_its_lines(document: str, scan_docs: ScanDocuments, out_dir: Path) -> None:
    target = out_dir / "doc.ofd"
    assert fc.FOLIConversion.start_pdf_to_ofd(str(getattr(scan_docs, document)), "", str(target), options()) == E.SUCCESS
    page = ofd_page(target)
    words = [unescape(text) for _, text in OFD_WORD.findall(page)]
    assert cer(" ".join(words), scan_docs.truth[document][0].text) < 0.01
    # Upright on the page the words are not: each one carries the turn.
    texts = [attributes for kind, attributes in OFD_OBJECT.findall(page) if kind == "TextObject"]
    assert texts and all("CTM=" in attributes for attributes in texts)


def test_json_spans_carry_word_boxes_and_sizes(scan_docs: ScanDocuments, out_dir: Path) -> None:
    target = out_dir / "doc.json"
    assert fc.FOLIConversion.start_pdf_to_json(str(scan_docs.english), "", str(target), options()) == E.SUCCESS
    page = json.loads(target.read_text(encoding="utf-8"))["pages"][0]
    spans = [span for block in page["blocks"] for line in block.get("lines", []) for span in line["spans"]]
    truth: dict[str, list[tuple[float, float, float, float]]] = {}
    for word in scan_docs.truth["english"][0].words:
        truth.setdefault(word.text, []).append(word.box)
    matched = 0
    for span in spans:
        word = span["text"].strip()
        if word not in truth or len(word) < 4:
            continue
        box = span["box"]
        # The nearest place the word was set at (some words occur twice);
        # ink boxes and the font's boxes differ by the side bearings.
        x0, y0, x1, y1 = min(truth[word], key=lambda t: abs(t[0] - box[0]) + abs(t[1] - box[1]))
        assert abs(box[0] - x0) < 2 and abs(box[2] - x1) < 2, (word, box)
        assert y0 < (box[1] + box[3]) / 2 < y1, (word, box)
        assert 10 <= span["size"] <= 14, span  # set in 12 point
        matched += 1
    assert matched > 40


def test_image_conversion_never_starts_ocr(scan_docs: ScanDocuments, out_dir: Path,
                                           library_log: pytest.CaptureFixture[str]) -> None:
    target = out_dir / "doc.png"
    record = options(image_type=fc.ImageType.PNG, image_scaling=0.3)
    assert fc.FOLIConversion.start_pdf_to_image(str(scan_docs.short), "", str(target), record) == E.SUCCESS
    assert "OCR" not in library_log.readouterr().err


# --- OCROption --------------------------------------------------------------------------------


@pytest.mark.parametrize(
    ("option", "read"),
    [(O.SCAN_PAGE, [2]), (O.INVALID_CHARACTER_AND_SCAN_PAGE, [2]), (O.ALL, [1, 2]), (O.INVALID_CHARACTER, [])],
)
def test_ocr_option_picks_the_pages(
    option: fc.OCROption, read: list[int], scan_docs: ScanDocuments, out_dir: Path,
    library_log: pytest.CaptureFixture[str]
) -> None:
    result, text = to_text(scan_docs.mixed, out_dir, ocr_option=option)
    assert result == E.SUCCESS
    assert recognised_pages(library_log.readouterr().err) == read
    first, second = text.split("\f")[:2]
    # The page with a text layer keeps it exactly, whether it was read or not.
    assert normalise(first) == DIGITAL_TEXT
    if 2 in read:
        assert cer(second, scan_docs.truth["english"][0].text) < 0.01
    else:
        assert second.strip() == ""


@pytest.mark.parametrize(
    ("name", "scanned"),
    [("issue-203-decimalize.pdf", [1, 2, 3]), ("malformed-from-issue-932.pdf", [1]),
     ("scotus-transcript-p1.pdf", []), ("federal-register-2020-17221.pdf", [])],
)
def test_scan_page_reads_only_the_real_scans_of_the_corpus(
    name: str, scanned: list[int], out_dir: Path, library_log: pytest.CaptureFixture[str]
) -> None:
    folder = rt.corpus_dir()
    if folder is None:
        pytest.skip("no corpus")
    source = folder / name
    plain_result, plain = to_text(source, out_dir, "plain", enable_ocr=False)
    library_log.readouterr()
    result, text = to_text(source, out_dir, ocr_option=O.SCAN_PAGE)
    assert plain_result == result == E.SUCCESS
    assert recognised_pages(library_log.readouterr().err) == scanned
    for number, (before, after) in enumerate(zip(plain.split("\f"), text.split("\f")), start=1):
        if number in scanned:
            # At most a stamp of its own (a date, say), which stays.
            assert len(before.strip()) <= 40 and len(after.split()) >= 20
            assert all(word in after.split() for word in before.split())
        else:
            assert after == before  # pages with a text layer keep it as it is


@pytest.mark.parametrize(
    ("option", "fixed"),
    [(O.INVALID_CHARACTER, True), (O.ALL, True), (O.SCAN_PAGE, False)],
)
def test_invalid_characters_are_replaced_by_recognised_text(
    option: fc.OCROption, fixed: bool, scan_docs: ScanDocuments, out_dir: Path
) -> None:
    result, text = to_text(scan_docs.broken, out_dir, ocr_option=option)
    assert result == E.SUCCESS
    assert BROKEN_GOOD_LINE in text
    private_use = [c for c in text if 0xE000 <= ord(c) <= 0xF8FF]
    if fixed:
        assert BROKEN_BAD_LINE in " ".join(text.split())
        assert private_use == []
    else:
        assert len(private_use) == len(BROKEN_BAD_LINE)  # spaces included: the map covers every code


# --- languages --------------------------------------------------------------------------------


def test_missing_trained_data_fails_naming_the_file(
    scan_docs: ScanDocuments, out_dir: Path, library_log: pytest.CaptureFixture[str]
) -> None:
    if any(Path(folder, "tel.traineddata").exists() for folder in
           ["/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata"]):
        pytest.skip("Telugu trained data is installed here")
    result, text = to_text(scan_docs.short, out_dir, languages=[L.ENGLISH, L.TELUGU])
    assert result == E.OCR_FAILURE
    assert list(out_dir.iterdir()) == []
    assert "tel.traineddata" in library_log.readouterr().err


def test_languages_combine(scan_docs: ScanDocuments, out_dir: Path, library_log: pytest.CaptureFixture[str]) -> None:
    result, text = to_text(scan_docs.short, out_dir, languages=[L.CHINESE, L.ENGLISH, L.CHINESE])
    assert result == E.SUCCESS
    assert "with chi_sim+eng" in library_log.readouterr().err
    assert "Short scanned note" in text


@pytest.mark.parametrize("languages", [[], [L.UNKNOWN]], ids=["empty", "unknown"])
def test_no_language_means_english(
    languages: list[fc.OCRLanguage], scan_docs: ScanDocuments, out_dir: Path,
    library_log: pytest.CaptureFixture[str]
) -> None:
    result, _ = to_text(scan_docs.short, out_dir, languages=languages)
    assert result == E.SUCCESS
    assert "with eng " in library_log.readouterr().err


# --- layout analysis ------------------------------------------------------------------------


@pytest.mark.parametrize("ai_layout", [True, False])
def test_layout_analysis_decides_the_reading_order(ai_layout: bool, scan_docs: ScanDocuments, out_dir: Path) -> None:
    result, text = to_text(scan_docs.columns, out_dir, enable_ai_layout=ai_layout)
    assert result == E.SUCCESS
    found = normalise(text)
    left, right = (normalise(part) for part in scan_docs.truth["columns"][0].text.split("\n"))
    if ai_layout:
        # Column by column: all of the left one first.
        assert cer(found, left + " " + right) < 0.02
    else:
        # Plain lines across the page: the columns' lines interleave.
        assert found.index("Trains leave") < found.index("orchard behind")


# --- the scan picture -------------------------------------------------------------------------


@pytest.mark.parametrize("keep", [True, False])
def test_page_background_image_decides_whether_the_scan_stays(
    keep: bool, scan_docs: ScanDocuments, out_dir: Path
) -> None:
    target = out_dir / "doc.md"
    record = options(contain_page_background_image=keep)
    assert fc.FOLIConversion.start_pdf_to_markdown(str(scan_docs.short), "", str(target), record) == E.SUCCESS
    markdown = target.read_text(encoding="utf-8")
    assert "Short scanned note" in markdown
    assert ("![" in markdown) == keep
    assert (out_dir / "doc_files").exists() == keep


# --- parallel engines -------------------------------------------------------------------------


class Recorder:
    def __init__(self, cancel_after: int | None = None) -> None:
        self.progress: list[tuple[int, int]] = []
        self.threads: set[int] = set()
        self.cancel_after = cancel_after

    def callback(self) -> fc.ConvertCallback:
        callback = fc.ConvertCallback()
        callback.set_progress(self.on_progress)
        callback.set_cancel(self.on_cancel)
        return callback

    def on_progress(self, done: int, total: int) -> None:
        self.threads.add(threading.get_ident())
        self.progress.append((done, total))

    def on_cancel(self) -> bool:
        self.threads.add(threading.get_ident())
        return self.cancel_after is not None and len(self.progress) >= self.cancel_after


def test_parallel_engines_give_the_serial_text(scan_docs: ScanDocuments, out_dir: Path) -> None:
    outputs = {}
    for engines in (1, 2):
        LM.set_document_ai_model_count(engines, 1)
        recorder = Recorder()
        target = out_dir / f"doc{engines}.txt"
        result = fc.FOLIConversion.start_pdf_to_txt(str(scan_docs.pages), "", str(target), options(),
                                                    recorder.callback())
        assert result == E.SUCCESS
        assert recorder.progress == [(page, 4) for page in range(1, 5)]
        assert recorder.threads == {threading.get_ident()}
        outputs[engines] = target.read_text(encoding="utf-8")
    assert outputs[1] == outputs[2]
    pages = outputs[1].split("\f")
    for number, truth in enumerate(scan_docs.truth["pages"]):
        assert cer(pages[number], truth.text) < 0.02


@pytest.mark.parametrize("engines", [1, 2])
def test_cancel_stops_recognition_and_writes_nothing(engines: int, scan_docs: ScanDocuments, out_dir: Path) -> None:
    LM.set_document_ai_model_count(engines, 0)
    recorder = Recorder(cancel_after=1)
    target = out_dir / "doc.txt"
    result = fc.FOLIConversion.start_pdf_to_txt(str(scan_docs.pages), "", str(target), options(),
                                                recorder.callback())
    assert result == E.CANCEL
    assert recorder.progress == [(1, 4)]
    assert list(out_dir.iterdir()) == []


def test_counts_out_of_range_still_convert(scan_docs: ScanDocuments, out_dir: Path,
                                           library_log: pytest.CaptureFixture[str]) -> None:
    LM.set_document_ai_model_count(0, -3)
    result, text = to_text(scan_docs.short, out_dir)
    assert result == E.SUCCESS and "Short scanned note" in text
    assert "on up to 1 engine" in library_log.readouterr().err
