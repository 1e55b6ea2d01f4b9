"""Page images: every image type in every colour mode decodes to the page's
pixels at the requested size, one file per page named by its page number;
page selection, option checks that leave nothing behind, and progress."""

from __future__ import annotations

import math
import os
import struct
from pathlib import Path
from typing import cast

import pytest
from PIL import Image

import FoliantConversion as fc
from documents import SHAPES_BLACK, SHAPES_PAGE, SHAPES_RED, SHAPES_WIDE_PAGE, Documents

T = fc.ImageType
M = fc.ImageColorMode

EXTENSIONS = {
    T.JPG: ".jpg",
    T.JPEG: ".jpeg",
    T.JPEG2000: ".jp2",
    T.PNG: ".png",
    T.BMP: ".bmp",
    T.TIFF: ".tiff",
    T.TGA: ".tga",
    T.GIF: ".gif",
    T.WEBP: ".webp",
}
ALL_TYPES = list(EXTENSIONS)
ALL_MODES = [M.COLOR, M.GRAY, M.BINARY]
ONE_BIT_TYPES = {T.PNG, T.TIFF, T.BMP}  # Pillow opens these as mode "1"
# Lossy in colour and gray; JPEG stays lossy for black-and-white pages too.
LOSSY_TYPES = {T.JPG, T.JPEG, T.JPEG2000, T.WEBP}
RED_AS_GRAY = 0.30 * 255  # what a gray rendering makes of pure red

WHITE_AREAS = [(130, 10, 290, 90), (10, 100, 150, 190)]  # page 1, clear of both boxes


def convert(
    source: Path, output: Path, *, callback: fc.ConvertCallback | None = None, **fields: object
) -> fc.ErrorCode:
    options = fc.ConvertOptions()
    for name, value in fields.items():
        setattr(options, name, value)
    return fc.FOLIConversion.start_pdf_to_image(str(source), "", str(output), options, callback)


def files_under(folder: Path) -> list[str]:
    return sorted(str(path.relative_to(folder)) for path in folder.rglob("*"))


def single(value: float) -> float:
    return float(struct.unpack("f", struct.pack("f", value))[0])


def rendered_side(points: float, zoom: float) -> int:
    """Pixels MuPDF renders for a page edge of `points` at `zoom`: the edge
    scaled in single precision and rounded up, after a 0.001 tolerance."""
    return math.ceil(single(single(single(points) * single(zoom)) - single(0.001)))


def open_image(path: Path) -> Image.Image:
    """The decoded image, with its file closed again (GIF keeps it open otherwise)."""
    with Image.open(path) as image:
        image.load()
        return image.copy()


def pixel_box(box: tuple[float, float, float, float], zoom: float, inset: float = 3) -> tuple[int, int, int, int]:
    """The pixels well inside a box given in points, clear of its soft edges."""
    x0, y0, x1, y1 = box
    return (
        math.ceil((x0 + inset) * zoom),
        math.ceil((y0 + inset) * zoom),
        math.floor((x1 - inset) * zoom),
        math.floor((y1 - inset) * zoom),
    )


def assert_area(image: Image.Image, box: tuple[int, int, int, int], rgb: tuple[float, ...], tolerance: float) -> None:
    """Every pixel of the area is within `tolerance` of `rgb` in each channel."""
    extrema = cast(tuple[tuple[int, int], ...], image.convert("RGB").crop(box).getextrema())
    for (low, high), want in zip(extrema, rgb):
        assert want - tolerance <= low and high <= want + tolerance, f"{box}: {extrema} is not {rgb}"


def expected_mode(image_type: fc.ImageType, mode: fc.ImageColorMode) -> str:
    if mode == M.COLOR:
        return "P" if image_type == T.GIF else "RGB"
    if image_type == T.WEBP:  # WebP stores colour only
        return "RGB"
    if mode == M.GRAY:
        return "L"
    if image_type in ONE_BIT_TYPES:
        return "1"
    return "P" if image_type == T.GIF else "L"


def expected_colours(mode: fc.ImageColorMode) -> tuple[tuple[float, ...], tuple[float, ...]]:
    """The black box and the red box as the colour mode renders them."""
    if mode == M.COLOR:
        return (0, 0, 0), (255, 0, 0)
    if mode == M.GRAY:
        return (0, 0, 0), (RED_AS_GRAY,) * 3
    return (0, 0, 0), (0, 0, 0)  # red is darker than the mid-level


