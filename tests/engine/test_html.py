"""HTML output through the module: every mode parses as strict HTML5, and
the markup carries the documents' structure, links, images, positions and
text."""

from __future__ import annotations

import re
import shutil
import subprocess
import urllib.parse
import xml.etree.ElementTree as ET
from collections import Counter
from pathlib import Path
from typing import Any

import FoliantConversion as fc
import html5lib
import pymupdf
import pytest
from PIL import Image

import documents
from documents import Documents

HtmlOption = fc.HtmlOption
FLOW = fc.PageLayoutMode.FLOW
BOX = fc.PageLayoutMode.BOX
ALL_MODES = [
    HtmlOption.SINGLE_PAGE,
    HtmlOption.SINGLE_PAGE_WITH_BOOKMARK,
    HtmlOption.MULTIPLE_PAGE,
    HtmlOption.MULTIPLE_PAGE_WITH_BOOKMARK,
]
PER_PAGE_MODES = {HtmlOption.MULTIPLE_PAGE, HtmlOption.MULTIPLE_PAGE_WITH_BOOKMARK}


# ---------------------------------------------------------------- helpers


def convert(source: Path, output: Path, **fields: Any) -> fc.ErrorCode:
    options = fc.ConvertOptions()
    for name, value in fields.items():
        setattr(options, name, value)
    return fc.FOLIConversion.start_pdf_to_html(str(source), "", str(output), options)


def convert_ok(source: Path, output: Path, **fields: Any) -> None:
    assert convert(source, output, **fields) == fc.ErrorCode.SUCCESS


def parse(path: Path) -> ET.Element:
    """Parses strictly: any HTML5 parse error (stray tag, bad nesting,
    control character) raises. The file must be valid UTF-8."""
    parser = html5lib.HTMLParser(strict=True, tree=html5lib.getTreeBuilder("etree", ET), namespaceHTMLElements=False)
    root: ET.Element = parser.parse(path.read_text(encoding="utf-8"))
    return root


def text_of(element: ET.Element) -> str:
    return " ".join("".join(element.itertext()).split())


def find_all(root: ET.Element, tag: str, css_class: str | None = None) -> list[ET.Element]:
    found = root.iter(tag)
    return [e for e in found if css_class is None or css_class in (e.get("class") or "").split()]


def pages_of(root: ET.Element) -> list[ET.Element]:
    return [e for e in root.iter() if "page" in (e.get("class") or "").split() and e.tag in ("section", "div")]


def page_files(folder: Path, stem: str) -> list[Path]:
    return sorted(folder.glob(f"{stem}_*.html"), key=lambda p: int(p.stem.rsplit("_", 1)[1]))


def target(html_file: Path, reference: str) -> Path:
    return (html_file.parent / urllib.parse.unquote(reference)).resolve()


def style_of(element: ET.Element) -> dict[str, str]:
    pairs = (item.split(":", 1) for item in (element.get("style") or "").split(";") if ":" in item)
    return {key.strip(): value.strip() for key, value in pairs}


def points(value: str) -> float:
    assert value.endswith("pt"), value
    return float(value[:-2])


MARKER = re.compile(r"[\u2022\u00b7*\-\u2013]|\d+[.)]")


def words(text: str) -> list[str]:
    """The words of a text, without list markers, which the reflowed
    output turns into list numbering."""
    return [word for word in text.split() if not MARKER.fullmatch(word)]


# ----------------------------------------------------------- well-formed


@pytest.mark.parametrize("layout", [FLOW, BOX], ids=["flow", "box"])
@pytest.mark.parametrize("mode", ALL_MODES, ids=lambda m: m.name)
@pytest.mark.parametrize("name", ["simple", "structured", "links"])
def test_every_mode_writes_wellformed_html5(
    docs: Documents, out_dir: Path, name: str, mode: fc.HtmlOption, layout: fc.PageLayoutMode
) -> None:
    source = getattr(docs, name)
    output = out_dir / f"{name}.html"
    convert_ok(source, output, html_option=mode, page_layout_mode=layout)
    page_count = pymupdf.open(source).page_count

    if mode in PER_PAGE_MODES:
        files = page_files(out_dir / name, name)
        assert [f.name for f in files] == [f"{name}_{n}.html" for n in range(1, page_count + 1)]
        assert not output.exists()
    else:
        files = [output]

    anchors = []
    for path in files:
        raw = path.read_text(encoding="utf-8")
        assert raw.startswith("<!DOCTYPE html>")
        root = parse(path)
        assert root.tag == "html" and root.get("lang")
        assert [m.get("charset") for m in find_all(root, "meta") if m.get("charset")] == ["utf-8"]
        title = root.find("head/title")
        assert title is not None and (title.text or "").startswith(name)
        assert len(find_all(root, "style")) == 1
        anchors += [page.get("id") for page in pages_of(root)]
    assert anchors == [f"page-{n}" for n in range(1, page_count + 1)]


