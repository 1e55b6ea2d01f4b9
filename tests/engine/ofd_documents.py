"""PDF documents for the OFD tests, written object by object so that each
holds exactly the drawing a test checks: glyphs at known places, paths,
clips, shadings, invisible text, embedded TrueType and CFF fonts (made with
fontTools) and a Type 3 font."""

from __future__ import annotations

import functools
import io
import zlib
from pathlib import Path

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.t2CharStringPen import T2CharStringPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont

PAGE_WIDTH, PAGE_HEIGHT = 400, 500

# Glyphs placed one by one, PDF user space (points, y up): 12 pt Helvetica.
PLACED_SIZE = 12
PLACED = [("P", 50.0, 450.0), ("l", 58.0, 450.0), ("a", 61.25, 450.0), ("c", 68.0, 450.0), ("e", 74.5, 450.0),
          ("d", 81.25, 450.0), ("W", 120.0, 450.0), ("i", 131.5, 450.0), ("d", 134.25, 450.0), ("e", 141.0, 450.0),
          ("r", 73.0, 430.5)]  # fmt: skip
# A word turned a quarter to the left, starting at ROTATED_AT.
ROTATED = "Upward"
ROTATED_AT = (300.0, 100.0)
HIDDEN = "Invisible layer text"

# The glyph outlines of the test fonts, in font units (1000 per em).
OUTLINES = {
    "A": [[(50, 0), (300, 700), (550, 0)]],
    "B": [[(100, 0), (100, 700), (500, 700), (500, 0)], [(200, 100), (400, 100), (400, 600), (200, 600)]],
}
GLYPH_ORDER = [".notdef", "A", "B"]


def _outline_font(cff: bool) -> bytes:
    builder = FontBuilder(1000, isTTF=not cff)
    builder.setupGlyphOrder(GLYPH_ORDER)
    builder.setupCharacterMap({ord("A"): "A", ord("B"): "B"})
    metrics = {name: (600, min((p[0] for c in OUTLINES.get(name, []) for p in c), default=0)) for name in GLYPH_ORDER}
    if cff:
        charstrings = {}
        for name in GLYPH_ORDER:
            pen = T2CharStringPen(600, None)
            for contour in OUTLINES.get(name, []):
                pen.moveTo(contour[0])
                for point in contour[1:]:
                    pen.lineTo(point)
                pen.closePath()
            charstrings[name] = pen.getCharString()
        builder.setupCFF("TestCff-Regular", {"FullName": "Test Cff"}, charstrings, {})
    else:
        glyphs = {}
        for name in GLYPH_ORDER:
            pen = TTGlyphPen(None)
            for contour in OUTLINES.get(name, []):
                pen.moveTo(contour[0])
                for point in contour[1:]:
                    pen.lineTo(point)
                pen.closePath()
            glyphs[name] = pen.glyph()
        builder.setupGlyf(glyphs)
    builder.setupHorizontalMetrics(metrics)
    builder.setupHorizontalHeader(ascent=800, descent=-200)
    builder.setupNameTable({"familyName": "TestCff" if cff else "TestTrue", "styleName": "Regular"})
    builder.setupOS2(sTypoAscender=800, sTypoDescender=-200, usWinAscent=800, usWinDescent=200)
    builder.setupPost()
    out = io.BytesIO()
    builder.save(out)
    return out.getvalue()


@functools.cache
def truetype_program() -> bytes:
    return _outline_font(cff=False)


@functools.cache
def cff_program() -> bytes:
    """A bare CFF program (what a PDF embeds as FontFile3 /Type1C)."""
    font = TTFont(io.BytesIO(_outline_font(cff=True)))
    return font.reader["CFF "]


def _stream(body: bytes, extra: bytes = b"", compress: bool = True) -> bytes:
    data = zlib.compress(body) if compress else body
    flate = b" /Filter /FlateDecode" if compress else b""
    return b"<< /Length %d%s%s >>\nstream\n%s\nendstream" % (len(data), flate, extra, data)


def write_pdf(path: Path, objects: list[bytes]) -> None:
    """Numbered objects, 1 the catalog, with a cross-reference table."""
    out = io.BytesIO()
    out.write(b"%PDF-1.7\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(out.tell())
        out.write(b"%d 0 obj\n%s\nendobj\n" % (number, body))
    xref = out.tell()
    out.write(b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1))
    for offset in offsets:
        out.write(b"%010d 00000 n \n" % offset)
    out.write(b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref))
    path.write_bytes(out.getvalue())


