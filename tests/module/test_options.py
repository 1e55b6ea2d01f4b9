"""ConvertOptions: defaults, docstrings, the conversions and refusals of every
kind of property, copy semantics and the fixed representation."""

from __future__ import annotations

import copy
import math
import pickle
import struct
from collections.abc import Iterable

import FoliantConversion as fc
import pytest

try:
    import numpy
except ImportError:  # numpy only widens the cases below
    numpy = None

from .support import docstring_of, signature_of

BOOL_FIELDS = [
    ("enable_ai_layout", True, "Whether to enable AI layout analysis during conversion"),
    ("contain_image", True,
     "Whether to contain images when converting, which takes effect only when enable_ocr is false"),
    ("contain_page_background_image", True,
     "Whether to contain page background images when converting,which takes effect only when enable_ocr is true."),
    ("json_contain_table", True, "Whether to contain table when convert pdf to json"),
    ("contain_annotation", True, "Whether to contain annotations when converting"),
    ("excel_all_content", False, "Whether to set contain all pdf content to the xlsx file"),
    ("excel_csv_format", False, "Whether to set to save the table in csv format"),
    ("enable_ocr", False, "Whether to use OCR"),
    ("transparent_text", False, "Whether to make the text transparent in the output document"),
    ("txt_table_format", True, "Whether format table when convert pdf to txt"),
    ("image_path_enhance", False, "Whether to enhance the image path"),
    ("formula_to_image", False, "Whether to convert formula to image"),
    ("auto_create_folder", True, "Whether to automatically create folder when exporting multiple documents"),
    ("output_document_per_page", False, "whether to output one document per page"),
]
ENUM_FIELDS = [
    ("page_layout_mode", fc.PageLayoutMode, fc.PageLayoutMode.FLOW, "Specify the layout mode"),
    ("html_option", fc.HtmlOption, fc.HtmlOption.SINGLE_PAGE, "Specify the HTML option for conversion"),
    ("ocr_option", fc.OCROption, fc.OCROption.ALL, "Specify the OCR option"),
    ("excel_worksheet_option", fc.ExcelWorksheetOption, fc.ExcelWorksheetOption.FOR_TABLE,
     "Specify the Excel worksheet option for conversion"),
    ("image_color_mode", fc.ImageColorMode, fc.ImageColorMode.COLOR, "Specify the image color mode of the image file"),
    ("image_type", fc.ImageType, fc.ImageType.JPG, "Specify the image type of the image file"),
]
STRING_FIELDS = [
    ("font_name", 'Specify the fontname to convert, e.g. "Arial"'),
    ("page_ranges", 'Specify the pages to convert, e.g. "1-3,5,7-9"'),
]
PROPERTY_DOCS = (
    {name: doc for name, _, doc in BOOL_FIELDS}
    | {"image_scaling": "Specify the image scaling of the image file"}
    | {name: doc for name, _, _, doc in ENUM_FIELDS}
    | dict(STRING_FIELDS)
    | {"languages": "Specify the OCR languages"}
)
BOOL_NAMES = [name for name, _, _ in BOOL_FIELDS]
ENUM_NAMES = [name for name, _, _, _ in ENUM_FIELDS]
STRING_NAMES = [name for name, _ in STRING_FIELDS]
REPR = "<foliant.base.ConvertOptions>"


def _float32(value: float) -> float:
    return float(struct.unpack("<f", struct.pack("<f", value))[0])


class Truthy:
    def __init__(self, truth: bool) -> None:
        self.truth = truth

    def __bool__(self) -> bool:
        return self.truth


class FloatLike:
    def __float__(self) -> float:
        return 2.5


class IndexLike:
    def __index__(self) -> int:
        return 7


# --- shape of the class ----------------------------------------------------


def test_properties_in_registration_order() -> None:
    properties = [name for name, value in vars(fc.ConvertOptions).items() if isinstance(value, property)]
    assert properties == BOOL_NAMES + ["image_scaling"] + ENUM_NAMES + STRING_NAMES + ["languages"]
    assert ENUM_NAMES == [
        "page_layout_mode", "html_option", "ocr_option", "excel_worksheet_option", "image_color_mode", "image_type"]


def test_class_members_are_exactly_the_bound_ones() -> None:
    own = [name for name in vars(fc.ConvertOptions) if not name.startswith("_") or name in ("__init__", "__repr__",
                                                                                           "__str__")]
    assert own == ["__init__", *PROPERTY_DOCS, "__repr__", "__str__"]


@pytest.mark.parametrize("name", list(PROPERTY_DOCS))
def test_property_docstrings(name: str) -> None:
    prop = vars(fc.ConvertOptions)[name]
    assert prop.__doc__ == PROPERTY_DOCS[name]
    assert prop.fget is not None and prop.fset is not None


