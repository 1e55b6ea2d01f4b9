"""Command-line flags for every ConvertOptions field, and the record they
build. A flag that is not given leaves the record's default in place."""

from __future__ import annotations

import argparse
from dataclasses import dataclass

import FoliantConversion as fc

from .formats import IMAGE_TYPES


@dataclass(frozen=True)
class Switch:
    """A boolean field, set with --NAME and cleared with --no-NAME."""

    field: str
    name: str
    help: str


SWITCHES: tuple[Switch, ...] = (
    Switch("enable_ai_layout", "ai-layout", "analyse the layout with the document-AI model"),
    Switch("contain_image", "images", "keep the document's images in the output"),
    Switch("contain_page_background_image", "page-background", "keep images that cover a whole page"),
    Switch("json_contain_table", "json-tables", "detect tables in JSON output"),
    Switch("contain_annotation", "annotations", "keep annotations (notes, stamps, form fields)"),
    Switch("excel_all_content", "excel-all-content", "put all the content into the workbook, not only tables"),
    Switch("excel_csv_format", "csv", "save the tables as CSV instead of a workbook"),
    Switch("enable_ocr", "ocr", "recognise text in scanned pages and images"),
    Switch("transparent_text", "transparent-text", "make the output's text layer invisible"),
    Switch("txt_table_format", "txt-tables", "lay tables out as aligned columns in text output"),
    Switch("image_path_enhance", "image-path-enhance", "set the image_path_enhance option"),
    Switch("formula_to_image", "formula-to-image", "write formulas as images"),
    Switch("auto_create_folder", "auto-folder", "put per-page files into a new folder named after the output"),
    Switch("output_document_per_page", "per-page", "write one output document per page"),
)


@dataclass(frozen=True)
class Choice:
    """An enumeration field, set with --NAME VALUE. VALUE is a member's
    name in lower case with hyphens (MULTIPLE_PAGE: multiple-page), or
    one of the aliases."""

    field: str
    name: str
    enum: type
    help: str
    aliases: tuple[tuple[str, str], ...] = ()  # alias, member name
    shown: tuple[str, ...] = ()  # the values --help lists (default: the members')

    def members(self) -> dict[str, object]:
        members: dict[str, object] = getattr(self.enum, "__members__")
        return members

    def values(self) -> dict[str, object]:
        values = {name.lower().replace("_", "-"): member for name, member in self.members().items()}
        values.update((alias, self.members()[member]) for alias, member in self.aliases)
        return values

    def metavar(self) -> str:
        return "|".join(self.shown or [name.lower().replace("_", "-") for name in self.members()])

    def parse(self, text: str) -> object:
        value = self.values().get(text.strip().lower().replace("_", "-"))
        if value is None:
            raise argparse.ArgumentTypeError(
                f"{text!r} is not one of: {', '.join(self.values())}"
            )
        return value


CHOICES: tuple[Choice, ...] = (
    Choice("page_layout_mode", "layout", fc.PageLayoutMode, "flow: reflowed text; box: placed as on the page"),
    Choice("html_option", "html", fc.HtmlOption,
           "one HTML file or one per page, with the outline or page links (the member names work too)",
           (("single", "SINGLE_PAGE"), ("single-bookmark", "SINGLE_PAGE_WITH_BOOKMARK"),
            ("multiple", "MULTIPLE_PAGE"), ("multiple-bookmark", "MULTIPLE_PAGE_WITH_BOOKMARK")),
           ("single", "single-bookmark", "multiple", "multiple-bookmark")),
    Choice("ocr_option", "ocr-mode", fc.OCROption, "what OCR recognises"),
    Choice("excel_worksheet_option", "excel-worksheet", fc.ExcelWorksheetOption,
           "one worksheet per table, per page or for the whole document",
           (("table", "FOR_TABLE"), ("page", "FOR_PAGE"), ("document", "FOR_DOCUMENT")),
           ("table", "page", "document")),
    Choice("image_color_mode", "color", fc.ImageColorMode, "colour, gray or black-and-white page images"),
    Choice("image_type", "image-type", fc.ImageType, "file type of page images, if not OUTPUT's extension",
           tuple((name, member.name) for name, member in IMAGE_TYPES.items()),
           ("jpg", "jpeg", "jp2", "png", "bmp", "tiff", "tga", "gif", "webp")),
)

