"""The eight enumerations: members, numbers, docstrings and the behaviour of
their objects."""

from __future__ import annotations

import enum
import operator
import pickle
from collections.abc import Callable

import FoliantConversion as fc
import pytest

from .support import ENUM_NAMES

MEMBERS: dict[str, list[tuple[str, int, str]]] = {
    "OCRLanguage": [
        ("UNKNOWN", 0, "Unknown language"),
        ("CHINESE", 1, "Chinese (Simplified)"),
        ("CHINESE_TRA", 2, "Chinese (Traditional)"),
        ("ENGLISH", 3, "English"),
        ("KOREAN", 4, "Korean"),
        ("JAPANESE", 5, "Japanese"),
        ("LATIN", 6, "Latin"),
        ("DEVANAGARI", 7, "Devanagari"),
        ("CYRILLIC", 8, "Cyrillic"),
        ("ARABIC", 9, "Arabic"),
        ("TAMIL", 10, "Tamil"),
        ("TELUGU", 11, "Telugu"),
        ("KANNADA", 12, "Kannada"),
        ("THAI", 13, "Thai"),
        ("GREEK", 14, "Greek"),
        ("ESLAV", 15, "Eslav"),
        ("AUTO", 16, "Automatically select language"),
    ],
    "ErrorCode": [
        ("SUCCESS", 0, "Success, and no error occurs"),
        ("CANCEL", 1, "Conversion process was canceled"),
        ("FILE_ERROR", 2, "File cannot be found or could not be opened"),
        (
            "PDF_PASSWORD_ERROR",
            3,
            "Invalid password. Usually, this error may occur when loading a PDF document with password. "
            "When meet this, user should load document again with correct password",
        ),
        ("PDF_PAGE_ERROR", 4, "PDF page failed to load"),
        ("PDF_FORMAT_ERROR", 5, "Format is invalid. For files, this may also mean that file is corrupted"),
        ("PDF_SECURITY_ERROR", 6, "PDF document is encrypted by some unsupported security handler"),
        ("OUT_OF_MEMORY", 7, "Out-of-memory error occurs"),
        ("IO_ERROR", 8, "System I/O error"),
        ("COMPRESS_ERROR", 9, "Folder compression failed"),
        ("NO_TABLE_ERROR", 40, "No tables found in the source file"),
        ("OCR_FAILURE", 41, "Failed to call OCR recognition"),
        ("CONVERTING_ERROR", 60, "Currently executing conversion task"),
        ("INVALID_ARG", 80, "Invalid argument provided"),
        ("INVALID_HANDLE", 81, "The handle is invalid, possibly uninitialized or already released"),
        ("INVALID_MODEL_FORMAT", 82, "The model file format is invalid or corrupted"),
        ("MODEL_FUNCTION_UNSUPPORTED", 83, "The model does not support the requested function or operation"),
        ("MODEL_FORMAT_UNSUPPORTED", 84, "The model format is not supported by this system or SDK"),
        ("MODEL_SDK_MISMATCH", 85, "The model is incompatible with the current SDK version"),
        ("IMAGE_DATA_EMPTY", 86, "The image data is empty or not provided"),
        ("IMAGE_WIDTH_HEIGHT_ERROR", 87, "The image width or height is invalid (e.g., less than or equal to zero)"),
        ("IMAGE_FORMAT_UNSUPPORTED", 88, "The image format is not supported (e.g., not RGB, YUV, etc.)"),
        ("IMAGE_INVALID", 89, "The image is invalid or corrupted"),
        ("MISSING_ARG", 91, "A required argument is missing"),
        ("INVALID_TABLE", 94, "The table data is invalid or null"),
        ("UNKNOWN_ERROR", 100, "Unknown error"),
    ],
    "PageLayoutMode": [("BOX", 0, "Box mode"), ("FLOW", 1, "Flowing mode")],
    "ImageColorMode": [("COLOR", 0, "Color mode"), ("GRAY", 1, "Gray mode"), ("BINARY", 2, "Binary mode")],
    "ImageType": [
        ("JPG", 0, ".jpg"),
        ("JPEG", 1, ".jpeg"),
        ("JPEG2000", 2, ".jp2"),
        ("PNG", 3, ".png"),
        ("BMP", 4, ".bmp"),
        ("TIFF", 5, ".tiff"),
        ("TGA", 6, ".tga"),
        ("GIF", 7, ".gif"),
        ("WEBP", 8, ".webp"),
    ],
    "HtmlOption": [
        ("SINGLE_PAGE", 0, "Convert the entire PDF file into a single HTML file"),
        (
            "SINGLE_PAGE_WITH_BOOKMARK",
            1,
            "Convert the PDF file into a single HTML file with an outline for navigation at the beginning of "
            "the HTML page",
        ),
        ("MULTIPLE_PAGE", 2, "Convert the PDF file into multiple HTML files"),
        (
            "MULTIPLE_PAGE_WITH_BOOKMARK",
            3,
            "Convert the PDF file into multiple HTML files. Each HTML file corresponds to a PDF page, and users "
            "can navigate to the next HTML file via a link at the bottom of the HTML page",
        ),
    ],
    "ExcelWorksheetOption": [
        ("FOR_TABLE", 0, "A worksheet to contain only one table"),
        ("FOR_PAGE", 1, "A worksheet to contain table for PDF Page"),
        ("FOR_DOCUMENT", 2, "A worksheet to contain table for PDF Document"),
    ],
    "OCROption": [
        ("INVALID_CHARACTER", 0, "Recognize illegal characters in PDF documents"),
        ("SCAN_PAGE", 1, "Recognize scanned pages in PDF documents"),
        ("INVALID_CHARACTER_AND_SCAN_PAGE", 2, "Recognize illegal characters and scanned pages in PDF documents"),
        ("ALL", 3, "Recognize all characters on all pages"),
    ],
}

