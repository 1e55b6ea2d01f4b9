"""Hostile PDF files, each built to make a converter crash, stall or use
memory out of proportion: deep and recursive nesting, exponential fan-out,
sizes declared far beyond what is there, damaged images. The fuzz seed
corpus (engine/fuzz/make_corpus.py) and the mutation harness
(engine/fuzz/mutate.py) use them too, with their small default sizes."""

from __future__ import annotations

import zlib
from pathlib import Path

from documents import _jpeg_bytes, _write_raw_pdf

HELVETICA = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"


def stream(content: bytes, extra: bytes = b"", compress: bool = False) -> bytes:
    if compress:
        content = zlib.compress(content, 9)
        extra += b" /Filter /FlateDecode"
    return b"<< /Length %d%s >>\nstream\n%s\nendstream" % (len(content), extra, content)


def one_page(content: bytes, resources: bytes, page_extra: bytes = b"") -> list[bytes]:
    """Objects 1-5: catalog, pages, the page, Helvetica and the content
    stream; the caller's objects follow from 6 on."""
    return [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents 5 0 R /Resources %s %s>>"
        % (resources, page_extra),
        HELVETICA,
        stream(content),
    ]


def text(words: bytes, y: int) -> bytes:
    return b"BT /F1 10 Tf 20 %d Td (%s) Tj ET\n" % (y, words)


FORM = b" /Type /XObject /Subtype /Form /BBox [0 0 300 300]"


def make_nested_forms(path: Path, depth: int = 200) -> None:
    """Forms nested `depth` deep, with text before, after and at the bottom."""
    objects = one_page(text(b"Before the forms", 250) + b"/X Do\n" + text(b"After the forms", 50),
                       b"<< /Font << /F1 4 0 R >> /XObject << /X 6 0 R >> >>")
    for level in range(depth - 1):
        objects.append(stream(b"/X Do", FORM + b" /Resources << /XObject << /X %d 0 R >> >>" % (7 + level)))
    objects.append(stream(text(b"At the bottom", 150), FORM + b" /Resources << /Font << /F1 4 0 R >> >>"))
    _write_raw_pdf(path, objects)


def make_form_fanout(path: Path, levels: int = 12) -> None:
    """`levels` nested forms, each drawing the next twice: 2^levels draws."""
    objects = one_page(text(b"Fan out", 250) + b"/N Do", b"<< /Font << /F1 4 0 R >> /XObject << /N 6 0 R >> >>")
    for level in range(levels):
        objects.append(stream(b"/N Do /N Do", FORM + b" /Resources << /XObject << /N %d 0 R >> >>" % (7 + level)))
    objects.append(stream(b"BT /F1 5 Tf (leaf) Tj ET", FORM + b" /Resources << /Font << /F1 4 0 R >> >>"))
    _write_raw_pdf(path, objects)


def make_nested_patterns(path: Path, depth: int = 200) -> None:
    """Tiling patterns whose cells fill with the next pattern, `depth` deep."""
    objects = one_page(text(b"Before the patterns", 250) + b"/Pattern cs /P scn 20 20 100 100 re f\n"
                       + text(b"After the patterns", 150),
                       b"<< /Font << /F1 4 0 R >> /Pattern << /P 6 0 R >> >>")
    cell = b" /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10"
    for level in range(depth):
        inner = b"/Pattern cs /P scn 0 0 10 10 re f" if level < depth - 1 else b"0 0 1 rg 0 0 5 5 re f"
        objects.append(stream(inner, cell + b" /Resources << /Pattern << /P %d 0 R >> >>" % (7 + level)))
    _write_raw_pdf(path, objects)


def make_nested_soft_masks(path: Path, depth: int = 200) -> None:
    """Soft masks whose groups draw under the next soft mask, `depth` deep."""
    objects = one_page(text(b"Before the masks", 250) + b"/G0 gs 0 0 1 rg 20 20 100 100 re f\n",
                       b"<< /Font << /F1 4 0 R >> /ExtGState << /G0 6 0 R >> >>")
    for level in range(depth):
        group = 7 + 2 * level
        objects.append(b"<< /Type /ExtGState /SMask << /Type /Mask /S /Luminosity /G %d 0 R >> >>" % group)
        content = b"/G0 gs 1 g 0 0 300 300 re f" if level < depth - 1 else b"1 g 0 0 300 300 re f"
        objects.append(stream(content, FORM + b" /Group << /S /Transparency /CS /DeviceGray >>"
                              b" /Resources << /ExtGState << /G0 %d 0 R >> >>" % (group + 1)))
    _write_raw_pdf(path, objects)


def make_type4_nesting(path: Path, depth: int = 5000) -> None:
    """A shading whose calculator function nests braces `depth` deep."""
    program = b"{" * depth + b"}" * depth
    objects = one_page(b"/Sh1 sh\n" + text(b"Beside the shading", 250),
                       b"<< /Font << /F1 4 0 R >> /Shading << /Sh1 << /ShadingType 1 /ColorSpace /DeviceRGB"
                       b" /Function 6 0 R >> >> >>")
    objects.append(stream(program, b" /FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1]", compress=True))
    _write_raw_pdf(path, objects)


