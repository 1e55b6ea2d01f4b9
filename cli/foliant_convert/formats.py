"""The output formats: the name --to takes, the output extensions that
select each format, and the module's entry point that writes it.

Every format is handled alike: the command calls the entry point and reports
its ErrorCode, so a format the library learns to write works here at once."""

from __future__ import annotations

from collections.abc import Callable
from dataclasses import dataclass

import FoliantConversion as fc

EntryPoint = Callable[[str, str, str, fc.ConvertOptions, fc.ConvertCallback | None], fc.ErrorCode]


@dataclass(frozen=True)
class OutputFormat:
    name: str  # the canonical name for --to
    entry_point: str  # the FOLIConversion static method that writes it
    extension: str  # given to outputs the command names itself
    aliases: tuple[str, ...] = ()  # more names and extensions that select it

    def start(self) -> EntryPoint:
        entry: EntryPoint = getattr(fc.FOLIConversion, self.entry_point)
        return entry


FORMATS: tuple[OutputFormat, ...] = (
    OutputFormat("docx", "start_pdf_to_word", ".docx", ("word",)),
    OutputFormat("xlsx", "start_pdf_to_excel", ".xlsx", ("excel",)),
    OutputFormat("pptx", "start_pdf_to_ppt", ".pptx", ("ppt", "powerpoint")),
    OutputFormat("html", "start_pdf_to_html", ".html", ("htm",)),
    OutputFormat("image", "start_pdf_to_image", ".jpg"),
    OutputFormat("md", "start_pdf_to_markdown", ".md", ("markdown",)),
    OutputFormat("rtf", "start_pdf_to_rtf", ".rtf"),
    OutputFormat("txt", "start_pdf_to_txt", ".txt", ("text",)),
    OutputFormat("json", "start_pdf_to_json", ".json"),
    OutputFormat("pdf", "start_pdf_to_searchable_pdf", ".pdf", ("searchable-pdf",)),
    OutputFormat("ofd", "start_pdf_to_ofd", ".ofd"),
)

IMAGE = next(output for output in FORMATS if output.name == "image")

# Each image type by its names (the first is its file extension, as the
# library names the page files).
IMAGE_TYPES: dict[str, fc.ImageType] = {
    "jpg": fc.ImageType.JPG,
    "jpeg": fc.ImageType.JPEG,
    "jp2": fc.ImageType.JPEG2000,
    "jpeg2000": fc.ImageType.JPEG2000,
    "png": fc.ImageType.PNG,
    "bmp": fc.ImageType.BMP,
    "tiff": fc.ImageType.TIFF,
    "tif": fc.ImageType.TIFF,
    "tga": fc.ImageType.TGA,
    "gif": fc.ImageType.GIF,
    "webp": fc.ImageType.WEBP,
}


def image_extension(image_type: fc.ImageType) -> str:
    """The extension the library gives page images of this type."""
    for name, member in IMAGE_TYPES.items():
        if member == image_type:
            return "." + name
    raise ValueError(f"no extension for {image_type}")


@dataclass(frozen=True)
class Target:
    """What to write: a format and, for images, the image type that the
    name or extension chose (None: the one the options say)."""

    format: OutputFormat
    image_type: fc.ImageType | None = None


def _names() -> dict[str, Target]:
    names: dict[str, Target] = {}
    for output in FORMATS:
        for name in (output.name, output.extension.lstrip("."), *output.aliases):
            names[name] = Target(output)
    for name, image_type in IMAGE_TYPES.items():
        names[name] = Target(IMAGE, image_type)
    return names


TARGETS = _names()


def target_named(name: str) -> Target | None:
    """The target for a name given to --to ("md", "markdown", "png", ...)
    or an output extension (".md"); None when it names no format."""
    return TARGETS.get(name.lower().lstrip("."))


def known_names() -> str:
    return ", ".join(sorted(TARGETS))


def formats_help() -> str:
    """The formats for --help, each with its other names."""
    entries = []
    for output in FORMATS:
        if output is IMAGE:
            continue
        others = [name for name in output.aliases if name != output.name]
        entries.append(output.name + (f" ({', '.join(others)})" if others else ""))
    lines = ["  " + "  ".join(entries[:5]), "  " + "  ".join(entries[5:])]
    types = sorted(set(IMAGE_TYPES) - {"jpeg2000", "tif"}, key=list(IMAGE_TYPES).index)
    lines.append(f"  images, one file per page: {' '.join(types)} (or image: the --image-type)")
    return "\n".join(lines)
