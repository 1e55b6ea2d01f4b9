"""JSON output: validity against the published schema, document
information, styled spans, links, images, page selection, one file per
page, annotations and escaping."""

from __future__ import annotations

import copy
import json
import re
from collections.abc import Callable
from pathlib import Path
from typing import Any, TypeAlias, cast

import jsonschema  # type: ignore[import-untyped]
import pytest
from PIL import Image

import FoliantConversion as fc
import documents as d
from documents import Documents

DOCS_FOLDER = Path(__file__).resolve().parents[2] / "docs"

JsonObject = dict[str, Any]
Validator: TypeAlias = Any  # a jsonschema.Draft202012Validator; jsonschema has no type information


@pytest.fixture(scope="module")
def validator() -> Validator:
    schema = json.loads((DOCS_FOLDER / "json-schema.json").read_text(encoding="utf-8"))
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema)


@pytest.fixture(scope="module")
def extra(tmp_path_factory: pytest.TempPathFactory) -> dict[str, Path]:
    """Documents made for these tests: escaping, Chinese text and an
    annotation; page text holding control characters."""
    folder = tmp_path_factory.mktemp("json-documents")
    paths = {"annotated": folder / "annotated.pdf", "markup": folder / "markup.pdf"}
    d.make_annotated(paths["annotated"])
    d.make_markup(paths["markup"])
    return paths


@pytest.fixture(scope="module")
def annotated(extra: dict[str, Path]) -> Path:
    return extra["annotated"]


def options(**values: object) -> fc.ConvertOptions:
    record = fc.ConvertOptions()
    for name, value in values.items():
        setattr(record, name, value)
    return record


def run(source: Path | bytes, output: Path, **values: object) -> fc.ErrorCode:
    # A path given as bytes reaches the library byte for byte.
    source_arg: Any = source if isinstance(source, bytes) else str(source)
    return fc.FOLIConversion.start_pdf_to_json(source_arg, "", str(output), options(**values))


def convert(source: Path, out_dir: Path, name: str = "out.json", **values: object) -> JsonObject:
    output = out_dir / name
    assert run(source, output, **values) == fc.ErrorCode.SUCCESS
    return cast(JsonObject, json.loads(output.read_bytes().decode("utf-8")))


def all_spans(result: JsonObject) -> list[JsonObject]:
    return [
        span
        for page in result["pages"]
        for block in page["blocks"]
        for line in block.get("lines", [])
        for span in line["spans"]
    ]


# ------------------------------------------------------------------- schema


@pytest.mark.parametrize(
    "name",
    ["simple", "structured", "columns", "ruled_table", "text_table", "images", "links", "outline", "wide_table",
     "special_text", "markup", "annotated"],
)
def test_output_matches_schema(
    docs: Documents, extra: dict[str, Path], out_dir: Path, validator: Validator, name: str
) -> None:
    source = extra[name] if name in extra else getattr(docs, name)
    result = convert(source, out_dir)
    validator.validate(result)
    assert (result["format"], result["version"]) == ("foliant-json", 1)
    assert result["document"]["source"] == str(source)
    assert [page["number"] for page in result["pages"]] == list(range(1, result["document"]["page_count"] + 1))
    assert any(block for page in result["pages"] for block in page["blocks"])


MUTATIONS: dict[str, Callable[[JsonObject], object]] = {
    "heading level 7": lambda r: r["pages"][0]["blocks"][0].update(level=7),
    "paragraph without text": lambda r: r["pages"][0]["blocks"][2].pop("text"),
    "colour name": lambda r: r["pages"][0]["blocks"][0]["lines"][0]["spans"][0].update(color="black"),
    "unknown block type": lambda r: r["pages"][0]["blocks"][2].update(type="sidebar"),
    "three-number box": lambda r: r["pages"][0]["blocks"][2].update(box=[1, 2, 3]),
    "page number 0": lambda r: r["pages"][0].update(number=0),
    "list item without marker": lambda r: r["pages"][0]["blocks"][4].pop("marker"),
}