@pytest.mark.parametrize("zoom", [1.0, 2.0, 0.617])
@pytest.mark.parametrize("mode", ALL_MODES, ids=lambda mode: mode.name)
@pytest.mark.parametrize("image_type", ALL_TYPES, ids=lambda image_type: image_type.name)
def test_page_image_size_mode_and_content(
    docs: Documents, out_dir: Path, image_type: fc.ImageType, mode: fc.ImageColorMode, zoom: float
) -> None:
    result = convert(
        docs.shapes,
        out_dir / "page.out",
        image_type=image_type,
        image_color_mode=mode,
        image_scaling=zoom,
        page_ranges="1",
        auto_create_folder=False,
    )
    assert result == fc.ErrorCode.SUCCESS
    name = "page_1" + EXTENSIONS[image_type]
    assert files_under(out_dir) == [name]

    image = open_image(out_dir / name)
    assert image.size == (rendered_side(SHAPES_PAGE[0], zoom), rendered_side(SHAPES_PAGE[1], zoom))
    assert image.mode == expected_mode(image_type, mode)

    lossy = image_type in {T.JPG, T.JPEG} or (image_type in LOSSY_TYPES and mode != M.BINARY)
    tolerance = 24 if lossy else 0
    black, red = expected_colours(mode)
    assert_area(image, pixel_box(SHAPES_BLACK, zoom), black, tolerance)
    # Gray has no single exact value for red: renderers weigh it slightly differently.
    assert_area(image, pixel_box(SHAPES_RED, zoom), red, tolerance + (8 if mode == M.GRAY else 0))
    for area in WHITE_AREAS:
        assert_area(image, pixel_box(area, zoom, inset=0), (255, 255, 255), tolerance)


@pytest.mark.parametrize("image_type", ALL_TYPES, ids=lambda image_type: image_type.name)
def test_binary_pages_hold_only_black_and_white(docs: Documents, out_dir: Path, image_type: fc.ImageType) -> None:
    assert convert(
        docs.shapes, out_dir / "bw.out", image_type=image_type, image_color_mode=M.BINARY,
        page_ranges="1", auto_create_folder=False,
    ) == fc.ErrorCode.SUCCESS
    image = open_image(out_dir / ("bw_1" + EXTENSIONS[image_type]))
    if image_type == T.GIF:
        assert len(image.getpalette() or []) == 2 * 3  # a two-colour palette: 1 bit per pixel
    values = image.convert("L").histogram()
    if image_type in {T.JPG, T.JPEG}:
        # JPEG blurs the box edges a little; nearly every pixel is still pure.
        extreme = sum(values[:32]) + sum(values[224:])
        assert extreme >= 0.98 * sum(values)
    else:
        assert {level for level, count in enumerate(values) if count} == {0, 255}


@pytest.mark.parametrize("image_type", [T.PNG, T.JPG, T.TIFF, T.BMP], ids=lambda image_type: image_type.name)
def test_resolution_recorded_in_the_file(docs: Documents, out_dir: Path, image_type: fc.ImageType) -> None:
    assert convert(
        docs.shapes, out_dir / "dpi.out", image_type=image_type, image_scaling=2.0,
        page_ranges="1", auto_create_folder=False,
    ) == fc.ErrorCode.SUCCESS
    image = open_image(out_dir / ("dpi_1" + EXTENSIONS[image_type]))
    assert image.info["dpi"] == pytest.approx((144, 144), abs=0.5)


@pytest.mark.parametrize(
    ("auto_folder", "ranges", "expected"),
    [
        (True, "", ["report", "report/report_1.png", "report/report_2.png", "report/report_3.png"]),
        (False, "", ["report_1.png", "report_2.png", "report_3.png"]),
        (True, "2", ["report", "report/report_2.png"]),
        (False, "3", ["report_3.png"]),
    ],
)
def test_files_named_by_page(
    docs: Documents, out_dir: Path, auto_folder: bool, ranges: str, expected: list[str]
) -> None:
    result = convert(
        docs.simple, out_dir / "report.png", image_type=T.PNG, auto_create_folder=auto_folder, page_ranges=ranges
    )
    assert result == fc.ErrorCode.SUCCESS
    assert files_under(out_dir) == expected


def boxes_on(page: int) -> tuple[tuple[int, int, int, int], tuple[int, int, int, int]]:
    """The black and the red box of page 1 or 2 of the shapes document, in pixels at zoom 1."""
    def placed(box: tuple[int, int, int, int]) -> tuple[int, int, int, int]:
        x0, y0, x1, y1 = box
        return pixel_box(box if page == 1 else (SHAPES_PAGE[0] - x1, y0, SHAPES_PAGE[0] - x0, y1), 1.0)

    return placed(SHAPES_BLACK), placed(SHAPES_RED)