ALL_MEMBERS = [(enum_name, *member) for enum_name, members in MEMBERS.items() for member in members]
MEMBER_IDS = [f"{enum_name}.{name}" for enum_name, name, _, _ in ALL_MEMBERS]


def test_the_enumerations_are_the_expected_eight() -> None:
    assert list(MEMBERS) == ENUM_NAMES


@pytest.mark.parametrize("enum_name", ENUM_NAMES)
def test_members_in_registration_order(enum_name: str) -> None:
    cls = getattr(fc, enum_name)
    assert list(cls.__members__) == [name for name, _, _ in MEMBERS[enum_name]]
    for name, member in cls.__members__.items():
        assert member is getattr(cls, name)


@pytest.mark.parametrize(("enum_name", "name", "number", "doc"), ALL_MEMBERS, ids=MEMBER_IDS)
def test_member_number_name_and_conversions(enum_name: str, name: str, number: int, doc: str) -> None:
    member = getattr(getattr(fc, enum_name), name)
    assert member.name == name
    assert type(member.value) is int and member.value == number
    assert int(member) == number
    assert operator.index(member) == number
    assert hash(member) == number


@pytest.mark.parametrize(("enum_name", "name", "number", "doc"), ALL_MEMBERS, ids=MEMBER_IDS)
def test_member_repr_and_str(enum_name: str, name: str, number: int, doc: str) -> None:
    member = getattr(getattr(fc, enum_name), name)
    assert repr(member) == f"<{enum_name}.{name}: {number}>"
    assert str(member) == f"{enum_name}.{name}"


@pytest.mark.parametrize(("enum_name", "name", "number", "doc"), ALL_MEMBERS, ids=MEMBER_IDS)
def test_member_is_exported_to_the_module(enum_name: str, name: str, number: int, doc: str) -> None:
    assert getattr(fc, name) is getattr(getattr(fc, enum_name), name)


@pytest.mark.parametrize("enum_name", ENUM_NAMES)
def test_class_docstring_lists_the_members(enum_name: str) -> None:
    expected = "Members:" + "".join(f"\n\n  {name} : {doc}" for name, _, doc in MEMBERS[enum_name])
    assert getattr(fc, enum_name).__doc__ == expected


def test_page_layout_mode_docstring_lines() -> None:
    assert fc.PageLayoutMode.__doc__.split("\n") == ["Members:", "", "  BOX : Box mode", "", "  FLOW : Flowing mode"]


@pytest.mark.parametrize("enum_name", ENUM_NAMES)
def test_members_mapping_is_a_fresh_copy(enum_name: str) -> None:
    cls = getattr(fc, enum_name)
    first = cls.__members__
    assert type(first) is dict
    assert first is not cls.__members__
    first["INTRUDER"] = first[next(iter(first))]
    del first[next(iter(first))]
    assert list(cls.__members__) == [name for name, _, _ in MEMBERS[enum_name]]
    assert not hasattr(cls, "INTRUDER")


@pytest.mark.parametrize("enum_name", ENUM_NAMES)
def test_not_a_standard_library_enum(enum_name: str) -> None:
    cls = getattr(fc, enum_name)
    assert not issubclass(cls, enum.Enum)
    assert not issubclass(cls, int)


def test_error_code_is_not_equal_to_its_number() -> None:
    assert fc.ErrorCode.SUCCESS != 0
    assert not (fc.ErrorCode.SUCCESS == 0)
    assert fc.ErrorCode.SUCCESS.value == 0 and int(fc.ErrorCode.SUCCESS) == 0


