"""OFD output: the package's parts and references, text placed glyph for
glyph, paths, clips, pictures, fonts carried over, links, the outline and
the document information, checked by reading the package back; and an
independent reader (easyofd) that parses and draws what we write, on our
documents and on the real-world corpus."""

from __future__ import annotations

import io
import statistics
import sys
from pathlib import Path

import pymupdf
import pytest
from fontTools.ttLib import TTFont
from PIL import Image

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

import FoliantConversion as fc  # noqa: E402
import ofd_documents as od  # noqa: E402
import reference_tools as rt  # noqa: E402
from documents import LINK_URI, OUTLINE, Documents, make_many_pages  # noqa: E402
from ofd_package import NS, MM_PER_POINT, OfdPackage, deltas, numbers, tag  # noqa: E402

TOLERANCE_MM = 0.1


def convert(source: Path, output: Path, **fields: object) -> fc.ErrorCode:
    options = fc.ConvertOptions()
    for name, value in fields.items():
        setattr(options, name, value)
    return fc.FOLIConversion.start_pdf_to_ofd(str(source), "", str(output), options)


def to_page_mm(x: float, y: float, page_height: float = od.PAGE_HEIGHT) -> tuple[float, float]:
    """PDF user space (points, y up) to OFD page space (mm, y down)."""
    return x * MM_PER_POINT, (page_height - y) * MM_PER_POINT


@pytest.fixture(scope="module")
def sources(tmp_path_factory: pytest.TempPathFactory, docs: Documents) -> dict[str, Path]:
    folder = tmp_path_factory.mktemp("ofd-sources")
    made = {"drawing": folder / "drawing.pdf", "fonts": folder / "fonts.pdf", "soft_mask": folder / "soft_mask.pdf",
            "metadata": folder / "metadata.pdf"}
    od.make_drawing(made["drawing"])
    od.make_fonts(made["fonts"])
    with pymupdf.open() as doc:
        page = doc.new_page()
        rgba = Image.new("RGBA", (40, 30), (200, 0, 0, 255))
        rgba.putalpha(Image.linear_gradient("L").resize((40, 30)))
        png = io.BytesIO()
        rgba.save(png, "PNG")
        page.insert_image(pymupdf.Rect(72, 72, 272, 222), stream=png.getvalue())
        doc.save(made["soft_mask"])
    with pymupdf.open() as doc:
        doc.new_page().insert_text((72, 72), "Described", fontsize=12)
        doc.set_metadata({"title": "Annual Figures", "author": "Ada Writer", "subject": "Numbers",
                          "keywords": "finance, yearly;figures", "creationDate": "D:20210315093000+01'00'"})
        doc.save(made["metadata"])
    sample = Path(__file__).resolve().parents[2] / "samples" / "sample.pdf"
    return {**made, "sample": sample, "images": docs.images, "links": docs.links, "outline": docs.outline,
            "structured": docs.structured, "ruled_table": docs.ruled_table, "columns": docs.columns,
            "shapes": docs.shapes, "special_text": docs.special_text}


@pytest.fixture(scope="module")
def packages(sources: dict[str, Path], tmp_path_factory: pytest.TempPathFactory) -> dict[str, OfdPackage]:
    folder = tmp_path_factory.mktemp("ofd")
    out = {}
    for name, source in sources.items():
        output = folder / f"{name}.ofd"
        assert convert(source, output) == fc.ErrorCode.SUCCESS, name
        out[name] = OfdPackage(output)
    return out


@pytest.mark.parametrize("name", ["sample", "drawing", "fonts", "soft_mask", "metadata", "images", "links", "outline",
                                  "structured", "ruled_table", "columns", "shapes", "special_text"])