# -------------------------------------------------------------- per page


@pytest.mark.parametrize("auto_create_folder", [True, False], ids=["own-folder", "beside"])
@pytest.mark.parametrize(
    "fields",
    [{"html_option": HtmlOption.MULTIPLE_PAGE}, {"output_document_per_page": True}],
    ids=["multiple-page", "document-per-page"],
)
def test_per_page_files_follow_naming_rule(
    docs: Documents, out_dir: Path, auto_create_folder: bool, fields: dict[str, Any]
) -> None:
    convert_ok(docs.simple, out_dir / "report.html", auto_create_folder=auto_create_folder, page_ranges="1,3", **fields)
    folder = out_dir / "report" if auto_create_folder else out_dir
    expected = [folder / "report_1.html", folder / "report_3.html"]
    assert sorted(p for p in out_dir.rglob("*.html")) == expected
    for number, path in zip([1, 3], expected):
        page = pages_of(parse(path))
        assert [p.get("id") for p in page] == [f"page-{number}"]
        assert f"Body text of page {number}." in text_of(page[0])


@pytest.mark.parametrize(
    ("ranges", "order"),
    [("", [1, 2, 3]), ("3,1", [3, 1]), ("2-3", [2, 3])],
    ids=["all", "reordered", "subset"],
)
@pytest.mark.parametrize(
    "fields",
    [
        {"html_option": HtmlOption.MULTIPLE_PAGE_WITH_BOOKMARK},
        {"html_option": HtmlOption.SINGLE_PAGE_WITH_BOOKMARK, "output_document_per_page": True},
    ],
    ids=["multiple-page", "document-per-page"],
)
def test_pager_links_neighbouring_written_pages(
    docs: Documents, out_dir: Path, ranges: str, order: list[int], fields: dict[str, Any]
) -> None:
    convert_ok(docs.simple, out_dir / "simple.html", page_ranges=ranges, **fields)
    folder = out_dir / "simple"
    files = [folder / f"simple_{n}.html" for n in order]
    assert sorted(folder.iterdir()) == sorted(files)
    for position, path in enumerate(files):
        pager = find_all(parse(path), "nav", "pager")
        assert len(pager) == 1
        links = {a.get("class"): a.get("href") or "" for a in find_all(pager[0], "a")}
        for href in links.values():
            assert target(path, href).is_file()
        expected = {}
        if position > 0:
            expected["first"] = files[0].name
            expected["prev"] = files[position - 1].name
        if position + 1 < len(files):
            expected["next"] = files[position + 1].name
            expected["last"] = files[-1].name
        assert links == expected
        rels = {a.get("rel"): a.get("href") for a in find_all(pager[0], "a") if a.get("rel")}
        assert rels == {k: v for k, v in expected.items() if k in ("prev", "next")}


# ------------------------------------------------------------- bookmarks


def outline_entries(root: ET.Element) -> list[tuple[int, str, str | None]]:
    """(depth, label, href) of every entry of the outline navigation."""
    nav = find_all(root, "nav", "outline")
    assert len(nav) == 1
    entries: list[tuple[int, str, str | None]] = []

    def walk(element: ET.Element, depth: int) -> None:
        for child in element:
            if child.tag == "li":
                label = child[0]
                assert label.tag in ("a", "span")
                entries.append((depth, text_of(label), label.get("href")))
                walk(child, depth)
            elif child.tag == "ol":
                walk(child, depth + 1)

    walk(nav[0], 0)
    return entries


@pytest.mark.parametrize("layout", [FLOW, BOX], ids=["flow", "box"])
def test_outline_becomes_navigation_to_page_anchors(docs: Documents, out_dir: Path, layout: fc.PageLayoutMode) -> None:
    output = out_dir / "outline.html"
    convert_ok(docs.outline, output, html_option=HtmlOption.SINGLE_PAGE_WITH_BOOKMARK, page_layout_mode=layout)
    root = parse(output)
    expected = [(level, title, f"#page-{page}") for level, title, page in documents.OUTLINE]
    assert outline_entries(root) == expected
    ids = {element.get("id") for element in root.iter() if element.get("id")}
    assert {href[1:] for _, _, href in expected} <= ids