@pytest.mark.parametrize(
    ("ranges", "pages"), [("1", [1]), ("2", [2]), ("2,1", [1, 2]), ("1-3", [1, 2, 3]), ("3, 1", [1, 3])]
)
def test_page_ranges_select_exactly_those_pages(
    docs: Documents, out_dir: Path, ranges: str, pages: list[int]
) -> None:
    result = convert(
        docs.shapes, out_dir / "sel.out", image_type=T.PNG, image_color_mode=M.GRAY,
        page_ranges=ranges, auto_create_folder=False,
    )
    assert result == fc.ErrorCode.SUCCESS
    assert files_under(out_dir) == sorted(f"sel_{page}.png" for page in pages)
    for page in pages:
        image = open_image(out_dir / f"sel_{page}.png")
        if page == 3:
            assert image.size == SHAPES_WIDE_PAGE
            assert image.getextrema() == (255, 255)  # an empty page
        else:
            black, red = boxes_on(page)
            assert_area(image, black, (0, 0, 0), 0)
            assert_area(image, red, (RED_AS_GRAY,) * 3, 8)
            # The other page's boxes stand elsewhere: part of this area is white.
            other_black, _ = boxes_on(3 - page)
            assert image.crop(other_black).getextrema()[1] == 255


@pytest.mark.parametrize(
    "zoom",
    [0.0, -1.0, math.nan, math.inf, -math.inf, 1e-6],
    ids=["zero", "negative", "nan", "inf", "minus-inf", "no-pixels-left"],
)
def test_invalid_scaling_writes_nothing(docs: Documents, out_dir: Path, zoom: float) -> None:
    result = convert(docs.shapes, out_dir / "bad.png", image_type=T.PNG, image_scaling=zoom)
    assert result == fc.ErrorCode.INVALID_ARG
    assert os.listdir(out_dir) == []


@pytest.mark.parametrize(
    ("image_type", "mode"),
    [(T(99), M.COLOR), (T(-1), M.COLOR), (T.PNG, M(3)), (T.PNG, M(-7))],
    ids=["type-99", "type-minus-1", "mode-3", "mode-minus-7"],
)
def test_unknown_type_or_mode_writes_nothing(
    docs: Documents, out_dir: Path, image_type: fc.ImageType, mode: fc.ImageColorMode
) -> None:
    result = convert(docs.shapes, out_dir / "bad.png", image_type=image_type, image_color_mode=mode)
    assert result == fc.ErrorCode.INVALID_ARG
    assert os.listdir(out_dir) == []


def test_page_too_wide_for_webp_fails_and_keeps_nothing(docs: Documents, out_dir: Path) -> None:
    # At 1.2 the third page is 16800 pixels wide, beyond WebP's 16383; the
    # first two pages, already encoded by then, must go as well.
    assert rendered_side(SHAPES_WIDE_PAGE[0], 1.2) > 16383
    result = convert(docs.shapes, out_dir / "wide.webp", image_type=T.WEBP, image_scaling=1.2)
    assert result == fc.ErrorCode.INVALID_ARG
    assert os.listdir(out_dir) == []

    # The same pages fit a format without that limit.
    result = convert(docs.shapes, out_dir / "wide.png", image_type=T.PNG, image_scaling=1.2)
    assert result == fc.ErrorCode.SUCCESS
    assert files_under(out_dir) == ["wide", "wide/wide_1.png", "wide/wide_2.png", "wide/wide_3.png"]


@pytest.mark.parametrize("image_type", [T.PNG, T.TIFF], ids=lambda image_type: image_type.name)
def test_absurd_pixel_count_is_refused(docs: Documents, out_dir: Path, image_type: fc.ImageType) -> None:
    # 300 x 200 points at 200 are 2.4 billion pixels; each side alone fits.
    result = convert(docs.shapes, out_dir / "huge.out", image_type=image_type, image_scaling=200.0, page_ranges="1")
    assert result == fc.ErrorCode.INVALID_ARG
    assert os.listdir(out_dir) == []


def test_progress_reports_each_page_once(docs: Documents, out_dir: Path) -> None:
    calls: list[tuple[int, int]] = []
    callback = fc.ConvertCallback()
    callback.set_progress(lambda done, total: calls.append((done, total)))
    result = convert(docs.simple, out_dir / "p.jpg", callback=callback, image_type=T.JPG, page_ranges="3,1")
    assert result == fc.ErrorCode.SUCCESS
    assert calls == [(1, 2), (2, 2)]
    assert files_under(out_dir) == ["p", "p/p_1.jpg", "p/p_3.jpg"]
