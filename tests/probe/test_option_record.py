"""The 568-byte option record and the language array, byte for byte, as the
conversion library receives them."""

from __future__ import annotations

import math
import struct
from typing import Any

import pytest

import FoliantConversion as fc
from probe_control import CONVERSIONS, Probe, ProbeCall

FLAGS = [
    "enable_ai_layout",
    "contain_image",
    "contain_page_background_image",
    "json_contain_table",
    "contain_annotation",
    "excel_all_content",
    "excel_csv_format",
    "enable_ocr",
    "transparent_text",
    "txt_table_format",
    "image_path_enhance",
    "formula_to_image",
    "auto_create_folder",
    "output_document_per_page",
]
DEFAULT_FLAGS = [1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 0, 0, 1, 0]

# Enumeration fields with their offsets and enumeration classes, in record order.
ENUM_FIELDS = [
    ("page_layout_mode", 24, fc.PageLayoutMode),
    ("excel_worksheet_option", 28, fc.ExcelWorksheetOption),
    ("html_option", 32, fc.HtmlOption),
    ("ocr_option", 36, fc.OCROption),
    ("image_color_mode", 40, fc.ImageColorMode),
    ("image_type", 44, fc.ImageType),
]
DEFAULT_ENUMS = [1, 0, 0, 3, 0, 0]
TEXT_FIELDS = [("font_name", 48), ("page_ranges", 304)]


def expected_record(flags: list[int] = DEFAULT_FLAGS, count: int = 0, scaling: bytes = struct.pack("<f", 1.0),
                    enums: list[int] = DEFAULT_ENUMS, font: bytes = b"", pages: bytes = b"") -> bytes:
    """The record up to the language pointer (offsets 0 to 559)."""
    return (bytes(flags) + b"\0\0" + struct.pack("<i", count) + scaling + struct.pack("<6i", *enums)
            + font.ljust(256, b"\0") + pages.ljust(256, b"\0"))


def convert(probe: Probe, options: Any, entry: str = "start_pdf_to_txt") -> ProbeCall:
    result = getattr(fc.FOLIConversion, entry)("in.pdf", "", "out.txt", options)
    assert result == fc.ErrorCode.SUCCESS
    return probe.only_call()


def pointer_at_560(record: bytes) -> int:
    return int(struct.unpack_from("<Q", record, 560)[0])


@pytest.mark.parametrize("entry", CONVERSIONS)
def test_default_options_give_the_default_record(probe: Probe, entry: str) -> None:
    call = convert(probe, fc.ConvertOptions(), entry)
    record = call.option_bytes()
    assert call.function == CONVERSIONS[entry]
    assert len(record) == 568
    assert record[:560] == expected_record()
    assert pointer_at_560(record) == 0


@pytest.mark.parametrize("offset", range(len(FLAGS)), ids=FLAGS)
def test_each_flag_sits_at_its_offset(probe: Probe, offset: int) -> None:
    options = fc.ConvertOptions()
    setattr(options, FLAGS[offset], not DEFAULT_FLAGS[offset])
    flags = list(DEFAULT_FLAGS)
    flags[offset] = 1 - flags[offset]
    assert convert(probe, options).option_bytes()[:560] == expected_record(flags=flags)


@pytest.mark.parametrize("value", [0, 1])
def test_all_flags_at_once_are_single_bytes_before_zero_padding(probe: Probe, value: int) -> None:
    options = fc.ConvertOptions()
    for name in FLAGS:
        setattr(options, name, bool(value))
    record = convert(probe, options).option_bytes()
    assert record[:14] == bytes([value] * 14)
    assert record[14:16] == b"\0\0"
    assert record[:560] == expected_record(flags=[value] * 14)