def test_outline_entries_of_unwritten_pages_are_not_links(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "outline.html"
    convert_ok(docs.outline, output, html_option=HtmlOption.SINGLE_PAGE_WITH_BOOKMARK, page_ranges="2-3")
    entries = outline_entries(parse(output))
    assert entries == [
        (level, title, f"#page-{page}" if page >= 2 else None) for level, title, page in documents.OUTLINE
    ]


def test_document_without_outline_lists_its_pages(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "simple.html"
    convert_ok(docs.simple, output, html_option=HtmlOption.SINGLE_PAGE_WITH_BOOKMARK, page_ranges="3,1")
    root = parse(output)
    assert outline_entries(root) == [(1, "Page 3", "#page-3"), (1, "Page 1", "#page-1")]
    assert [page.get("id") for page in pages_of(root)] == ["page-3", "page-1"]


def test_plain_single_file_has_no_navigation(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "outline.html"
    convert_ok(docs.outline, output, html_option=HtmlOption.SINGLE_PAGE)
    assert find_all(parse(output), "nav") == []


# ------------------------------------------------------ reflowed content


def flow_page(source: Path, out_dir: Path, **fields: Any) -> ET.Element:
    output = out_dir / f"{source.stem}.html"
    convert_ok(source, output, page_layout_mode=FLOW, **fields)
    pages = pages_of(parse(output))
    assert len(pages) >= 1
    return pages[0]


def test_headings_keep_their_levels(docs: Documents, out_dir: Path) -> None:
    page = flow_page(docs.structured, out_dir)
    headings = [(e.tag, text_of(e)) for e in page.iter() if re.fullmatch(r"h[1-6]", e.tag)]
    assert headings == [("h1", documents.TITLE), ("h2", documents.SECTION)]


def test_paragraphs_are_joined_lines(docs: Documents, out_dir: Path) -> None:
    page = flow_page(docs.structured, out_dir)
    paragraphs = [text_of(p) for p in page.iter("p")]
    assert documents.PARAGRAPH_1 in paragraphs
    assert documents.PARAGRAPH_2 in paragraphs


def test_lists_become_list_elements(docs: Documents, out_dir: Path) -> None:
    page = flow_page(docs.structured, out_dir)
    bulleted = find_all(page, "ul")
    numbered = find_all(page, "ol")
    assert [[text_of(li) for li in ul.findall("li")] for ul in bulleted] == [documents.BULLETS]
    assert [[text_of(li) for li in ol.findall("li")] for ol in numbered] == [documents.NUMBERED]
    assert numbered[0].get("start") in (None, "1")


def test_bold_and_italic_runs_are_marked(docs: Documents, out_dir: Path) -> None:
    page = flow_page(docs.structured, out_dir)
    last = [p for p in page.iter("p") if text_of(p).startswith("This sentence")]
    assert len(last) == 1
    assert text_of(last[0]) == "This sentence has a bold word and an italic one."
    assert [text_of(e) for e in last[0].iter("strong")] == ["bold"]
    assert [text_of(e) for e in last[0].iter("em")] == ["italic"]


def test_ruled_table_has_exact_cells(docs: Documents, out_dir: Path) -> None:
    page = flow_page(docs.ruled_table, out_dir)
    tables = find_all(page, "table")
    assert len(tables) == 1
    rows = list(tables[0].iter("tr"))
    cells = [[(cell.tag, text_of(cell)) for cell in row] for row in rows]
    expected_rows = [documents.TABLE_HEADER, *documents.TABLE_ROWS]
    assert [[text for _, text in row] for row in cells] == expected_rows
    assert [{tag for tag, _ in row} for row in cells] == [{"th"}] + [{"td"}] * len(documents.TABLE_ROWS)
    # The caption and the text after the table stay outside it.
    assert "Sales table" not in text_of(tables[0])
    assert "Text after the table." in text_of(page)


@pytest.mark.parametrize("layout", [FLOW, BOX], ids=["flow", "box"])
@pytest.mark.parametrize("mode", [HtmlOption.SINGLE_PAGE, HtmlOption.MULTIPLE_PAGE], ids=["single", "per-page"])
def test_links_keep_their_targets(
    docs: Documents, out_dir: Path, mode: fc.HtmlOption, layout: fc.PageLayoutMode
) -> None:
    output = out_dir / "links.html"
    convert_ok(docs.links, output, html_option=mode, page_layout_mode=layout)
    first = out_dir / "links" / "links_1.html" if mode in PER_PAGE_MODES else output
    anchors = {text_of(a): a.get("href") for a in find_all(parse(first), "a")}
    assert anchors[documents.LINK_TEXT] == documents.LINK_URI
    internal = anchors["Go to the second page"]
    if mode in PER_PAGE_MODES:
        assert internal == "links_2.html"
        assert target(first, internal).is_file()
    else:
        assert internal == "#page-2"
        assert any(e.get("id") == "page-2" for e in parse(output).iter())


def test_link_to_an_unwritten_page_is_plain_text(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "links.html"
    convert_ok(docs.links, output, page_ranges="1")
    root = parse(output)
    assert [a.get("href") for a in find_all(root, "a")] == [documents.LINK_URI]
    assert "Go to the second page" in text_of(root)


# ---------------------------------------------------------------- images


@pytest.mark.parametrize("layout", [FLOW, BOX], ids=["flow", "box"])
@pytest.mark.parametrize(
    ("mode", "auto_create_folder"),
    [(HtmlOption.SINGLE_PAGE, True), (HtmlOption.MULTIPLE_PAGE, True), (HtmlOption.MULTIPLE_PAGE, False)],
    ids=["single", "per-page-own-folder", "per-page-beside"],
)
def test_images_are_exported_and_linked(
    docs: Documents, out_dir: Path, layout: fc.PageLayoutMode, mode: fc.HtmlOption, auto_create_folder: bool
) -> None:
    output = out_dir / "pictures.html"
    convert_ok(docs.images, output, html_option=mode, page_layout_mode=layout, auto_create_folder=auto_create_folder)
    if mode in PER_PAGE_MODES:
        html_file = (out_dir / "pictures" if auto_create_folder else out_dir) / "pictures_1.html"
    else:
        html_file = output
    images = find_all(parse(html_file), "img")
    assert len(images) == 2
    found = []
    for img in images:
        path = target(html_file, img.get("src") or "")
        assert path.parent == (out_dir / "pictures_files").resolve()
        with Image.open(path) as picture:
            picture.load()
            found.append((picture.size, (int(img.get("width") or 0), int(img.get("height") or 0))))
        assert img.get("alt")
    # Pixel sizes of the embedded images, and their drawn sizes in CSS px.
    assert sorted(found) == [((64, 40), (213, 133)), ((80, 60), (213, 160))]


def test_images_left_out_on_request(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "pictures.html"
    convert_ok(docs.images, output, contain_image=False)
    root = parse(output)
    assert find_all(root, "img") == []
    assert "Text below the pictures." in text_of(root)
    assert not (out_dir / "pictures_files").exists()


# ---------------------------------------------------------- fixed layout


def box_lines(root: ET.Element) -> list[ET.Element]:
    return [e for e in root.iter("div") if "line" in (e.get("class") or "").split()]


def test_box_lines_sit_where_the_pdf_draws_them(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "table.html"
    convert_ok(docs.ruled_table, output, page_layout_mode=BOX)
    root = parse(output)
    pdf_page = pymupdf.open(docs.ruled_table)[0]

    (page,) = pages_of(root)
    assert points(style_of(page)["width"]) == pytest.approx(pdf_page.rect.width, abs=0.01)
    assert points(style_of(page)["height"]) == pytest.approx(pdf_page.rect.height, abs=0.01)

    placed = {text_of(line): style_of(line) for line in box_lines(root)}
    expected_texts = ["Sales table", "Region", "Revenue", "North", "5,720", "Text after the table."]
    for block in pdf_page.get_text("dict")["blocks"]:
        for line in block.get("lines", []):
            text = "".join(span["text"] for span in line["spans"]).strip()
            if text not in expected_texts:
                continue
            expected_texts.remove(text)
            style = placed[text]
            assert points(style["left"]) == pytest.approx(line["bbox"][0], abs=1.0), text
            assert points(style["top"]) == pytest.approx(line["bbox"][1], abs=1.5), text
    assert expected_texts == []


def test_box_text_carries_size_weight_and_style(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "structured.html"
    convert_ok(docs.structured, output, page_layout_mode=BOX)
    spans = {text_of(span): style_of(span) for span in parse(output).iter("span") if text_of(span)}
    assert points(spans[documents.TITLE]["font-size"]) == pytest.approx(24)
    assert spans[documents.TITLE]["font-weight"] == "bold"
    assert spans["italic"]["font-style"] == "italic"
    assert "font-weight" not in spans["italic"]
    assert spans["bold"]["font-family"].endswith("sans-serif")


# ------------------------------------------------------------------ font


@pytest.mark.parametrize(("layout", "selector"), [(FLOW, "body"), (BOX, "div.page")], ids=["flow", "box"])
def test_font_name_leads_the_font_family(
    docs: Documents, out_dir: Path, layout: fc.PageLayoutMode, selector: str
) -> None:
    output = out_dir / "simple.html"
    convert_ok(docs.simple, output, page_layout_mode=layout, font_name="Liberation Serif")
    root = parse(output)
    css = "".join(root.find("head/style").itertext())  # type: ignore[union-attr]
    assert f'{selector}{{font-family:"Liberation Serif",serif}}' in css
    # No text overrides the chosen family.
    assert not any("font-family" in style_of(e) for e in root.iter())


def test_font_name_cannot_break_out_of_the_stylesheet(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "simple.html"
    convert_ok(docs.simple, output, font_name='Evil"}</style><script>alert(1)</script>')
    root = parse(output)
    assert find_all(root, "script") == []
    assert len(find_all(root, "style")) == 1
    css = "".join(root.find("head/style").itertext())  # type: ignore[union-attr]
    assert "Evil" in css and "<" not in css


# ---------------------------------------------------------- text fidelity


def pdftotext_words(source: Path) -> list[str]:
    if shutil.which("pdftotext") is None:
        pytest.skip("pdftotext is not installed")
    result = subprocess.run(["pdftotext", "-enc", "UTF-8", str(source), "-"], capture_output=True, check=True)
    return words(result.stdout.decode("utf-8"))


@pytest.mark.parametrize("layout", [FLOW, BOX], ids=["flow", "box"])
@pytest.mark.parametrize("name", ["simple", "structured", "columns", "links", "ruled_table"])
def test_text_reads_like_pdftotext(docs: Documents, out_dir: Path, name: str, layout: fc.PageLayoutMode) -> None:
    source = getattr(docs, name)
    output = out_dir / f"{name}.html"
    convert_ok(source, output, page_layout_mode=layout)
    text = " ".join(text_of(page) for page in pages_of(parse(output)))
    assert words(text) == pdftotext_words(source)


def test_box_text_is_the_page_text(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "structured.html"
    convert_ok(docs.structured, output, page_layout_mode=BOX)
    (page,) = pages_of(parse(output))
    lines = [text_of(line) for line in box_lines(page)]
    assert Counter(" ".join(lines).split()) == Counter(pymupdf.open(docs.structured)[0].get_text().split())
    # Each bullet, drawn as a line of its own, comes right before its item.
    for item in documents.BULLETS:
        assert lines[lines.index(item) - 1] in ("\u2022", "\u00b7")
    assert lines.index(documents.TITLE) == 0


# ------------------------------------------------------------- escaping


@pytest.fixture(scope="module")
def markup_pdf(tmp_path_factory: pytest.TempPathFactory) -> Path:
    path = tmp_path_factory.mktemp("markup") / "markup.pdf"
    documents.make_markup(path)
    return path


FORBIDDEN = re.compile("[\x00-\x08\x0b-\x1f\x7f-\x9f\ufdd0-\ufdef\ufffe\uffff]")


@pytest.mark.parametrize("layout", [FLOW, BOX], ids=["flow", "box"])
def test_markup_characters_are_escaped_and_controls_dropped(
    markup_pdf: Path, out_dir: Path, layout: fc.PageLayoutMode
) -> None:
    output = out_dir / "markup.html"
    convert_ok(markup_pdf, output, page_layout_mode=layout)
    raw = output.read_text(encoding="utf-8")
    assert FORBIDDEN.search(raw) is None
    root = parse(output)
    assert root.get("lang") == documents.MARKUP_LANGUAGE
    assert text_of(root.find("head/title")) == documents.MARKUP_TITLE  # type: ignore[arg-type]
    (page,) = pages_of(root)
    text = text_of(page)
    assert documents.MARKUP_TEXT in text
    assert find_all(page, "b") == []
    assert re.search(r"before\s*after", text)
    # A javascript: link is never written as one.
    assert "javascript" not in raw
    assert find_all(root, "a") == []


# ----------------------------------------------------------- bad options


@pytest.mark.parametrize(
    "fields",
    [
        {"html_option": HtmlOption(99)},
        {"html_option": HtmlOption(-1)},
        {"page_layout_mode": fc.PageLayoutMode(7)},
        {"html_option": HtmlOption(99), "output_document_per_page": True},
    ],
    ids=["option-99", "option-negative", "layout-7", "option-99-per-page"],
)
def test_unknown_option_values_are_refused(docs: Documents, out_dir: Path, fields: dict[str, Any]) -> None:
    assert convert(docs.simple, out_dir / "simple.html", **fields) == fc.ErrorCode.INVALID_ARG
    assert list(out_dir.iterdir()) == []
