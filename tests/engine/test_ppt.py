"""PowerPoint: pages as slides. python-pptx reads every presentation back:
slide count and size, text boxes with the page's text (bag-of-words F1
against pdftotext on the real-world corpus), a paragraph's lines in one
text box, runs with their font, size, weight and colour, links, pictures
(JPEG bytes kept), tables, rules as shapes, the page's art as a picture,
titles from the outline and the document's properties. LibreOffice opens
every presentation, and its rendering of a slide looks like the page."""

from __future__ import annotations

from collections.abc import Callable, Iterator
from pathlib import Path
from typing import Any

import pytest

import FoliantConversion as fc
import documents as d
import slide_documents as s
from reference_tools import (
    bag_of_words_f1,
    corpus_dir,
    corpus_names,
    image_similarity,
    libreoffice_to_pdf,
    pdftotext,
    render_page,
    words,
)

pptx = pytest.importorskip("pptx")
from pptx.util import Emu  # noqa: E402

E = fc.ErrorCode
EMU_PER_POINT = 12700


def to_ppt(source: Path, output: Path, **fields: object) -> fc.ErrorCode:
    record = fc.ConvertOptions()
    for name, value in fields.items():
        setattr(record, name, value)
    return fc.FOLIConversion.start_pdf_to_ppt(str(source), "", str(output), record)


def shapes_of(slide: Any) -> Iterator[Any]:
    for shape in slide.shapes:
        yield shape


def slide_text(slide: Any) -> str:
    """Every text of a slide: its text boxes and its tables' cells."""
    pieces = []
    for shape in shapes_of(slide):
        if shape.has_text_frame:
            pieces.append(shape.text_frame.text)
        if getattr(shape, "has_table", False) and shape.has_table:
            pieces += [cell.text for row in shape.table.rows for cell in row.cells]
    return "\n".join(pieces)


def pictures(slide: Any, name: str | None = None) -> list[Any]:
    found = [shape for shape in shapes_of(slide) if shape.shape_type == pptx.enum.shapes.MSO_SHAPE_TYPE.PICTURE]
    return [shape for shape in found if name is None or shape.name.startswith(name)]


@pytest.fixture(scope="module")
def made(tmp_path_factory: pytest.TempPathFactory) -> Callable[[str], Path]:
    folder = tmp_path_factory.mktemp("ppt-sources")
    built: dict[str, Path] = {}

    def build(name: str) -> Path:
        if name not in built:
            path = folder / f"{name}.pdf"
            module = s if hasattr(s, f"make_{name}") else d
            getattr(module, f"make_{name}")(path)
            built[name] = path
        return built[name]

    return build


@pytest.fixture(scope="module")
def review(made: Callable[[str], Path], tmp_path_factory: pytest.TempPathFactory) -> Any:
    output = tmp_path_factory.mktemp("review") / "review.pptx"
    assert to_ppt(made("slides"), output) == E.SUCCESS
    return pptx.Presentation(str(output))


# ---------------------------------------------------------------- slides


def test_one_slide_per_page_at_the_first_page_size(review: Any) -> None:
    assert len(review.slides) == 3
    assert (review.slide_width, review.slide_height) == (Emu(595 * EMU_PER_POINT), Emu(842 * EMU_PER_POINT))


def test_smaller_page_is_fitted_and_centred(review: Any) -> None:
    (text,) = [shape for shape in review.slides[2].shapes if shape.has_text_frame]
    scale = 595 / s.SMALL_PAGE[0]
    assert text.left == pytest.approx(40 * scale * EMU_PER_POINT, rel=0.05)
    # The page's height scaled is less than the slide's: it sits in the middle.
    assert text.top > (842 - s.SMALL_PAGE[1] * scale) / 2 * EMU_PER_POINT


def test_paragraph_is_one_text_box_with_line_breaks(review: Any) -> None:
    boxes = [shape for shape in review.slides[0].shapes if shape.has_text_frame and "review covers" in shape.text_frame.text]
    assert len(boxes) == 1
    text = boxes[0].text_frame.text
    assert text.count("\x0b") >= 1  # python-pptx reads a:br as a vertical tab
    assert " ".join(text.replace("\x0b", " ").split()) == s.PARAGRAPH


def test_runs_keep_font_size_weight_and_colour(review: Any) -> None:
    runs = [run for shape in review.slides[0].shapes if shape.has_text_frame
            for paragraph in shape.text_frame.paragraphs for run in paragraph.runs]
    title = next(run for run in runs if run.text.strip() == s.TITLE)
    assert title.font.bold and title.font.size.pt == pytest.approx(24)
    red = next(run for run in runs if s.RED_WORD in run.text)
    assert red.font.bold and str(red.font.color.rgb) == "FF0000"
    italic = next(run for run in runs if "italic" in run.text)
    assert italic.font.italic and not italic.font.bold
    assert title.font.name == "Arial"  # Helvetica maps to a family PowerPoint knows