@pytest.mark.parametrize(
    ("name", "getter", "setter"),
    [(name, "bool", "bool") for name in BOOL_NAMES]
    + [("image_scaling", "float", "typing.SupportsFloat | typing.SupportsIndex")]
    + [(name, f"FoliantConversion.{cls.__name__}", f"FoliantConversion.{cls.__name__}") for name, cls, _, _ in
       ENUM_FIELDS]
    + [(name, "str", "str") for name in STRING_NAMES]
    + [("languages", "list[FoliantConversion.OCRLanguage]",
        "collections.abc.Sequence[FoliantConversion.OCRLanguage]")],
)
def test_property_declared_types(name: str, getter: str, setter: str) -> None:
    prop = vars(fc.ConvertOptions)[name]
    assert signature_of(prop.fget) == f"(self: FoliantConversion.ConvertOptions) -> {getter}"
    assert signature_of(prop.fset) == f"(self: FoliantConversion.ConvertOptions, arg0: {setter}) -> None"


def test_constructor_docstring_and_no_class_docstring() -> None:
    assert fc.ConvertOptions.__doc__ is None
    assert fc.ConvertOptions.__init__.__doc__ == "__init__(self: FoliantConversion.ConvertOptions) -> None\n\n" \
                                                 "Default constructor\n"


@pytest.mark.parametrize(("args", "kwargs"), [((1,), {}), ((), {"enable_ocr": True}), ((None,), {})])
def test_constructor_takes_no_arguments(args: tuple[object, ...], kwargs: dict[str, object]) -> None:
    with pytest.raises(TypeError):
        fc.ConvertOptions(*args, **kwargs)


# --- defaults ----------------------------------------------------------------


def test_defaults() -> None:
    options = fc.ConvertOptions()
    assert {name: getattr(options, name) for name in BOOL_NAMES} == {name: default for name, default, _ in BOOL_FIELDS}
    assert type(options.image_scaling) is float and options.image_scaling == 1.0
    for name, cls, default, _ in ENUM_FIELDS:
        value = getattr(options, name)
        assert type(value) is cls and value == default, name
    assert options.page_layout_mode.value == 1 and options.ocr_option.value == 3
    assert options.font_name == "" and options.page_ranges == ""
    assert options.languages == []


# --- bool fields ---------------------------------------------------------------


@pytest.mark.parametrize(
    ("value", "stored"),
    [(True, True), (False, False), (None, False), (0, False), (2, True), (-1, True), (0.0, False), (2.5, True),
     (Truthy(True), True), (Truthy(False), False)]
    + ([(numpy.bool_(True), True), (numpy.bool_(False), False)] if numpy is not None else []),
    ids=repr,
)
def test_bool_fields_take_numeric_truth(value: object, stored: bool) -> None:
    options = fc.ConvertOptions()
    for name in BOOL_NAMES:
        setattr(options, name, not stored)
        setattr(options, name, value)
        assert getattr(options, name) is stored, name


@pytest.mark.parametrize("value", ["true", "", b"\x01", [], [1], (), object()], ids=repr)
def test_bool_fields_refuse_other_objects_and_keep_value(value: object) -> None:
    options = fc.ConvertOptions()
    for name, default, _ in BOOL_FIELDS:
        with pytest.raises(TypeError):
            setattr(options, name, value)
        assert getattr(options, name) is default, name


# --- image_scaling -------------------------------------------------------------


@pytest.mark.parametrize(
    ("value", "stored"),
    [(2, 2.0), (0.1, 0.10000000149011612), (-5, -5.0), (0, 0.0), (True, 1.0), (1e-50, 0.0), (1e40, math.inf),
     (math.inf, math.inf), (-math.inf, -math.inf), (FloatLike(), 2.5), (IndexLike(), 7.0),
     (3.3, _float32(3.3)), (fc.ImageType.PNG, 3.0)]
    + ([(numpy.float32(0.75), 0.75)] if numpy is not None else []),
    ids=repr,
)
def test_image_scaling_rounds_to_single_precision(value: object, stored: float) -> None:
    options = fc.ConvertOptions()
    options.image_scaling = value
    assert type(options.image_scaling) is float
    assert options.image_scaling == stored


def test_image_scaling_keeps_nan() -> None:
    options = fc.ConvertOptions()
    options.image_scaling = math.nan
    assert math.isnan(options.image_scaling)


@pytest.mark.parametrize("value", ["1.0", None, b"1", [1.0], 1j, object()], ids=repr)
def test_image_scaling_refusals_keep_value(value: object) -> None:
    options = fc.ConvertOptions()
    options.image_scaling = 0.5
    with pytest.raises(TypeError):
        options.image_scaling = value
    assert options.image_scaling == 0.5