@pytest.mark.parametrize("mutation", sorted(MUTATIONS))
def test_schema_refuses_malformed_output(docs: Documents, out_dir: Path, validator: Validator, mutation: str) -> None:
    result = convert(docs.structured, out_dir)
    validator.validate(result)
    broken = copy.deepcopy(result)
    MUTATIONS[mutation](broken)
    assert not validator.is_valid(broken)


def test_documented_example_matches_schema(validator: Validator) -> None:
    text = (DOCS_FOLDER / "json-schema.md").read_text(encoding="utf-8")
    example = re.search(r"```json\n(.*?)```", text, re.S)
    assert example is not None
    validator.validate(json.loads(example.group(1)))


# ---------------------------------------------------------------- document


def test_outline_entries_with_levels_and_pages(docs: Documents, out_dir: Path) -> None:
    result = convert(docs.outline, out_dir)
    assert result["document"]["page_count"] == 3
    assert result["document"]["outline"] == [
        {"title": title, "level": level, "page": page, "uri": None} for level, title, page in d.OUTLINE
    ]


def test_text_and_metadata_are_escaped(annotated: Path, out_dir: Path) -> None:
    output = out_dir / "escaped.json"
    assert run(annotated, output) == fc.ErrorCode.SUCCESS
    raw = output.read_bytes()
    assert not any(byte < 0x20 and byte != 0x0A for byte in raw)  # control characters only as escapes
    result = json.loads(raw.decode("utf-8"))
    assert result["document"]["metadata"]["title"] == d.ESCAPE_TITLE
    texts = [block["text"] for block in result["pages"][0]["blocks"]]
    assert d.ESCAPE_TEXT in texts
    assert "".join(d.CJK_LINES) in texts  # lines of Chinese join without a space


def test_control_characters_in_page_text(extra: dict[str, Path], out_dir: Path) -> None:
    output = out_dir / "markup.json"
    assert run(extra["markup"], output) == fc.ErrorCode.SUCCESS
    raw = output.read_bytes()
    assert b"\\u0007" in raw and not any(byte < 0x20 and byte != 0x0A for byte in raw)
    texts = [block["text"] for block in json.loads(raw.decode("utf-8"))["pages"][0]["blocks"]]
    assert d.MARKUP_TEXT in texts
    assert any(text.startswith("before ") and text.endswith(" after") and "\x07" in text for text in texts)


def test_source_path_that_is_not_utf8(docs: Documents, out_dir: Path) -> None:
    source = out_dir / "source.pdf"
    source.write_bytes(docs.simple.read_bytes())
    odd = bytes(out_dir) + b"/caf\xe9.pdf"
    Path(odd.decode("utf-8", "surrogateescape")).write_bytes(source.read_bytes())
    output = out_dir / "odd.json"
    assert run(odd, output) == fc.ErrorCode.SUCCESS
    result = json.loads(output.read_bytes().decode("utf-8"))  # strict UTF-8
    assert result["document"]["source"].endswith("/caf\ufffd.pdf")


@pytest.mark.parametrize("contain_annotation", [True, False])
def test_annotations_follow_the_option(annotated: Path, out_dir: Path, contain_annotation: bool) -> None:
    result = convert(annotated, out_dir, contain_annotation=contain_annotation)
    texts = [block["text"] for block in result["pages"][0]["blocks"]]
    assert (d.ANNOTATION_TEXT in texts) == contain_annotation
    assert d.ESCAPE_TEXT in texts


# ---------------------------------------------------------- spans and links


def test_spans_carry_font_style_and_colour(docs: Documents, out_dir: Path) -> None:
    spans = {span["text"].strip(): span for span in all_spans(convert(docs.structured, out_dir))}
    assert spans["bold"]["bold"] and not spans["bold"]["italic"]
    assert spans["italic"]["italic"] and not spans["italic"]["bold"]
    assert spans[d.TITLE]["size"] == 24 and spans[d.TITLE]["bold"]
    assert {span["color"] for span in spans.values()} == {"#000000"}
    assert spans["bold"]["font"] == "Helvetica-Bold"
    assert spans["italic"]["box"][0] > spans["bold"]["box"][2]  # further right on the same line