def test_links_are_on_their_text(review: Any) -> None:
    runs = [run for shape in review.slides[0].shapes if shape.has_text_frame
            for paragraph in shape.text_frame.paragraphs for run in paragraph.runs]
    linked = [run for run in runs if run.hyperlink.address]
    assert [(run.text.strip(), run.hyperlink.address) for run in linked] == [(s.LINK_TEXT, s.LINK_URI)]


def test_outline_titles_become_slide_titles(review: Any) -> None:
    assert review.slides[0].shapes.title.text == s.TITLE
    # The outline names "Art" for page 2, which has no such heading.
    assert review.slides[1].shapes.title is None


def test_document_properties_come_from_the_pdf(review: Any) -> None:
    properties = review.core_properties
    assert (properties.title, properties.author, properties.subject) == ("Review slides", "The tests", "Slides")


# ------------------------------------------------------------ graphics


def test_curves_are_rendered_behind_and_text_stays_text(review: Any) -> None:
    art = pictures(review.slides[1], "Page art")
    assert len(art) == 1
    assert (art[0].width, art[0].height) == (review.slide_width, review.slide_height)
    assert list(review.slides[1].shapes).index(art[0]) == 0  # behind everything
    assert s.ART_CAPTION in slide_text(review.slides[1])
    assert not pictures(review.slides[0], "Page art")  # text alone needs no picture


@pytest.mark.parametrize("ocr, background, expected", [(False, False, 1), (True, True, 1), (True, False, 0)])
def test_background_picture_follows_the_options(made: Callable[[str], Path], tmp_path: Path, ocr: bool,
                                                background: bool, expected: int) -> None:
    output = tmp_path / "out.pptx"
    assert to_ppt(made("slides"), output, enable_ocr=ocr, contain_page_background_image=background,
                  page_ranges="2") == E.SUCCESS
    assert len(pictures(pptx.Presentation(str(output)).slides[0], "Page art")) == expected


def test_images_are_pictures_with_their_jpeg_bytes(made: Callable[[str], Path], tmp_path: Path) -> None:
    output = tmp_path / "out.pptx"
    assert to_ppt(made("images"), output) == E.SUCCESS
    slide = pptx.Presentation(str(output)).slides[0]
    found = pictures(slide, "Picture")
    assert sorted(picture.image.content_type for picture in found) == ["image/jpeg", "image/png"]
    jpeg = next(picture for picture in found if picture.image.content_type == "image/jpeg")
    assert jpeg.image.blob[:2] == b"\xff\xd8"
    assert (jpeg.left, jpeg.top, jpeg.width) == (300 * EMU_PER_POINT, 100 * EMU_PER_POINT, 160 * EMU_PER_POINT)


def test_without_images_no_pictures(made: Callable[[str], Path], tmp_path: Path) -> None:
    output = tmp_path / "out.pptx"
    assert to_ppt(made("images"), output, contain_image=False) == E.SUCCESS
    assert not pictures(pptx.Presentation(str(output)).slides[0], "Picture")


def test_tables_are_tables_and_rules_are_shapes(made: Callable[[str], Path], tmp_path: Path) -> None:
    output = tmp_path / "out.pptx"
    assert to_ppt(made("ruled_table"), output) == E.SUCCESS
    slide = pptx.Presentation(str(output)).slides[0]
    (table,) = [shape.table for shape in slide.shapes if shape.has_table]
    assert [[cell.text for cell in row.cells] for row in table.rows] == [d.TABLE_HEADER, *d.TABLE_ROWS]
    rules = [shape for shape in slide.shapes if shape.name.startswith("Rule")]
    assert len(rules) >= 9  # 4 vertical and 5 horizontal rules
    assert not pictures(slide, "Page art")  # nothing left for a picture


def test_merged_table_cells_are_merged(made: Callable[[str], Path], tmp_path: Path) -> None:
    output = tmp_path / "out.pptx"
    assert to_ppt(made("merged_table"), output) == E.SUCCESS
    (table,) = [shape.table for shape in pptx.Presentation(str(output)).slides[0].shapes if shape.has_table]
    assert table.cell(0, 0).is_merge_origin and table.cell(0, 0).span_height == 2
    assert table.cell(0, 1).is_merge_origin and table.cell(0, 1).span_width == 2
    assert table.cell(1, 0).is_spanned and table.cell(0, 2).is_spanned