# --- enumeration fields --------------------------------------------------------


@pytest.mark.parametrize(("name", "cls", "default", "doc"), ENUM_FIELDS, ids=ENUM_NAMES)
def test_enum_fields_take_every_member(name: str, cls: type, default: object, doc: str) -> None:
    options = fc.ConvertOptions()
    for member in cls.__members__.values():  # type: ignore[attr-defined]
        setattr(options, name, member)
        read = getattr(options, name)
        assert read == member
        assert read is not member


@pytest.mark.parametrize(("name", "cls", "default", "doc"), ENUM_FIELDS, ids=ENUM_NAMES)
def test_enum_field_reads_are_independent_copies(name: str, cls: type, default: object, doc: str) -> None:
    options = fc.ConvertOptions()
    members = list(cls.__members__.values())  # type: ignore[attr-defined]
    setattr(options, name, members[0])
    first = getattr(options, name)
    second = getattr(options, name)
    assert first == second and first is not second
    setattr(options, name, members[1])
    assert first == members[0]
    assert getattr(options, name) == members[1]


def _wrong_members(cls: type) -> list[object]:
    others = [getattr(fc, other) for other in ("ImageType", "OCROption") if getattr(fc, other) is not cls]
    return [0, 1, "BOX", None, 1.0, others[0](0), fc.OCRLanguage.ENGLISH]


@pytest.mark.parametrize(("name", "cls", "default", "doc"), ENUM_FIELDS, ids=ENUM_NAMES)
def test_enum_fields_refuse_integers_strings_and_other_enumerations(
    name: str, cls: type, default: object, doc: str
) -> None:
    options = fc.ConvertOptions()
    for value in _wrong_members(cls):
        with pytest.raises(TypeError):
            setattr(options, name, value)
        assert getattr(options, name) == default, value


def test_page_layout_mode_example() -> None:
    options = fc.ConvertOptions()
    with pytest.raises(TypeError):
        options.page_layout_mode = 0  # type: ignore[assignment]
    options.page_layout_mode = fc.PageLayoutMode.BOX
    assert options.page_layout_mode == fc.PageLayoutMode.BOX
    assert options.page_layout_mode is not fc.PageLayoutMode.BOX


# --- string fields -------------------------------------------------------------


@pytest.mark.parametrize("name", STRING_NAMES)
@pytest.mark.parametrize(
    ("value", "read"),
    [("Arial", "Arial"), (b"Arial", "Arial"), (bytearray(b"1-3,5"), "1-3,5"), ("", ""),
     ("Ünïcødé 字体", "Ünïcødé 字体"), ("Ünï".encode(), "Ünï"), ("a\0b", "a\0b"), ("x" * 5000, "x" * 5000),
     ("not, validated; at all!", "not, validated; at all!")],
    ids=repr,
)
def test_string_fields_take_text_and_bytes(name: str, value: object, read: str) -> None:
    options = fc.ConvertOptions()
    setattr(options, name, value)
    assert getattr(options, name) == read
    assert type(getattr(options, name)) is str


@pytest.mark.parametrize("name", STRING_NAMES)
@pytest.mark.parametrize("value", [None, 5, ["a"], 1.5, fc.ImageType.PNG], ids=repr)
def test_string_fields_refuse_other_objects_and_keep_value(name: str, value: object) -> None:
    options = fc.ConvertOptions()
    setattr(options, name, "kept")
    with pytest.raises(TypeError):
        setattr(options, name, value)
    assert getattr(options, name) == "kept"


@pytest.mark.parametrize("name", STRING_NAMES)
def test_invalid_utf8_raises_on_read_and_can_be_overwritten(name: str) -> None:
    options = fc.ConvertOptions()
    setattr(options, name, b"ok\xff\xfe")
    with pytest.raises(UnicodeDecodeError):
        getattr(options, name)
    with pytest.raises(UnicodeDecodeError):
        getattr(options, name)
    setattr(options, name, "fine")
    assert getattr(options, name) == "fine"


def test_string_reads_are_new_objects() -> None:
    options = fc.ConvertOptions()
    options.font_name = "Helvetica Neue Bold"
    assert options.font_name == options.font_name
    assert options.font_name is not options.font_name


# --- languages -----------------------------------------------------------------

E, C, K, G = fc.OCRLanguage.ENGLISH, fc.OCRLanguage.CHINESE, fc.OCRLanguage.KOREAN, fc.OCRLanguage.GREEK


def _generator(items: list[object]) -> Iterable[object]:
    yield from items