def test_links_on_spans_and_pages(docs: Documents, out_dir: Path) -> None:
    result = convert(docs.links, out_dir)
    links = {span["text"]: span["link"] for span in all_spans(result)}
    assert links[d.LINK_TEXT] == d.LINK_URI
    assert links["This is the second page."] is None
    page_links = result["pages"][0]["links"]
    assert {"uri": d.LINK_URI, "page": None} in [{"uri": link["uri"], "page": link["page"]} for link in page_links]
    internal = [link for link in page_links if link["page"] == 2]
    assert len(internal) == 1 and links["Go to the second page"] == internal[0]["uri"]
    assert result["pages"][1]["links"] == []


# ------------------------------------------------------------------- images


def test_images_are_exported_and_decode(docs: Documents, out_dir: Path) -> None:
    result = convert(docs.images, out_dir, name="pictures.json")
    images = [block for block in result["pages"][0]["blocks"] if block["type"] == "image"]
    assert [(image["width"], image["height"]) for image in images] == [(64, 40), (80, 60)]
    for image in images:
        assert image["file"].startswith("pictures_files/")
        with Image.open(out_dir / image["file"]) as picture:
            assert picture.size == (image["width"], image["height"])
            picture.load()
            if image["file"].endswith(".png"):
                assert picture.convert("RGB").getpixel((10, 10)) == (200, 30, 30)


def test_without_contain_image_no_file_is_written(docs: Documents, out_dir: Path) -> None:
    result = convert(docs.images, out_dir, name="bare.json", contain_image=False)
    images = [block for block in result["pages"][0]["blocks"] if block["type"] == "image"]
    assert len(images) == 2 and all(image["file"] is None for image in images)
    assert sorted(path.name for path in out_dir.iterdir()) == ["bare.json"]


# ------------------------------------------------------- pages and files


@pytest.mark.parametrize("ranges, numbers", [("3,1", [3, 1]), ("2-3", [2, 3]), ("2", [2])])
def test_page_ranges_choose_the_pages(docs: Documents, out_dir: Path, ranges: str, numbers: list[int]) -> None:
    result = convert(docs.simple, out_dir, page_ranges=ranges)
    assert [page["number"] for page in result["pages"]] == numbers
    assert [page["blocks"][0]["text"] for page in result["pages"]] == [f"Page {n} heading" for n in numbers]
    assert result["document"]["page_count"] == 3


@pytest.mark.parametrize("auto_create_folder", [True, False])
def test_one_file_per_page(docs: Documents, out_dir: Path, validator: Validator, auto_create_folder: bool) -> None:
    output = out_dir / "paged.json"
    assert run(docs.simple, output, output_document_per_page=True, auto_create_folder=auto_create_folder,
               page_ranges="2-3") == fc.ErrorCode.SUCCESS
    folder = out_dir / "paged" if auto_create_folder else out_dir
    assert not output.exists()
    assert sorted(path.name for path in folder.glob("*.json")) == ["paged_2.json", "paged_3.json"]
    for number in (2, 3):
        result = json.loads((folder / f"paged_{number}.json").read_text(encoding="utf-8"))
        validator.validate(result)
        assert [page["number"] for page in result["pages"]] == [number]
        assert result["pages"][0]["blocks"][1]["text"] == f"Body text of page {number}."


def test_per_page_files_find_their_images(docs: Documents, out_dir: Path) -> None:
    output = out_dir / "album.json"
    assert run(docs.images, output, output_document_per_page=True) == fc.ErrorCode.SUCCESS
    page_file = out_dir / "album" / "album_1.json"
    result = json.loads(page_file.read_text(encoding="utf-8"))
    files = [block["file"] for block in result["pages"][0]["blocks"] if block["type"] == "image"]
    assert len(files) == 2
    for file in files:
        assert file.startswith("../album_files/")
        with Image.open(page_file.parent / file) as picture:
            picture.load()