def test_one_presentation_per_page_at_its_own_size(made: Callable[[str], Path], tmp_path: Path) -> None:
    output = tmp_path / "out.pptx"
    assert to_ppt(made("slides"), output, output_document_per_page=True) == E.SUCCESS
    files = sorted((tmp_path / "out").iterdir())
    assert [path.name for path in files] == ["out_1.pptx", "out_2.pptx", "out_3.pptx"]
    small = pptx.Presentation(str(files[2]))
    assert len(small.slides) == 1
    assert (small.slide_width, small.slide_height) == tuple(side * EMU_PER_POINT for side in s.SMALL_PAGE)


# -------------------------------------------------------------- corpus


def corpus_words(name: str, folder: Path) -> tuple[list[str], list[str], list[str]]:
    """The words of a corpus document: in our slides, in our text output,
    and in pdftotext's."""
    source = corpus_dir()
    assert source is not None
    pdf = source / name
    slides, text = folder / "out.pptx", folder / "out.txt"
    assert to_ppt(pdf, slides) == E.SUCCESS
    assert fc.FOLIConversion.start_pdf_to_txt(str(pdf), "", str(text), fc.ConvertOptions()) == E.SUCCESS
    presentation = pptx.Presentation(str(slides))
    found = "\n".join(slide_text(slide) for slide in presentation.slides)
    return words(found), words(text.read_text(encoding="utf-8")), words(pdftotext(pdf))


@pytest.fixture(scope="module")
def corpus_figures() -> dict[str, tuple[list[str], list[str], list[str]]]:
    return {}


@pytest.mark.parametrize("name", corpus_names())
def test_corpus_slides_hold_the_page_text(name: str, tmp_path: Path,
                                          corpus_figures: dict[str, tuple[list[str], list[str], list[str]]]) -> None:
    """Each document's slides hold its text as well as the text output
    does (where pdftotext itself reads a page wrongly, mirrored or
    misordered text, neither reaches 0.97 against it)."""
    slides, text, reference = corpus_words(name, tmp_path)
    corpus_figures[name] = (slides, text, reference)
    assert bag_of_words_f1(slides, reference) >= min(0.97, bag_of_words_f1(text, reference) - 0.005)


def test_corpus_slides_text_f1_over_the_corpus(corpus_figures: dict[str, tuple[list[str], list[str], list[str]]],
                                               tmp_path: Path) -> None:
    names = corpus_names()
    if not names:
        pytest.skip("the real-world corpus is not here")
    for name in names:
        if name not in corpus_figures:
            corpus_figures[name] = corpus_words(name, tmp_path)
    slides = [word for name in names for word in corpus_figures[name][0]]
    reference = [word for name in names for word in corpus_figures[name][2]]
    assert bag_of_words_f1(slides, reference) >= 0.97


# --------------------------------------------------------- LibreOffice

SIMILAR = ["slides", "ruled_table", "images", "structured", "merged_table"]
MIN_SIMILARITY = 0.9


@pytest.fixture(scope="module")
def rendered(made: Callable[[str], Path], tmp_path_factory: pytest.TempPathFactory) -> dict[str, tuple[Path, Path]]:
    """The test documents as presentations, converted to PDF by
    LibreOffice in one run: name -> (source PDF, LibreOffice's PDF)."""
    folder = tmp_path_factory.mktemp("ppt-office")
    presentations = {}
    for name in SIMILAR:
        output = folder / f"{name}.pptx"
        assert to_ppt(made(name), output) == E.SUCCESS
        presentations[name] = output
    converted = libreoffice_to_pdf(list(presentations.values()), folder / "pdf")
    assert sorted(converted) == sorted(presentations.values())
    return {name: (made(name), converted[path]) for name, path in presentations.items()}


@pytest.mark.external
@pytest.mark.parametrize("name", SIMILAR)
def test_libreoffice_slides_look_like_the_pages(rendered: dict[str, tuple[Path, Path]], name: str,
                                                tmp_path: Path) -> None:
    source, office = rendered[name]
    pages = pdftotext(source).count("\f")
    assert pdftotext(office).count("\f") == pages
    for page in range(1, pages + 1):
        if name == "slides" and page == 3:
            continue  # fitted into a slide of another shape: not the same picture
        similarity = image_similarity(render_page(source, page, tmp_path / "source"),
                                      render_page(office, page, tmp_path / "office"))
        assert similarity >= MIN_SIMILARITY, f"{name} page {page}: {similarity:.3f}"