def _page(content: bytes, resources: bytes) -> list[bytes]:
    return [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Contents 4 0 R /Resources %s >>"
        % (PAGE_WIDTH, PAGE_HEIGHT, resources),
        _stream(content),
    ]


def make_drawing(path: Path) -> None:
    """Placed glyphs, rotated and invisible text, a dashed red line, an
    even-odd filled shape with a curve, a clipped green square and an
    axial shading."""
    ops = [b"BT /F1 %d Tf" % PLACED_SIZE]
    for char, x, y in PLACED:
        ops.append(b"1 0 0 1 %.2f %.2f Tm (%s) Tj" % (x, y, char.encode()))
    ops.append(b"ET")
    x, y = ROTATED_AT
    ops.append(b"BT /F1 10 Tf 0 1 -1 0 %.2f %.2f Tm (%s) Tj ET" % (x, y, ROTATED.encode()))
    ops.append(b"BT /F1 10 Tf 3 Tr 50 400 Td (%s) Tj ET" % HIDDEN.encode())
    ops.append(b"q 1 0 0 RG 2 w [6 3] 0 d 50 350 m 350 350 l S Q")
    ops.append(b"q 0 0 1 rg 50 200 m 150 200 l 150 300 l 100 330 120 330 50 300 c h "
               b"70 220 m 130 220 l 130 280 l 70 280 l h f* Q")
    ops.append(b"q 200 200 50 50 re W n 0 0.5 0 rg 180 180 100 100 re f Q")
    ops.append(b"q 50 50 300 60 re W n /Sh1 sh Q")
    resources = (b"<< /Font << /F1 5 0 R >> /Shading << /Sh1 << /ShadingType 2 /ColorSpace /DeviceRGB "
                 b"/Coords [50 0 350 0] /Function << /FunctionType 2 /Domain [0 1] /C0 [1 1 0] /C1 [0 0 1] /N 1 >> "
                 b">> >> >>")
    objects = _page(b"\n".join(ops), resources)
    objects.append(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>")
    write_pdf(path, objects)


def make_fonts(path: Path) -> None:
    """"AB" in an embedded TrueType font, "BA" in an embedded CFF (Type1C)
    font, and "A" in a Type 3 font whose glyph is a filled square."""
    content = (b"BT /TT 40 Tf 50 400 Td (AB) Tj ET\n"
               b"BT /CF 40 Tf 50 300 Td (BA) Tj ET\n"
               b"0 0.5 0 rg BT /T3 40 Tf 50 200 Td (A) Tj ET")
    resources = b"<< /Font << /TT 5 0 R /CF 6 0 R /T3 7 0 R >> >>"
    objects = _page(content, resources)
    descriptor = b"/Flags 32 /FontBBox [0 0 600 700] /ItalicAngle 0 /Ascent 800 /Descent -200 /CapHeight 700 /StemV 80"
    objects += [
        b"<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+TestTrue /FirstChar 65 /LastChar 66 /Widths [600 600] "
        b"/Encoding /WinAnsiEncoding /FontDescriptor 8 0 R >>",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /TestCff-Regular /FirstChar 65 /LastChar 66 /Widths [600 600] "
        b"/Encoding /WinAnsiEncoding /FontDescriptor 9 0 R >>",
        b"<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
        b"/CharProcs << /square 10 0 R >> /Encoding << /Type /Encoding /Differences [65 /square] >> "
        b"/FirstChar 65 /LastChar 65 /Widths [1000] /ToUnicode 11 0 R /Resources << >> >>",
        b"<< /Type /FontDescriptor /FontName /ABCDEF+TestTrue %s /FontFile2 12 0 R >>" % descriptor,
        b"<< /Type /FontDescriptor /FontName /TestCff-Regular %s /FontFile3 13 0 R >>" % descriptor,
        _stream(b"1000 0 0 0 1000 1000 d1 100 0 800 800 re f"),
        _stream(b"/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /T3 def "
                b"1 begincodespacerange <00> <FF> endcodespacerange 1 beginbfchar <41> <0041> endbfchar "
                b"endcmap CMapName currentdict /CMap defineresource pop end end"),
    ]
    truetype = truetype_program()
    objects.append(_stream(truetype, b" /Length1 %d" % len(truetype)))
    objects.append(_stream(cff_program(), b" /Subtype /Type1C"))
    write_pdf(path, objects)