@pytest.mark.parametrize(
    ("left", "right"),
    [
        (fc.OCRLanguage.ENGLISH, fc.ImageType.PNG),
        (fc.ErrorCode.SUCCESS, fc.PageLayoutMode.BOX),
        (fc.OCROption.ALL, 3),
        (fc.ImageColorMode.COLOR, None),
        (fc.HtmlOption.SINGLE_PAGE, "SINGLE_PAGE"),
        (fc.ImageColorMode.GRAY, fc.ImageColorMode.BINARY),
    ],
)
def test_unequal_pairs(left: object, right: object) -> None:
    assert left != right
    assert not (left == right)
    assert right != left


@pytest.mark.parametrize(("enum_name", "name", "number", "doc"), ALL_MEMBERS, ids=MEMBER_IDS)
def test_made_from_number_equals_member_without_identity(enum_name: str, name: str, number: int, doc: str) -> None:
    cls = getattr(fc, enum_name)
    made = cls(number)
    assert made == getattr(cls, name)
    assert not (made != getattr(cls, name))
    assert made is not getattr(cls, name)
    assert made.name == name
    assert cls(value=number) == made


def test_dictionary_keyed_by_member_finds_made_object() -> None:
    table = {fc.ErrorCode.SUCCESS: "ok", fc.ErrorCode.CANCEL: "stopped"}
    assert table[fc.ErrorCode(0)] == "ok"
    assert table[fc.ErrorCode(1)] == "stopped"
    # Same number, other enumeration: equal hash but a different key.
    assert fc.PageLayoutMode.BOX not in table


def test_unknown_number_has_placeholder_name() -> None:
    made = fc.ErrorCode(12345)
    assert made.name == "???"
    assert made.value == 12345
    assert repr(made) == "<ErrorCode.???: 12345>"
    assert str(made) == "ErrorCode.???"
    assert all(made != member for member in fc.ErrorCode.__members__.values())


@pytest.mark.parametrize("number", [-1, -(2**31), 2**31 - 1])
def test_any_32_bit_number_is_accepted(number: int) -> None:
    assert fc.OCRLanguage(number).value == number


@pytest.mark.parametrize("argument", [2**31, -(2**31) - 1, 1.0, "1", None, b"\x01", [1]])
def test_constructor_refuses_non_integers_and_out_of_range(argument: object) -> None:
    with pytest.raises(TypeError):
        fc.ErrorCode(argument)


@pytest.mark.parametrize(
    "compare", [operator.lt, operator.le, operator.gt, operator.ge], ids=["lt", "le", "gt", "ge"]
)
def test_no_ordering(compare: Callable[[object, object], object]) -> None:
    with pytest.raises(TypeError):
        compare(fc.ImageColorMode.GRAY, fc.ImageColorMode.BINARY)


@pytest.mark.parametrize(
    "operation",
    [operator.add, operator.sub, operator.or_, operator.and_, operator.xor, operator.mul],
    ids=["add", "sub", "or", "and", "xor", "mul"],
)
def test_no_arithmetic_or_bitwise_operators(operation: Callable[[object, object], object]) -> None:
    with pytest.raises(TypeError):
        operation(fc.OCROption.SCAN_PAGE, fc.OCROption.SCAN_PAGE)
    with pytest.raises(TypeError):
        operation(fc.OCROption.SCAN_PAGE, 1)


@pytest.mark.parametrize("attribute", ["name", "value"])
def test_name_and_value_are_read_only(attribute: str) -> None:
    member = fc.ErrorCode(2)
    with pytest.raises(AttributeError):
        setattr(member, attribute, 5)
    assert member == fc.ErrorCode.FILE_ERROR


# Protocols 0 and 1 included: they once aborted the interpreter.
@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
@pytest.mark.parametrize(("enum_name", "name", "number", "doc"), ALL_MEMBERS[::5], ids=MEMBER_IDS[::5])
def test_pickling_round_trip(protocol: int, enum_name: str, name: str, number: int, doc: str) -> None:
    member = getattr(getattr(fc, enum_name), name)
    restored = pickle.loads(pickle.dumps(member, protocol=protocol))
    assert type(restored) is type(member)
    assert restored == member and restored.name == name
    assert restored is not member


def test_pickled_state_is_the_number() -> None:
    assert fc.ImageType.WEBP.__getstate__() == 8
    assert fc.ErrorCode(12345).__getstate__() == 12345
    assert b"K\x08" in pickle.dumps(fc.ImageType.WEBP, protocol=2)


def test_unknown_number_survives_pickling() -> None:
    restored = pickle.loads(pickle.dumps(fc.ErrorCode(777), protocol=pickle.HIGHEST_PROTOCOL))
    assert restored.value == 777 and restored.name == "???"


def test_member_names_are_distinct_across_enumerations() -> None:
    names = [name for _, name, _, _ in ALL_MEMBERS]
    assert len(names) == len(set(names))