def make_stitching_chain(path: Path, depth: int = 2000) -> None:
    """A shading whose stitching function holds a stitching function, and
    so on `depth` deep."""
    objects = one_page(b"/Sh1 sh\n" + text(b"Beside the shading", 250),
                       b"<< /Font << /F1 4 0 R >> /Shading << /Sh1 << /ShadingType 2 /ColorSpace /DeviceGray"
                       b" /Coords [0 0 300 0] /Function 6 0 R >> >> >>")
    for level in range(depth - 1):
        objects.append(b"<< /FunctionType 3 /Domain [0 1] /Functions [%d 0 R] /Bounds [] /Encode [0 1] >>"
                       % (7 + level))
    objects.append(b"<< /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >>")
    _write_raw_pdf(path, objects)


def make_colour_space_chain(path: Path, depth: int = 2000) -> None:
    """An indexed colour space over an indexed one, and so on `depth` deep."""
    objects = one_page(b"/CS0 cs 0 sc 20 20 100 100 re f\n" + text(b"Beside the colours", 250),
                       b"<< /Font << /F1 4 0 R >> /ColorSpace << /CS0 6 0 R >> >>")
    for level in range(depth - 1):
        objects.append(b"[/Indexed %d 0 R 0 <00>]" % (7 + level))
    objects.append(b"[/Indexed /DeviceRGB 0 <ff0000>]")
    _write_raw_pdf(path, objects)


def make_deep_page_value(path: Path, depth: int = 300) -> None:
    """A page dictionary with a value nested `depth` arrays deep, deeper
    than MuPDF's parser reads: the page object cannot be read."""
    objects = one_page(text(b"Text on the page", 250), b"<< /Font << /F1 4 0 R >> >>",
                       b"/Junk " + b"[" * depth + b"]" * depth + b" ")
    _write_raw_pdf(path, objects)


def make_deep_page_tree(path: Path, depth: int = 2000) -> None:
    """One page under `depth` levels of page-tree nodes."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>"]
    for level in range(depth):
        parent = b"/Parent %d 0 R " % (1 + level) if level else b""
        objects.append(b"<< /Type /Pages %s/Kids [%d 0 R] /Count 1 >>" % (parent, 3 + level))
    leaf = 2 + depth
    objects.append(b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 300 300] /Contents %d 0 R"
                   b" /Resources << /Font << /F1 %d 0 R >> >> >>" % (leaf - 1, leaf + 2, leaf + 1))
    objects.append(HELVETICA)
    objects.append(stream(text(b"Under a deep page tree", 250)))
    _write_raw_pdf(path, objects)


def make_huge_page_count(path: Path) -> None:
    """One real page under a page tree that declares 2147483647."""
    objects = one_page(text(b"The only page", 250), b"<< /Font << /F1 4 0 R >> >>")
    objects[1] = b"<< /Type /Pages /Kids [3 0 R] /Count 2147483647 >>"
    _write_raw_pdf(path, objects)


def make_huge_object_number(path: Path, number: int = 8388607) -> None:
    """A one-page file with an update that adds object `number`: the
    cross-reference table must then span every number up to it."""
    _write_raw_pdf(path, one_page(text(b"Small file, big numbers", 250), b"<< /Font << /F1 4 0 R >> >>"))
    data = path.read_bytes()
    previous = int(data[data.rindex(b"startxref") + 9:].split()[0])
    offset = len(data)
    data += b"%d 0 obj\n<< /Unused true >>\nendobj\n" % number
    xref = len(data)
    data += b"xref\n%d 1\n%010d 00000 n \n" % (number, offset)
    data += b"trailer\n<< /Size %d /Root 1 0 R /Prev %d >>\nstartxref\n%d\n%%%%EOF\n" % (number + 1, previous, xref)
    path.write_bytes(data)


def make_wide_stroke_glyph(path: Path, width: int = 99999) -> None:
    """Text stroked with a line `width` points wide."""
    content = b"BT /F1 40 Tf 1 Tr %d w 20 150 Td (W) Tj ET\n" % width + text(b"Normal text", 250)
    _write_raw_pdf(path, one_page(content, b"<< /Font << /F1 4 0 R >> >>"))


def _image_page(path: Path, jpeg: bytes) -> None:
    content = b"q 100 0 0 80 20 20 cm /Im1 Do Q\n" + text(b"Under a picture", 250)
    objects = one_page(content, b"<< /Font << /F1 4 0 R >> /XObject << /Im1 6 0 R >> >>")
    objects.append(stream(jpeg, b" /Type /XObject /Subtype /Image /Width 64 /Height 48 /ColorSpace /DeviceRGB"
                          b" /BitsPerComponent 8 /Filter /DCTDecode"))
    _write_raw_pdf(path, objects)


def make_truncated_jpeg(path: Path) -> None:
    """A JPEG image cut off halfway: no end-of-image marker."""
    jpeg = _jpeg_bytes(64, 48)
    _image_page(path, jpeg[: len(jpeg) // 2])


def make_headless_jpeg(path: Path) -> None:
    """A JPEG image whose first bytes (the start-of-image marker) are gone."""
    _image_page(path, _jpeg_bytes(64, 48)[2:])