def test_every_part_parses_and_every_reference_holds(packages: dict[str, OfdPackage], name: str) -> None:
    package = packages[name]
    assert package.problems() == []
    # Nothing in the archive that no part names.
    named = {"OFD.xml", str(package.root)} | {package.resource_path(package.public_res, f.findtext("ofd:FontFile", namespaces=NS))
                                             for f in package.fonts.values() if f.find("ofd:FontFile", NS) is not None}
    named |= {package.resource_path(package.document_res, m.findtext("ofd:MediaFile", namespaces=NS))
              for m in package.media.values()}
    parts = {name for name in package.names if name.endswith(".xml")}
    assert package.names - parts <= named


def test_document_information_comes_from_the_metadata(packages: dict[str, OfdPackage]) -> None:
    info = packages["metadata"].ofd.find("ofd:DocBody/ofd:DocInfo", NS)
    assert info.findtext("ofd:Title", namespaces=NS) == "Annual Figures"
    assert info.findtext("ofd:Author", namespaces=NS) == "Ada Writer"
    assert info.findtext("ofd:Subject", namespaces=NS) == "Numbers"
    assert info.findtext("ofd:CreationDate", namespaces=NS) == "2021-03-15"
    assert [k.text for k in info.iterfind("ofd:Keywords/ofd:Keyword", NS)] == ["finance", "yearly", "figures"]
    assert len(info.findtext("ofd:DocID", namespaces=NS)) == 32


def test_page_area_is_the_pdf_page_in_millimetres(packages: dict[str, OfdPackage]) -> None:
    page = packages["drawing"].pages[0][1]
    box = numbers(page.findtext("ofd:Area/ofd:PhysicalBox", namespaces=NS))
    assert box == pytest.approx([0, 0, od.PAGE_WIDTH * MM_PER_POINT, od.PAGE_HEIGHT * MM_PER_POINT], abs=0.001)


def test_glyphs_sit_where_the_pdf_puts_them(packages: dict[str, OfdPackage]) -> None:
    placed = [(char, pos) for text in packages["drawing"].texts() if text.visible and text.element.get("CTM") is None
              for char, pos in zip(text.text, text.positions)]
    assert [char for char, _ in placed] == [char for char, _, _ in od.PLACED]
    for (char, (x, y)), (_, px, py) in zip(placed, od.PLACED):
        ex, ey = to_page_mm(px, py)
        assert abs(x - ex) <= TOLERANCE_MM and abs(y - ey) <= TOLERANCE_MM, (char, x, y, ex, ey)
    sizes = [text.size for text in packages["drawing"].texts() if text.text in ("Placed", "Wide")]
    assert sizes == pytest.approx([od.PLACED_SIZE * MM_PER_POINT] * 2, abs=0.001)


def test_gaps_between_glyphs_split_the_words(packages: dict[str, OfdPackage]) -> None:
    words = [text.text for text in packages["drawing"].texts() if text.visible and text.element.get("CTM") is None]
    assert words == ["Placed", "Wide", "r"]


def test_rotated_text_turns_through_its_ctm(packages: dict[str, OfdPackage]) -> None:
    (rotated,) = [text for text in packages["drawing"].texts() if text.text == od.ROTATED]
    a, b, c, d, _, _ = numbers(rotated.element.get("CTM"))
    assert (a, b, c, d) == pytest.approx((0, -1, 1, 0), abs=0.001)  # reading upwards on the page
    assert rotated.positions[0] == pytest.approx(to_page_mm(*od.ROTATED_AT), abs=TOLERANCE_MM)
    assert rotated.positions[-1][1] < rotated.positions[0][1]


def test_invisible_text_stays_invisible_and_searchable(packages: dict[str, OfdPackage]) -> None:
    hidden = [text for text in packages["drawing"].texts() if not text.visible]
    assert " ".join(text.text for text in hidden) == od.HIDDEN
    assert all(text.element.find("ofd:FillColor", NS) is None for text in hidden)


def paths(package: OfdPackage) -> list:
    return list(package.pages[0][1].iter(tag("PathObject")))