@pytest.mark.parametrize(
    ("make", "expected"),
    [
        (lambda: [E, C], [E, C]),
        (lambda: (E, C), [E, C]),
        (lambda: [E, C, E], [E, C, E]),
        (lambda: {K}, [K]),
        (lambda: frozenset({G}), [G]),
        (lambda: _generator([C, E, K]), [C, E, K]),
        (lambda: {E: 1, G: 2}.keys(), [E, G]),
        (lambda: {1: K, 2: K}.values(), [K, K]),
        (lambda: {}.items(), []),
        (lambda: map(lambda member: member, [G, E]), [G, E]),
        (lambda: zip(), []),
        (lambda: [], []),
        (lambda: (), []),
    ],
    ids=["list", "tuple", "duplicates", "set", "frozenset", "generator", "keys", "values", "items", "map", "zip",
         "empty list", "empty tuple"],
)
def test_languages_accept_sequences_and_collections(make: object, expected: list[object]) -> None:
    options = fc.ConvertOptions()
    options.languages = [fc.OCRLanguage.AUTO]
    options.languages = make()  # type: ignore[operator]
    assert options.languages == expected


def test_languages_consume_a_generator_entirely() -> None:
    options = fc.ConvertOptions()
    generator = iter(_generator([E, C]))
    options.languages = generator  # type: ignore[assignment]
    assert next(generator, None) is None
    assert options.languages == [E, C]


@pytest.mark.parametrize(
    "value",
    ["ENGLISH", b"\x03", [3], (E, 3), [E, fc.ImageType.PNG], [None], None, 3, E, {E: 1}.items(), zip([E]),
     [[E]]],
    ids=repr,
)
def test_languages_refusals_keep_the_old_list(value: object) -> None:
    options = fc.ConvertOptions()
    options.languages = [G, E]
    with pytest.raises(TypeError):
        options.languages = value  # type: ignore[assignment]
    assert options.languages == [G, E]


def test_languages_list_is_a_copy_each_way() -> None:
    options = fc.ConvertOptions()
    source = [E]
    options.languages = source
    source.append(C)
    assert options.languages == [E]
    read = options.languages
    read.append(K)
    read[0] = G
    assert options.languages == [E]
    assert options.languages is not options.languages
    assert options.languages[0] == E and options.languages[0] is not E


def test_languages_elements_are_independent_copies() -> None:
    options = fc.ConvertOptions()
    options.languages = [E, C]
    earlier = options.languages
    options.languages = [K]
    assert earlier == [E, C]


# --- record as a Python object ---------------------------------------------------


def test_fixed_repr_and_str() -> None:
    options = fc.ConvertOptions()
    assert repr(options) == REPR and str(options) == REPR
    options.font_name = "Arial"
    options.languages = [E]
    options.enable_ocr = True
    assert repr(options) == REPR and str(options) == REPR and f"{options}" == REPR
    assert docstring_of(fc.ConvertOptions.__repr__) == "String representation of ConvertOptions object"
    assert docstring_of(fc.ConvertOptions.__str__) == "String representation of ConvertOptions object"


def test_no_attribute_dictionary() -> None:
    options = fc.ConvertOptions()
    assert not hasattr(options, "__dict__")
    with pytest.raises(AttributeError):
        options.enable_orc = True  # type: ignore[attr-defined]
    with pytest.raises(AttributeError):
        options.enable_orc  # type: ignore[attr-defined]  # noqa: B018
    assert not hasattr(options, "enable_orc")


def test_identity_equality_and_hash() -> None:
    first, second = fc.ConvertOptions(), fc.ConvertOptions()
    assert first == first and first != second
    assert hash(first) == hash(first)
    assert len({first, second, first}) == 2


@pytest.mark.parametrize(
    "action",
    [copy.copy, copy.deepcopy]
    + [lambda obj, protocol=protocol: pickle.dumps(obj, protocol=protocol) for protocol in range(pickle.HIGHEST_PROTOCOL + 1)],
    ids=["copy", "deepcopy"] + [f"pickle-{protocol}" for protocol in range(pickle.HIGHEST_PROTOCOL + 1)],
)
@pytest.mark.parametrize("make", [fc.ConvertOptions, fc.ConvertCallback], ids=["options", "callback"])
def test_no_copy_or_pickling_support(action: object, make: object) -> None:
    # Every protocol is refused with TypeError; 0 and 1 once aborted the process.
    with pytest.raises(TypeError, match="cannot pickle"):
        action(make())  # type: ignore[operator]


def test_records_are_independent() -> None:
    first, second = fc.ConvertOptions(), fc.ConvertOptions()
    first.enable_ocr = True
    first.languages = [E]
    first.image_type = fc.ImageType.PNG
    assert second.enable_ocr is False and second.languages == [] and second.image_type == fc.ImageType.JPG
