"""Reading our OFD packages back in the tests: the parts as XML trees, the
references between them, and where each character of a text object lands
on the page."""

from __future__ import annotations

import xml.etree.ElementTree as ET
import zipfile
from dataclasses import dataclass
from pathlib import Path, PurePosixPath

NS = {"ofd": "http://www.ofdspec.org/2016"}
MM_PER_POINT = 25.4 / 72


def tag(name: str) -> str:
    return "{%s}%s" % (NS["ofd"], name)


def numbers(text: str | None) -> list[float]:
    return [float(value) for value in (text or "").split()]


def deltas(text: str | None) -> list[float]:
    """A DeltaX or DeltaY list with its "g count step" runs spelled out."""
    tokens = (text or "").split()
    out: list[float] = []
    i = 0
    while i < len(tokens):
        if tokens[i] == "g":
            out += [float(tokens[i + 2])] * int(tokens[i + 1])
            i += 3
        else:
            out.append(float(tokens[i]))
            i += 1
    return out


@dataclass
class PlacedText:
    text: str
    font: str
    size: float
    visible: bool
    positions: list[tuple[float, float]]  # page millimetres, one per character
    element: ET.Element


class OfdPackage:
    def __init__(self, path: Path) -> None:
        self.path = path
        self.zip = zipfile.ZipFile(path)
        self.names = set(self.zip.namelist())
        self.trees = {name: ET.fromstring(self.zip.read(name)) for name in self.names if name.endswith(".xml")}
        self.ofd = self.trees["OFD.xml"]
        root = self.ofd.findtext("ofd:DocBody/ofd:DocRoot", namespaces=NS)
        self.root = PurePosixPath(root)
        self.document = self.trees[root]
        folder = self.root.parent
        common = self.document.find("ofd:CommonData", NS)
        self.max_unit_id = int(common.findtext("ofd:MaxUnitID", namespaces=NS))
        self.public_res = self.trees[str(folder / common.findtext("ofd:PublicRes", namespaces=NS))]
        self.document_res = self.trees[str(folder / common.findtext("ofd:DocumentRes", namespaces=NS))]
        self.pages = [(page.get("ID"), self.trees[str(folder / page.get("BaseLoc"))])
                      for page in self.document.iterfind("ofd:Pages/ofd:Page", NS)]
        self.fonts = {font.get("ID"): font for font in self.public_res.iterfind(".//ofd:Font", NS)}
        self.media = {media.get("ID"): media for media in self.document_res.iterfind(".//ofd:MultiMedia", NS)}

    def resource_path(self, res: ET.Element, file: str) -> str:
        return str(self.root.parent / res.get("BaseLoc", "") / file)

    def font_file(self, font_id: str) -> bytes | None:
        file = self.fonts[font_id].findtext("ofd:FontFile", namespaces=NS)
        return None if file is None else self.zip.read(self.resource_path(self.public_res, file))

    def media_file(self, media_id: str) -> bytes:
        file = self.media[media_id].findtext("ofd:MediaFile", namespaces=NS)
        return self.zip.read(self.resource_path(self.document_res, file))

    def texts(self, page: int = 0) -> list[PlacedText]:
        out = []
        for obj in self.pages[page][1].iter(tag("TextObject")):
            bx, by, _, _ = numbers(obj.get("Boundary"))
            ctm = numbers(obj.get("CTM")) or [1, 0, 0, 1, 0, 0]
            for code in obj.iterfind("ofd:TextCode", NS):
                text = code.text or ""
                x, y = float(code.get("X")), float(code.get("Y"))
                dx, dy = deltas(code.get("DeltaX")), deltas(code.get("DeltaY"))
                positions = []
                for i in range(len(text)):
                    if i > 0:
                        x += dx[i - 1] if i - 1 < len(dx) else 0
                        y += dy[i - 1] if i - 1 < len(dy) else 0
                    a, b, c, d, e, f = ctm
                    positions.append((bx + a * x + c * y + e, by + b * x + d * y + f))
                out.append(PlacedText(text, obj.get("Font"), float(obj.get("Size")), obj.get("Fill") != "false",
                                      positions, obj))
        return out

    def text(self) -> str:
        return "\n".join(" ".join(t.text for t in self.texts(n)) for n in range(len(self.pages)))

    def problems(self) -> list[str]:
        """What breaks the package's own rules: missing parts, references
        to nothing, ids used twice or above MaxUnitID."""
        found: list[str] = []
        ids: dict[str, str] = {}

        def own_id(value: str | None, where: str) -> None:
            if value is None:
                return
            if value in ids:
                found.append(f"id {value} used by {ids[value]} and {where}")
            ids[value] = where
            if int(value) > self.max_unit_id:
                found.append(f"id {value} of {where} is above MaxUnitID {self.max_unit_id}")

        for page_id, _ in self.pages:
            own_id(page_id, "a page")
        for font_id, font in self.fonts.items():
            own_id(font_id, "a font")
            file = font.findtext("ofd:FontFile", namespaces=NS)
            if file is not None and self.resource_path(self.public_res, file) not in self.names:
                found.append(f"font file {file} is missing")
        for media_id, media in self.media.items():
            own_id(media_id, "a picture")
            file = media.findtext("ofd:MediaFile", namespaces=NS)
            if self.resource_path(self.document_res, file) not in self.names:
                found.append(f"picture {file} is missing")
        page_ids = {page_id for page_id, _ in self.pages}
        for number, (_, page) in enumerate(self.pages, 1):
            for element in page.iter():
                name = element.tag.split("}")[1]
                if name in ("Layer", "TextObject", "PathObject", "ImageObject"):
                    own_id(element.get("ID"), f"a {name} of page {number}")
                if name == "TextObject" and element.get("Font") not in self.fonts:
                    found.append(f"page {number}: font {element.get('Font')} is not a resource")
                if name == "ImageObject" and element.get("ResourceID") not in self.media:
                    found.append(f"page {number}: picture {element.get('ResourceID')} is not a resource")
                if name == "Dest" and element.get("PageID") not in page_ids:
                    found.append(f"page {number}: a link to page id {element.get('PageID')}")
        for dest in self.document.iter(tag("Dest")):
            if dest.get("PageID") not in page_ids:
                found.append(f"the outline goes to page id {dest.get('PageID')}")
        return found