def test_strokes_keep_colour_width_and_dashes(packages: dict[str, OfdPackage]) -> None:
    (line,) = [p for p in paths(packages["drawing"]) if p.get("DashPattern")]
    assert line.find("ofd:StrokeColor", NS).get("Value") == "255 0 0"
    assert float(line.get("LineWidth")) == pytest.approx(2 * MM_PER_POINT, abs=0.001)
    assert deltas(line.get("DashPattern")) == pytest.approx([6 * MM_PER_POINT, 3 * MM_PER_POINT], abs=0.001)
    data = line.findtext("ofd:AbbreviatedData", namespaces=NS).split()
    assert data[0] == "M" and data[3] == "L"
    bx, by, _, _ = numbers(line.get("Boundary"))
    start = (bx + float(data[1]), by + float(data[2]))
    assert start == pytest.approx(to_page_mm(50, 350), abs=0.01)


def test_fills_keep_curves_and_the_even_odd_rule(packages: dict[str, OfdPackage]) -> None:
    (shape,) = [p for p in paths(packages["drawing"]) if p.get("Rule") == "Even-Odd"]
    assert shape.get("Fill") == "true" and shape.get("Stroke") == "false"
    assert shape.find("ofd:FillColor", NS).get("Value") == "0 0 255"
    commands = [token for token in shape.findtext("ofd:AbbreviatedData", namespaces=NS).split() if token.isalpha()]
    assert commands.count("B") == 1 and commands.count("M") == 2 and commands.count("C") == 2


def test_clips_go_with_the_objects_they_cut(packages: dict[str, OfdPackage]) -> None:
    (square,) = [p for p in paths(packages["drawing"]) if p.find("ofd:FillColor", NS) is not None
                 and p.find("ofd:FillColor", NS).get("Value") == "0 128 0"]
    clip = square.find("ofd:Clips/ofd:Clip/ofd:Area/ofd:Path", NS)
    assert clip is not None
    bx, by, _, _ = numbers(square.get("Boundary"))
    values = [float(v) for v in clip.findtext("ofd:AbbreviatedData", namespaces=NS).split() if not v.isalpha()]
    xs, ys = [bx + v for v in values[0::2]], [by + v for v in values[1::2]]
    assert (min(xs), max(xs)) == pytest.approx((200 * MM_PER_POINT, 250 * MM_PER_POINT), abs=0.01)
    assert (min(ys), max(ys)) == pytest.approx((250 * MM_PER_POINT, 300 * MM_PER_POINT), abs=0.01)