@pytest.mark.parametrize(
    "value",
    [2, 0.1, 1 / 3, -5, 0.0, -0.0, 3.4028234663852886e38, 1e-40, math.inf, -math.inf],
    ids=["two", "tenth", "third", "minus_five", "zero", "minus_zero", "float_max", "subnormal", "inf", "minus_inf"],
)
def test_image_scaling_arrives_as_single_precision_bits(probe: Probe, value: float) -> None:
    options = fc.ConvertOptions()
    options.image_scaling = value
    record = convert(probe, options).option_bytes()
    assert record[20:24] == struct.pack("<f", value)
    assert record[:560] == expected_record(scaling=struct.pack("<f", value))


def test_image_scaling_nan_stays_nan(probe: Probe) -> None:
    options = fc.ConvertOptions()
    options.image_scaling = math.nan
    record = convert(probe, options).option_bytes()
    (bits,) = struct.unpack_from("<I", record, 20)
    assert bits & 0x7F800000 == 0x7F800000 and bits & 0x007FFFFF != 0
    assert math.isnan(struct.unpack_from("<f", record, 20)[0])
    assert record[:20] == expected_record()[:20] and record[24:560] == expected_record()[24:560]


@pytest.mark.parametrize("field, offset, enum", ENUM_FIELDS, ids=[f[0] for f in ENUM_FIELDS])
def test_every_member_of_each_enumeration_lands_at_its_offset(probe: Probe, field: str, offset: int,
                                                              enum: Any) -> None:
    index = [f[0] for f in ENUM_FIELDS].index(field)
    for member in enum.__members__.values():
        probe.reset()
        options = fc.ConvertOptions()
        setattr(options, field, member)
        record = convert(probe, options).option_bytes()
        enums = list(DEFAULT_ENUMS)
        enums[index] = member.value
        assert struct.unpack_from("<i", record, offset)[0] == member.value, member
        assert record[:560] == expected_record(enums=enums), member


def test_enumeration_fields_follow_record_order_not_registration_order(probe: Probe) -> None:
    options = fc.ConvertOptions()
    options.page_layout_mode = fc.PageLayoutMode.BOX
    options.excel_worksheet_option = fc.ExcelWorksheetOption.FOR_DOCUMENT
    options.html_option = fc.HtmlOption.MULTIPLE_PAGE_WITH_BOOKMARK
    options.ocr_option = fc.OCROption.SCAN_PAGE
    options.image_color_mode = fc.ImageColorMode.BINARY
    options.image_type = fc.ImageType.WEBP
    record = convert(probe, options).option_bytes()
    assert struct.unpack_from("<6i", record, 24) == (0, 2, 3, 1, 2, 8)
    assert struct.unpack_from("<i", record, 28)[0] == 2  # excel_worksheet_option


A255 = b"a" * 255
TEXT_CASES = [
    ("empty", "", b""),
    ("ascii", "Arial", b"Arial"),
    ("utf8_str", "Schrift-ß 宋体", "Schrift-ß 宋体".encode()),
    ("bytes_not_utf8", b"\xff\xfe\x80x", b"\xff\xfe\x80x"),
    ("exactly_255", "a" * 255, A255),
    ("256_loses_last", "a" * 255 + "b", A255),
    ("300_cut_to_255", "b" * 300, b"b" * 255),
    ("embedded_nul", b"Ari\x00al", b"Ari"),
    ("two_byte_char_straddles", "a" * 254 + "é", b"a" * 254 + b"\xc3"),
    ("three_byte_char_straddles", "a" * 253 + "€", b"a" * 253 + b"\xe2\x82"),
    ("four_byte_char_ends_at_255", "a" * 251 + "😀", b"a" * 251 + "😀".encode()),
]


@pytest.mark.parametrize("field, offset", TEXT_FIELDS, ids=[f[0] for f in TEXT_FIELDS])
@pytest.mark.parametrize("value, arrives", [c[1:] for c in TEXT_CASES], ids=[c[0] for c in TEXT_CASES])
def test_text_fields_are_cut_at_255_bytes(probe: Probe, field: str, offset: int, value: str | bytes,
                                          arrives: bytes) -> None:
    options = fc.ConvertOptions()
    setattr(options, field, value)
    record = convert(probe, options).option_bytes()
    assert record[offset:offset + 256] == arrives.ljust(256, b"\0")
    if field == "font_name":
        assert record[:560] == expected_record(font=arrives)
    else:
        assert record[:560] == expected_record(pages=arrives)