# OCR languages by their Tesseract names, besides the member names
# (ENGLISH: english). The script groups (LATIN, DEVANAGARI, CYRILLIC, ESLAV,
# ...) go by their member names only.
LANGUAGE_CODES: dict[str, fc.OCRLanguage] = {
    "eng": fc.OCRLanguage.ENGLISH,
    "chi_sim": fc.OCRLanguage.CHINESE,
    "chi_tra": fc.OCRLanguage.CHINESE_TRA,
    "kor": fc.OCRLanguage.KOREAN,
    "jpn": fc.OCRLanguage.JAPANESE,
    "lat": fc.OCRLanguage.LATIN,
    "hin": fc.OCRLanguage.DEVANAGARI,
    "rus": fc.OCRLanguage.CYRILLIC,
    "ara": fc.OCRLanguage.ARABIC,
    "tam": fc.OCRLanguage.TAMIL,
    "tel": fc.OCRLanguage.TELUGU,
    "kan": fc.OCRLanguage.KANNADA,
    "tha": fc.OCRLanguage.THAI,
    "ell": fc.OCRLanguage.GREEK,
}


def parse_languages(text: str) -> list[fc.OCRLanguage]:
    """"eng,chi_sim" or "english,chinese" (any mix) into OCR languages."""
    members = fc.OCRLanguage.__members__
    languages: list[fc.OCRLanguage] = []
    for item in filter(None, (part.strip() for part in text.split(","))):
        language = LANGUAGE_CODES.get(item.lower()) or members.get(item.upper().replace("-", "_"))
        if language is None:
            known = ", ".join([*LANGUAGE_CODES, *(name.lower() for name in members)])
            raise argparse.ArgumentTypeError(f"unknown OCR language {item!r} (known: {known})")
        languages.append(language)
    if not languages:
        raise argparse.ArgumentTypeError("no OCR language given")
    return languages


def positive_number(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a number") from None
    if not value > 0 or value == float("inf"):
        raise argparse.ArgumentTypeError(f"{text!r} is not a positive number")
    return value


def add_option_flags(parser: argparse.ArgumentParser) -> None:
    defaults = fc.ConvertOptions()
    group = parser.add_argument_group("conversion options (see docs/options.md for each format)")
    group.add_argument("--pages", metavar="RANGES", help='pages to convert, 1-based: "1-3,5,7-9" (default: all)')
    group.add_argument("--font", metavar="NAME", help="font family for the output's text (HTML)")
    group.add_argument("--lang", metavar="LANGS", type=parse_languages,
                       help="OCR languages, comma-separated: eng,chi_sim or english,chinese")
    scale = group.add_mutually_exclusive_group()
    scale.add_argument("--scale", type=positive_number, metavar="FACTOR",
                       help=f"page image scale, 1 = 72 dpi (default: {defaults.image_scaling:g})")
    scale.add_argument("--dpi", type=positive_number, metavar="DPI", help="page image resolution; sets --scale to DPI/72")
    for choice in CHOICES:
        value = getattr(defaults, choice.field)
        names = [name for name in choice.metavar().split("|") if choice.parse(name) == value]
        current = names[0] if names else str(value.name).lower().replace("_", "-")
        group.add_argument(f"--{choice.name}", type=choice.parse, metavar=choice.metavar(),
                           help=f"{choice.help} (default: {current})")
    for switch in SWITCHES:
        state = "on" if getattr(defaults, switch.field) else "off"
        group.add_argument(f"--{switch.name}", action=argparse.BooleanOptionalAction, default=None,
                           help=f"{switch.help} (default: {state})")


def option_fields(arguments: argparse.Namespace) -> dict[str, object]:
    """The ConvertOptions fields the command line sets, by field name."""
    fields: dict[str, object] = {}
    for switch in SWITCHES:
        if getattr(arguments, switch.name.replace("-", "_")) is not None:
            fields[switch.field] = getattr(arguments, switch.name.replace("-", "_"))
    for choice in CHOICES:
        value = getattr(arguments, choice.name.replace("-", "_"))
        if value is not None:
            fields[choice.field] = value
    if arguments.pages is not None:
        fields["page_ranges"] = arguments.pages
    if arguments.font is not None:
        fields["font_name"] = arguments.font
    if arguments.lang is not None:
        fields["languages"] = arguments.lang
    if arguments.scale is not None:
        fields["image_scaling"] = arguments.scale
    elif arguments.dpi is not None:
        fields["image_scaling"] = arguments.dpi / 72.0
    return fields


def build_options(fields: dict[str, object], image_type: fc.ImageType | None = None) -> fc.ConvertOptions:
    """A record with the given fields set; `image_type` (from the output's
    extension) applies unless --image-type set one."""
    options = fc.ConvertOptions()
    if image_type is not None:
        options.image_type = image_type
    for name, value in fields.items():
        setattr(options, name, value)
    return options