def test_shadings_become_pictures_of_the_clipped_area(packages: dict[str, OfdPackage]) -> None:
    package = packages["drawing"]
    (shade,) = list(package.pages[0][1].iter(tag("ImageObject")))
    assert package.media[shade.get("ResourceID")].get("Format") == "PNG"
    x, y, w, h = numbers(shade.get("Boundary"))
    assert (x, y, x + w, y + h) == pytest.approx((*to_page_mm(50, 110), *to_page_mm(350, 50)), abs=0.5)
    with Image.open(io.BytesIO(package.media_file(shade.get("ResourceID")))) as picture:
        left, right = picture.convert("RGB").getpixel((1, picture.height // 2)), picture.convert("RGB").getpixel(
            (picture.width - 2, picture.height // 2))
    assert left[0] > 200 and left[2] < 60 and right[2] > 200 and right[0] < 60  # yellow to blue


def font_of(package: OfdPackage, text: str):
    (found,) = [t for t in package.texts() if t.text == text]
    return found, package.fonts[found.font]


def glyph_ids(text) -> list[int]:
    return [int(g) for g in text.element.findtext("ofd:CGTransform/ofd:Glyphs", namespaces=NS).split()]


def test_truetype_programs_go_in_as_they_are(packages: dict[str, OfdPackage]) -> None:
    package = packages["fonts"]
    text, font = font_of(package, "AB")
    assert font.get("FontName") == "TestTrue"
    assert package.font_file(text.font) == od.truetype_program()
    assert glyph_ids(text) == [1, 2]


@pytest.mark.external
def test_cff_programs_are_rebuilt_as_truetype_with_their_glyph_ids(packages: dict[str, OfdPackage]) -> None:
    package = packages["fonts"]
    text, font = font_of(package, "BA")
    assert font.findtext("ofd:FontFile", namespaces=NS).endswith(".ttf")
    assert glyph_ids(text) == [2, 1]
    rebuilt = TTFont(io.BytesIO(package.font_file(text.font)))
    glyf = rebuilt["glyf"]
    order = rebuilt.getGlyphOrder()
    for gid, name in ((1, "A"), (2, "B")):
        glyph = glyf[order[gid]]
        xs = [x for contour in od.OUTLINES[name] for x, _ in contour]
        ys = [y for contour in od.OUTLINES[name] for _, y in contour]
        assert (glyph.xMin, glyph.yMin, glyph.xMax, glyph.yMax) == (min(xs), min(ys), max(xs), max(ys))
        assert glyph.numberOfContours == len(od.OUTLINES[name])
        assert rebuilt["hmtx"][order[gid]][0] == 600
    assert rebuilt.getBestCmap() == {ord("A"): order[1], ord("B"): order[2]}


@pytest.mark.external
def test_type1_programs_of_a_real_document_are_rebuilt_with_every_glyph_used(tmp_path: Path) -> None:
    folder = rt.corpus_dir()
    if folder is None:
        pytest.skip("the real-world corpus is not here (set FOLI_CORPUS)")
    assert convert(folder / "issue-33-lorem-ipsum.pdf", tmp_path / "doc.ofd") == fc.ErrorCode.SUCCESS
    package = OfdPackage(tmp_path / "doc.ofd")
    used: dict[str, set[int]] = {}
    for number in range(len(package.pages)):
        for text in package.texts(number):
            for glyphs in text.element.iterfind("ofd:CGTransform/ofd:Glyphs", NS):
                used.setdefault(text.font, set()).update(int(g) for g in glyphs.text.split())
    rebuilt = [font_id for font_id, font in package.fonts.items() if "LMRoman" in font.get("FontName")]
    assert rebuilt and all(font_id in used for font_id in rebuilt)
    for font_id in rebuilt:
        font = TTFont(io.BytesIO(package.font_file(font_id)))
        order = font.getGlyphOrder()
        empty = [gid for gid in used[font_id] if font["glyf"][order[gid]].numberOfContours == 0]
        assert len(empty) <= 1, empty  # the space, at most
        assert font.getBestCmap(), "a cmap for readers that look glyphs up by character"


def test_type3_text_is_drawn_as_graphics_and_kept_as_invisible_text(packages: dict[str, OfdPackage]) -> None:
    package = packages["fonts"]
    text, font = font_of(package, "A")
    assert not text.visible and font.find("ofd:FontFile", NS) is None
    green = [p for p in paths(package) if (fill := p.find("ofd:FillColor", NS)) is not None
             and fill.get("Value") == "0 128 0"]
    assert len(green) == 1
    x, y, w, h = numbers(green[0].get("Boundary"))
    # The glyph's square: 100..900 of a 1000-unit em at 40 pt, from (50, 200).
    assert (x, y + h) == pytest.approx(to_page_mm(50 + 4, 200), abs=0.05)
    assert w == pytest.approx(32 * MM_PER_POINT, abs=0.05)


def test_jpeg_pictures_keep_their_bytes_and_others_become_png(packages: dict[str, OfdPackage],
                                                             sources: dict[str, Path]) -> None:
    package = packages["images"]
    formats = sorted(package.media[obj.get("ResourceID")].get("Format")
                     for obj in package.pages[0][1].iter(tag("ImageObject")))
    assert formats == ["JPEG", "PNG"]
    with pymupdf.open(sources["images"]) as doc:
        jpegs = [doc.extract_image(xref[0])["image"] for xref in doc[0].get_images() if
                 doc.extract_image(xref[0])["ext"] in ("jpg", "jpeg")]
    (jpeg_id,) = [media_id for media_id, media in package.media.items() if media.get("Format") == "JPEG"]
    assert package.media_file(jpeg_id) == jpegs[0]


def test_soft_masks_become_the_pictures_alpha(packages: dict[str, OfdPackage]) -> None:
    package = packages["soft_mask"]
    (obj,) = list(package.pages[0][1].iter(tag("ImageObject")))
    with Image.open(io.BytesIO(package.media_file(obj.get("ResourceID")))) as picture:
        assert picture.mode in ("RGBA", "LA")
        alpha = picture.getchannel("A")
        assert alpha.getpixel((0, 0)) < 30 and alpha.getpixel((0, picture.height - 1)) > 225
    a, b, c, d, _, _ = numbers(obj.get("CTM"))
    assert (a, d) == pytest.approx((200 * MM_PER_POINT, 150 * MM_PER_POINT), abs=0.01)


def test_links_become_actions_and_the_outline_goes_to_pages(packages: dict[str, OfdPackage]) -> None:
    links = packages["links"]
    actions = links.pages[0][1].findall("ofd:Actions/ofd:Action", NS)
    uris = [a.find("ofd:URI", NS).get("URI") for a in actions if a.find("ofd:URI", NS) is not None]
    gotos = [a.find("ofd:Goto/ofd:Dest", NS).get("PageID") for a in actions if a.find("ofd:Goto", NS) is not None]
    assert uris == [LINK_URI] and gotos == [links.pages[1][0]]
    assert all(a.find("ofd:Region/ofd:Area", NS) is not None for a in actions)

    outline = packages["outline"]
    page_ids = [page_id for page_id, _ in outline.pages]
    entries = []

    def walk(element, level: int) -> None:
        for item in element.iterfind("ofd:OutlineElem", NS):
            dest = item.find("ofd:Actions/ofd:Action/ofd:Goto/ofd:Dest", NS)
            entries.append((level, item.get("Title"), page_ids.index(dest.get("PageID")) + 1))
            walk(item, level + 1)

    walk(outline.document.find("ofd:Outlines", NS), 1)
    assert entries == OUTLINE


@pytest.mark.parametrize("fields, expect", [
    ({"contain_image": False}, {"images": 0}),
    ({"transparent_text": True}, {"visible_text": 0}),
    ({"contain_annotation": False}, {"actions": 0}),
])  # fmt: skip
def test_options_leave_out_what_they_say(sources: dict[str, Path], tmp_path: Path, fields: dict, expect: dict) -> None:
    source = sources["links"] if "contain_annotation" in fields else sources["images"]
    assert convert(source, tmp_path / "doc.ofd", **fields) == fc.ErrorCode.SUCCESS
    package = OfdPackage(tmp_path / "doc.ofd")
    page = package.pages[0][1]
    found = {"images": len(list(page.iter(tag("ImageObject")))),
             "visible_text": sum(t.visible for t in package.texts()),
             "actions": len(page.findall("ofd:Actions/ofd:Action", NS))}
    assert {key: found[key] for key in expect} == expect
    assert package.texts(), "the text itself stays"


def test_page_ranges_and_one_document_per_page(tmp_path: Path) -> None:
    source = tmp_path / "pages.pdf"
    make_many_pages(source, 4)
    assert convert(source, tmp_path / "picked.ofd", page_ranges="3,1") == fc.ErrorCode.SUCCESS
    picked = OfdPackage(tmp_path / "picked.ofd")
    assert [t.split()[:2] for t in picked.text().split("\n")] == [["Page", "3"], ["Page", "1"]]
    assert convert(source, tmp_path / "each.ofd", page_ranges="2-3", output_document_per_page=True) == \
        fc.ErrorCode.SUCCESS
    files = sorted((tmp_path / "each").glob("*.ofd"))
    assert [f.name for f in files] == ["each_2.ofd", "each_3.ofd"]
    for number, file in zip((2, 3), files):
        single = OfdPackage(file)
        assert len(single.pages) == 1 and single.problems() == []
        assert single.text().split()[:2] == ["Page", str(number)]


# ---------------------------------------------------------------- easyofd

OUR_DOCUMENTS = ["sample", "drawing", "fonts", "soft_mask", "images", "links", "outline", "structured",
                 "ruled_table", "columns", "shapes", "special_text"]


@pytest.fixture(scope="module")
def easyofd_reads(packages: dict[str, OfdPackage], tmp_path_factory: pytest.TempPathFactory) -> dict[str, dict]:
    read = rt.read_ofd([packages[name].path for name in OUR_DOCUMENTS], tmp_path_factory.mktemp("easyofd"))
    return {name: read[packages[name].path] for name in OUR_DOCUMENTS}


@pytest.mark.external
@pytest.mark.parametrize("name", OUR_DOCUMENTS)
def test_easyofd_reads_and_draws_our_documents(easyofd_reads: dict[str, dict], packages: dict[str, OfdPackage],
                                               name: str) -> None:
    read = easyofd_reads[name]
    assert "error" not in read, read.get("trace")
    assert len(read["pages"]) == len(packages[name].pages)
    ours = rt.words(packages[name].text())
    assert rt.bag_of_words_f1(rt.words(" ".join(" ".join(p["texts"]) for p in read["pages"])), ours) == 1.0
    assert Path(read["pdf"]).stat().st_size > 0


@pytest.fixture(scope="module")
def corpus_reads(tmp_path_factory: pytest.TempPathFactory) -> list[tuple[Path, dict, Path]]:
    """Every corpus document converted, then read and drawn by easyofd."""
    documents = rt.corpus_documents()
    folder = tmp_path_factory.mktemp("ofd-corpus")
    outputs = {}
    for pdf in documents:
        outputs[pdf] = folder / (pdf.stem + ".ofd")
        assert convert(pdf, outputs[pdf]) == fc.ErrorCode.SUCCESS, pdf.name
    read = rt.read_ofd(list(outputs.values()), folder / "easyofd")
    return [(pdf, read[outputs[pdf]], folder) for pdf in documents]


@pytest.mark.external
def test_easyofd_text_matches_pdftotext_on_the_corpus(corpus_reads: list[tuple[Path, dict, Path]]) -> None:
    found, expected = [], []
    for pdf, read, _ in corpus_reads:
        assert "error" not in read, (pdf.name, read.get("trace"))
        found += rt.words(" ".join(" ".join(p["texts"]) for p in read["pages"]))
        expected += rt.words(rt.pdftotext(pdf))
    assert rt.bag_of_words_f1(found, expected) >= 0.97


@pytest.mark.external
def test_easyofd_draws_the_corpus_like_pdftoppm(corpus_reads: list[tuple[Path, dict, Path]]) -> None:
    similarities = {}
    for pdf, read, folder in corpus_reads:
        reference = rt.render_page(pdf, 1, folder / "reference")
        with pymupdf.open(read["pdf"]) as drawn:
            pages = drawn.page_count
        if pages:
            ours = rt.render_page(Path(read["pdf"]), 1, folder / "drawn")
        else:  # easyofd writes no page for a page with nothing on it
            ours = folder / f"{pdf.stem}-blank.png"
            Image.new("L", (400, 400), 255).save(ours)
        similarities[pdf.name] = rt.image_similarity(reference, ours)
    assert statistics.mean(similarities.values()) >= 0.97, similarities
    assert min(similarities.values()) >= 0.85, similarities