def test_both_text_fields_together(probe: Probe) -> None:
    options = fc.ConvertOptions()
    options.font_name = "Helvetica"
    options.page_ranges = "1-3,5,7-9"
    record = convert(probe, options).option_bytes()
    assert record[:560] == expected_record(font=b"Helvetica", pages=b"1-3,5,7-9")


def test_empty_language_list_gives_count_zero_and_null_pointer(probe: Probe) -> None:
    call = convert(probe, fc.ConvertOptions())
    record = call.option_bytes()
    assert struct.unpack_from("<i", record, 16)[0] == 0
    assert pointer_at_560(record) == 0
    assert call.language_values() is None


@pytest.mark.parametrize(
    "languages",
    [
        [fc.OCRLanguage.ENGLISH, fc.OCRLanguage.CHINESE, fc.OCRLanguage.ENGLISH],
        [fc.OCRLanguage.AUTO],
        list(fc.OCRLanguage.__members__.values()),
        list(reversed(fc.OCRLanguage.__members__.values())),
    ],
    ids=["english_chinese_english", "auto", "all_in_order", "all_reversed"],
)
def test_language_array_keeps_order_and_duplicates(probe: Probe, languages: list[Any]) -> None:
    options = fc.ConvertOptions()
    options.languages = languages
    call = convert(probe, options)
    record = call.option_bytes()
    assert struct.unpack_from("<i", record, 16)[0] == len(languages)
    assert pointer_at_560(record) != 0
    assert call.language_values() == [language.value for language in languages]
    assert record[:560] == expected_record(count=len(languages))


def test_english_chinese_english_is_3_1_3(probe: Probe) -> None:
    options = fc.ConvertOptions()
    options.languages = [fc.OCRLanguage.ENGLISH, fc.OCRLanguage.CHINESE, fc.OCRLanguage.ENGLISH]
    assert convert(probe, options).language_values() == [3, 1, 3]


@pytest.mark.parametrize("entry", CONVERSIONS)
def test_every_entry_point_hands_over_the_full_record(probe: Probe, entry: str) -> None:
    options = fc.ConvertOptions()
    options.enable_ocr = True
    options.contain_image = False
    options.image_scaling = 0.1
    options.excel_worksheet_option = fc.ExcelWorksheetOption.FOR_PAGE
    options.image_type = fc.ImageType.PNG
    options.font_name = "x" * 256
    options.page_ranges = "2-4"
    options.languages = [fc.OCRLanguage.GREEK, fc.OCRLanguage.LATIN]
    call = convert(probe, options, entry)
    flags = list(DEFAULT_FLAGS)
    flags[1], flags[7] = 0, 1
    assert call.function == CONVERSIONS[entry]
    assert call.option_bytes()[:560] == expected_record(
        flags=flags, count=2, scaling=struct.pack("<f", 0.1), enums=[1, 1, 0, 3, 0, 3],
        font=b"x" * 255, pages=b"2-4")
    assert call.language_values() == [14, 6]


def test_record_is_read_at_the_start_and_options_stay_unchanged(probe: Probe) -> None:
    options = fc.ConvertOptions()
    options.font_name = "y" * 300
    options.languages = [fc.OCRLanguage.THAI]
    first = convert(probe, options).option_bytes()
    assert options.font_name == "y" * 300
    assert options.languages == [fc.OCRLanguage.THAI]
    probe.reset()
    options.languages = []
    second = convert(probe, options).option_bytes()
    assert first[:16] == second[:16] and first[20:560] == second[20:560]
    assert struct.unpack_from("<i", second, 16)[0] == 0 and pointer_at_560(second) == 0
