"""
        Foliant Conversion python3 SDK
    """

import collections.abc
import typing

class OCRLanguage:
    """
    Members:

      UNKNOWN : Unknown language

      CHINESE : Chinese (Simplified)

      CHINESE_TRA : Chinese (Traditional)

      ENGLISH : English

      KOREAN : Korean

      JAPANESE : Japanese

      LATIN : Latin

      DEVANAGARI : Devanagari

      CYRILLIC : Cyrillic

      ARABIC : Arabic

      TAMIL : Tamil

      TELUGU : Telugu

      KANNADA : Kannada

      THAI : Thai

      GREEK : Greek

      ESLAV : Eslav

      AUTO : Automatically select language
    """

    UNKNOWN: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.UNKNOWN: 0>
    CHINESE: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.CHINESE: 1>
    CHINESE_TRA: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.CHINESE_TRA: 2>
    ENGLISH: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.ENGLISH: 3>
    KOREAN: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.KOREAN: 4>
    JAPANESE: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.JAPANESE: 5>
    LATIN: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.LATIN: 6>
    DEVANAGARI: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.DEVANAGARI: 7>
    CYRILLIC: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.CYRILLIC: 8>
    ARABIC: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.ARABIC: 9>
    TAMIL: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.TAMIL: 10>
    TELUGU: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.TELUGU: 11>
    KANNADA: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.KANNADA: 12>
    THAI: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.THAI: 13>
    GREEK: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.GREEK: 14>
    ESLAV: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.ESLAV: 15>
    AUTO: typing.ClassVar[OCRLanguage]  # value = <OCRLanguage.AUTO: 16>
    __members__: typing.ClassVar[dict[str, OCRLanguage]]

    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self, /) -> int: ...
    def __int__(self, /) -> int: ...
    def __index__(self, /) -> int: ...
    def __repr__(self, /) -> str: ...
    def __str__(self, /) -> str: ...
    def __getstate__(self, /) -> int: ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex, /) -> None: ...
    def __reduce_ex__(self, protocol: typing.SupportsInt | typing.SupportsIndex) -> tuple[object, ...]:
        """Pickles the member by its number under every pickle protocol."""

    @property
    def name(self, /) -> str: ...
    @property
    def value(self, /) -> int: ...

class ErrorCode:
    """
    Members:

      SUCCESS : Success, and no error occurs

      CANCEL : Conversion process was canceled

      FILE_ERROR : File cannot be found or could not be opened

      PDF_PASSWORD_ERROR : Invalid password. Usually, this error may occur when loading a PDF document with password. When meet this, user should load document again with correct password

      PDF_PAGE_ERROR : PDF page failed to load

      PDF_FORMAT_ERROR : Format is invalid. For files, this may also mean that file is corrupted

      PDF_SECURITY_ERROR : PDF document is encrypted by some unsupported security handler

      OUT_OF_MEMORY : Out-of-memory error occurs

      IO_ERROR : System I/O error

      COMPRESS_ERROR : Folder compression failed

      NO_TABLE_ERROR : No tables found in the source file

      OCR_FAILURE : Failed to call OCR recognition

      CONVERTING_ERROR : Currently executing conversion task

      INVALID_ARG : Invalid argument provided

      INVALID_HANDLE : The handle is invalid, possibly uninitialized or already released

      INVALID_MODEL_FORMAT : The model file format is invalid or corrupted

      MODEL_FUNCTION_UNSUPPORTED : The model does not support the requested function or operation

      MODEL_FORMAT_UNSUPPORTED : The model format is not supported by this system or SDK

      MODEL_SDK_MISMATCH : The model is incompatible with the current SDK version

      IMAGE_DATA_EMPTY : The image data is empty or not provided

      IMAGE_WIDTH_HEIGHT_ERROR : The image width or height is invalid (e.g., less than or equal to zero)

      IMAGE_FORMAT_UNSUPPORTED : The image format is not supported (e.g., not RGB, YUV, etc.)

      IMAGE_INVALID : The image is invalid or corrupted

      MISSING_ARG : A required argument is missing

      INVALID_TABLE : The table data is invalid or null

      UNKNOWN_ERROR : Unknown error
    """

    SUCCESS: typing.ClassVar[ErrorCode]  # value = <ErrorCode.SUCCESS: 0>
    CANCEL: typing.ClassVar[ErrorCode]  # value = <ErrorCode.CANCEL: 1>
    FILE_ERROR: typing.ClassVar[ErrorCode]  # value = <ErrorCode.FILE_ERROR: 2>
    PDF_PASSWORD_ERROR: typing.ClassVar[ErrorCode]  # value = <ErrorCode.PDF_PASSWORD_ERROR: 3>
    PDF_PAGE_ERROR: typing.ClassVar[ErrorCode]  # value = <ErrorCode.PDF_PAGE_ERROR: 4>
    PDF_FORMAT_ERROR: typing.ClassVar[ErrorCode]  # value = <ErrorCode.PDF_FORMAT_ERROR: 5>
    PDF_SECURITY_ERROR: typing.ClassVar[ErrorCode]  # value = <ErrorCode.PDF_SECURITY_ERROR: 6>
    OUT_OF_MEMORY: typing.ClassVar[ErrorCode]  # value = <ErrorCode.OUT_OF_MEMORY: 7>
    IO_ERROR: typing.ClassVar[ErrorCode]  # value = <ErrorCode.IO_ERROR: 8>
    COMPRESS_ERROR: typing.ClassVar[ErrorCode]  # value = <ErrorCode.COMPRESS_ERROR: 9>
    NO_TABLE_ERROR: typing.ClassVar[ErrorCode]  # value = <ErrorCode.NO_TABLE_ERROR: 40>
    OCR_FAILURE: typing.ClassVar[ErrorCode]  # value = <ErrorCode.OCR_FAILURE: 41>
    CONVERTING_ERROR: typing.ClassVar[ErrorCode]  # value = <ErrorCode.CONVERTING_ERROR: 60>
    INVALID_ARG: typing.ClassVar[ErrorCode]  # value = <ErrorCode.INVALID_ARG: 80>
    INVALID_HANDLE: typing.ClassVar[ErrorCode]  # value = <ErrorCode.INVALID_HANDLE: 81>
    INVALID_MODEL_FORMAT: typing.ClassVar[ErrorCode]  # value = <ErrorCode.INVALID_MODEL_FORMAT: 82>
    MODEL_FUNCTION_UNSUPPORTED: typing.ClassVar[ErrorCode]  # value = <ErrorCode.MODEL_FUNCTION_UNSUPPORTED: 83>
    MODEL_FORMAT_UNSUPPORTED: typing.ClassVar[ErrorCode]  # value = <ErrorCode.MODEL_FORMAT_UNSUPPORTED: 84>
    MODEL_SDK_MISMATCH: typing.ClassVar[ErrorCode]  # value = <ErrorCode.MODEL_SDK_MISMATCH: 85>
    IMAGE_DATA_EMPTY: typing.ClassVar[ErrorCode]  # value = <ErrorCode.IMAGE_DATA_EMPTY: 86>
    IMAGE_WIDTH_HEIGHT_ERROR: typing.ClassVar[ErrorCode]  # value = <ErrorCode.IMAGE_WIDTH_HEIGHT_ERROR: 87>
    IMAGE_FORMAT_UNSUPPORTED: typing.ClassVar[ErrorCode]  # value = <ErrorCode.IMAGE_FORMAT_UNSUPPORTED: 88>
    IMAGE_INVALID: typing.ClassVar[ErrorCode]  # value = <ErrorCode.IMAGE_INVALID: 89>
    MISSING_ARG: typing.ClassVar[ErrorCode]  # value = <ErrorCode.MISSING_ARG: 91>
    INVALID_TABLE: typing.ClassVar[ErrorCode]  # value = <ErrorCode.INVALID_TABLE: 94>
    UNKNOWN_ERROR: typing.ClassVar[ErrorCode]  # value = <ErrorCode.UNKNOWN_ERROR: 100>
    __members__: typing.ClassVar[dict[str, ErrorCode]]

    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self, /) -> int: ...
    def __int__(self, /) -> int: ...
    def __index__(self, /) -> int: ...
    def __repr__(self, /) -> str: ...
    def __str__(self, /) -> str: ...
    def __getstate__(self, /) -> int: ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex, /) -> None: ...
    def __reduce_ex__(self, protocol: typing.SupportsInt | typing.SupportsIndex) -> tuple[object, ...]:
        """Pickles the member by its number under every pickle protocol."""

    @property
    def name(self, /) -> str: ...
    @property
    def value(self, /) -> int: ...

class PageLayoutMode:
    """
    Members:

      BOX : Box mode

      FLOW : Flowing mode
    """

    BOX: typing.ClassVar[PageLayoutMode]  # value = <PageLayoutMode.BOX: 0>
    FLOW: typing.ClassVar[PageLayoutMode]  # value = <PageLayoutMode.FLOW: 1>
    __members__: typing.ClassVar[dict[str, PageLayoutMode]]

    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self, /) -> int: ...
    def __int__(self, /) -> int: ...
    def __index__(self, /) -> int: ...
    def __repr__(self, /) -> str: ...
    def __str__(self, /) -> str: ...
    def __getstate__(self, /) -> int: ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex, /) -> None: ...
    def __reduce_ex__(self, protocol: typing.SupportsInt | typing.SupportsIndex) -> tuple[object, ...]:
        """Pickles the member by its number under every pickle protocol."""

    @property
    def name(self, /) -> str: ...
    @property
    def value(self, /) -> int: ...

class ImageColorMode:
    """
    Members:

      COLOR : Color mode

      GRAY : Gray mode

      BINARY : Binary mode
    """

    COLOR: typing.ClassVar[ImageColorMode]  # value = <ImageColorMode.COLOR: 0>
    GRAY: typing.ClassVar[ImageColorMode]  # value = <ImageColorMode.GRAY: 1>
    BINARY: typing.ClassVar[ImageColorMode]  # value = <ImageColorMode.BINARY: 2>
    __members__: typing.ClassVar[dict[str, ImageColorMode]]

    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self, /) -> int: ...
    def __int__(self, /) -> int: ...
    def __index__(self, /) -> int: ...
    def __repr__(self, /) -> str: ...
    def __str__(self, /) -> str: ...
    def __getstate__(self, /) -> int: ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex, /) -> None: ...
    def __reduce_ex__(self, protocol: typing.SupportsInt | typing.SupportsIndex) -> tuple[object, ...]:
        """Pickles the member by its number under every pickle protocol."""

    @property
    def name(self, /) -> str: ...
    @property
    def value(self, /) -> int: ...

class ImageType:
    """
    Members:

      JPG : .jpg

      JPEG : .jpeg

      JPEG2000 : .jp2

      PNG : .png

      BMP : .bmp

      TIFF : .tiff

      TGA : .tga

      GIF : .gif

      WEBP : .webp
    """

    JPG: typing.ClassVar[ImageType]  # value = <ImageType.JPG: 0>
    JPEG: typing.ClassVar[ImageType]  # value = <ImageType.JPEG: 1>
    JPEG2000: typing.ClassVar[ImageType]  # value = <ImageType.JPEG2000: 2>
    PNG: typing.ClassVar[ImageType]  # value = <ImageType.PNG: 3>
    BMP: typing.ClassVar[ImageType]  # value = <ImageType.BMP: 4>
    TIFF: typing.ClassVar[ImageType]  # value = <ImageType.TIFF: 5>
    TGA: typing.ClassVar[ImageType]  # value = <ImageType.TGA: 6>
    GIF: typing.ClassVar[ImageType]  # value = <ImageType.GIF: 7>
    WEBP: typing.ClassVar[ImageType]  # value = <ImageType.WEBP: 8>
    __members__: typing.ClassVar[dict[str, ImageType]]

    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self, /) -> int: ...
    def __int__(self, /) -> int: ...
    def __index__(self, /) -> int: ...
    def __repr__(self, /) -> str: ...
    def __str__(self, /) -> str: ...
    def __getstate__(self, /) -> int: ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex, /) -> None: ...
    def __reduce_ex__(self, protocol: typing.SupportsInt | typing.SupportsIndex) -> tuple[object, ...]:
        """Pickles the member by its number under every pickle protocol."""

    @property
    def name(self, /) -> str: ...
    @property
    def value(self, /) -> int: ...

class HtmlOption:
    """
    Members:

      SINGLE_PAGE : Convert the entire PDF file into a single HTML file

      SINGLE_PAGE_WITH_BOOKMARK : Convert the PDF file into a single HTML file with an outline for navigation at the beginning of the HTML page

      MULTIPLE_PAGE : Convert the PDF file into multiple HTML files

      MULTIPLE_PAGE_WITH_BOOKMARK : Convert the PDF file into multiple HTML files. Each HTML file corresponds to a PDF page, and users can navigate to the next HTML file via a link at the bottom of the HTML page
    """

    SINGLE_PAGE: typing.ClassVar[HtmlOption]  # value = <HtmlOption.SINGLE_PAGE: 0>
    SINGLE_PAGE_WITH_BOOKMARK: typing.ClassVar[HtmlOption]  # value = <HtmlOption.SINGLE_PAGE_WITH_BOOKMARK: 1>
    MULTIPLE_PAGE: typing.ClassVar[HtmlOption]  # value = <HtmlOption.MULTIPLE_PAGE: 2>
    MULTIPLE_PAGE_WITH_BOOKMARK: typing.ClassVar[HtmlOption]  # value = <HtmlOption.MULTIPLE_PAGE_WITH_BOOKMARK: 3>
    __members__: typing.ClassVar[dict[str, HtmlOption]]

    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self, /) -> int: ...
    def __int__(self, /) -> int: ...
    def __index__(self, /) -> int: ...
    def __repr__(self, /) -> str: ...
    def __str__(self, /) -> str: ...
    def __getstate__(self, /) -> int: ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex, /) -> None: ...
    def __reduce_ex__(self, protocol: typing.SupportsInt | typing.SupportsIndex) -> tuple[object, ...]:
        """Pickles the member by its number under every pickle protocol."""

    @property
    def name(self, /) -> str: ...
    @property
    def value(self, /) -> int: ...

class ExcelWorksheetOption:
    """
    Members:

      FOR_TABLE : A worksheet to contain only one table

      FOR_PAGE : A worksheet to contain table for PDF Page

      FOR_DOCUMENT : A worksheet to contain table for PDF Document
    """

    FOR_TABLE: typing.ClassVar[ExcelWorksheetOption]  # value = <ExcelWorksheetOption.FOR_TABLE: 0>
    FOR_PAGE: typing.ClassVar[ExcelWorksheetOption]  # value = <ExcelWorksheetOption.FOR_PAGE: 1>
    FOR_DOCUMENT: typing.ClassVar[ExcelWorksheetOption]  # value = <ExcelWorksheetOption.FOR_DOCUMENT: 2>
    __members__: typing.ClassVar[dict[str, ExcelWorksheetOption]]

    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self, /) -> int: ...
    def __int__(self, /) -> int: ...
    def __index__(self, /) -> int: ...
    def __repr__(self, /) -> str: ...
    def __str__(self, /) -> str: ...
    def __getstate__(self, /) -> int: ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex, /) -> None: ...
    def __reduce_ex__(self, protocol: typing.SupportsInt | typing.SupportsIndex) -> tuple[object, ...]:
        """Pickles the member by its number under every pickle protocol."""

    @property
    def name(self, /) -> str: ...
    @property
    def value(self, /) -> int: ...

class OCROption:
    """
    Members:

      INVALID_CHARACTER : Recognize illegal characters in PDF documents

      SCAN_PAGE : Recognize scanned pages in PDF documents

      INVALID_CHARACTER_AND_SCAN_PAGE : Recognize illegal characters and scanned pages in PDF documents

      ALL : Recognize all characters on all pages
    """

    INVALID_CHARACTER: typing.ClassVar[OCROption]  # value = <OCROption.INVALID_CHARACTER: 0>
    SCAN_PAGE: typing.ClassVar[OCROption]  # value = <OCROption.SCAN_PAGE: 1>
    INVALID_CHARACTER_AND_SCAN_PAGE: typing.ClassVar[OCROption]  # value = <OCROption.INVALID_CHARACTER_AND_SCAN_PAGE: 2>
    ALL: typing.ClassVar[OCROption]  # value = <OCROption.ALL: 3>
    __members__: typing.ClassVar[dict[str, OCROption]]

    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self, /) -> int: ...
    def __int__(self, /) -> int: ...
    def __index__(self, /) -> int: ...
    def __repr__(self, /) -> str: ...
    def __str__(self, /) -> str: ...
    def __getstate__(self, /) -> int: ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex, /) -> None: ...
    def __reduce_ex__(self, protocol: typing.SupportsInt | typing.SupportsIndex) -> tuple[object, ...]:
        """Pickles the member by its number under every pickle protocol."""

    @property
    def name(self, /) -> str: ...
    @property
    def value(self, /) -> int: ...

class ConvertOptions:
    def __init__(self) -> None:
        """Default constructor"""

    @property
    def enable_ai_layout(self) -> bool:
        """Whether to enable AI layout analysis during conversion"""

    @enable_ai_layout.setter
    def enable_ai_layout(self, arg0: bool) -> None: ...

    @property
    def contain_image(self) -> bool:
        """Whether to contain images when converting, which takes effect only when enable_ocr is false"""

    @contain_image.setter
    def contain_image(self, arg0: bool) -> None: ...

    @property
    def contain_page_background_image(self) -> bool:
        """Whether to contain page background images when converting,which takes effect only when enable_ocr is true."""

    @contain_page_background_image.setter
    def contain_page_background_image(self, arg0: bool) -> None: ...

    @property
    def json_contain_table(self) -> bool:
        """Whether to contain table when convert pdf to json"""

    @json_contain_table.setter
    def json_contain_table(self, arg0: bool) -> None: ...

    @property
    def contain_annotation(self) -> bool:
        """Whether to contain annotations when converting"""

    @contain_annotation.setter
    def contain_annotation(self, arg0: bool) -> None: ...

    @property
    def excel_all_content(self) -> bool:
        """Whether to set contain all pdf content to the xlsx file"""

    @excel_all_content.setter
    def excel_all_content(self, arg0: bool) -> None: ...

    @property
    def excel_csv_format(self) -> bool:
        """Whether to set to save the table in csv format"""

    @excel_csv_format.setter
    def excel_csv_format(self, arg0: bool) -> None: ...

    @property
    def enable_ocr(self) -> bool:
        """Whether to use OCR"""

    @enable_ocr.setter
    def enable_ocr(self, arg0: bool) -> None: ...

    @property
    def transparent_text(self) -> bool:
        """Whether to make the text transparent in the output document"""

    @transparent_text.setter
    def transparent_text(self, arg0: bool) -> None: ...

    @property
    def txt_table_format(self) -> bool:
        """Whether format table when convert pdf to txt"""

    @txt_table_format.setter
    def txt_table_format(self, arg0: bool) -> None: ...

    @property
    def image_path_enhance(self) -> bool:
        """Whether to enhance the image path"""

    @image_path_enhance.setter
    def image_path_enhance(self, arg0: bool) -> None: ...

    @property
    def formula_to_image(self) -> bool:
        """Whether to convert formula to image"""

    @formula_to_image.setter
    def formula_to_image(self, arg0: bool) -> None: ...

    @property
    def auto_create_folder(self) -> bool:
        """Whether to automatically create folder when exporting multiple documents"""

    @auto_create_folder.setter
    def auto_create_folder(self, arg0: bool) -> None: ...

    @property
    def output_document_per_page(self) -> bool:
        """whether to output one document per page"""

    @output_document_per_page.setter
    def output_document_per_page(self, arg0: bool) -> None: ...

    @property
    def image_scaling(self) -> float:
        """Specify the image scaling of the image file"""

    @image_scaling.setter
    def image_scaling(self, arg0: typing.SupportsFloat | typing.SupportsIndex) -> None: ...

    @property
    def page_layout_mode(self) -> PageLayoutMode:
        """Specify the layout mode"""

    @page_layout_mode.setter
    def page_layout_mode(self, arg0: PageLayoutMode) -> None: ...

    @property
    def html_option(self) -> HtmlOption:
        """Specify the HTML option for conversion"""

    @html_option.setter
    def html_option(self, arg0: HtmlOption) -> None: ...

    @property
    def ocr_option(self) -> OCROption:
        """Specify the OCR option"""

    @ocr_option.setter
    def ocr_option(self, arg0: OCROption) -> None: ...

    @property
    def excel_worksheet_option(self) -> ExcelWorksheetOption:
        """Specify the Excel worksheet option for conversion"""

    @excel_worksheet_option.setter
    def excel_worksheet_option(self, arg0: ExcelWorksheetOption) -> None: ...

    @property
    def image_color_mode(self) -> ImageColorMode:
        """Specify the image color mode of the image file"""

    @image_color_mode.setter
    def image_color_mode(self, arg0: ImageColorMode) -> None: ...

    @property
    def image_type(self) -> ImageType:
        """Specify the image type of the image file"""

    @image_type.setter
    def image_type(self, arg0: ImageType) -> None: ...

    @property
    def font_name(self) -> str:
        """Specify the fontname to convert, e.g. \"Arial\""""

    @font_name.setter
    def font_name(self, arg0: str | bytes | bytearray) -> None: ...

    @property
    def page_ranges(self) -> str:
        """Specify the pages to convert, e.g. \"1-3,5,7-9\""""

    @page_ranges.setter
    def page_ranges(self, arg0: str | bytes | bytearray) -> None: ...

    @property
    def languages(self) -> list[OCRLanguage]:
        """Specify the OCR languages"""

    @languages.setter
    def languages(
        self,
        arg0: collections.abc.Sequence[OCRLanguage]
        | collections.abc.Set[OCRLanguage]
        | collections.abc.ValuesView[OCRLanguage]
        | collections.abc.Generator[OCRLanguage, typing.Any, typing.Any]
        | map[OCRLanguage],
    ) -> None: ...

    def __repr__(self) -> str:
        """String representation of ConvertOptions object"""

    def __str__(self) -> str:
        """String representation of ConvertOptions object"""

    def __reduce_ex__(self, protocol: typing.SupportsInt | typing.SupportsIndex) -> tuple[object, ...]:
        """Refuses pickling under every pickle protocol."""

class LibraryManager:
    """LibraryManager is the central hub for managing the lifecycle of the SDK library: it initializes the library with its resources, installs fonts, sets up logging and progress callbacks, retrieves version information and counts the pages in documents."""

    # No constructor is bound: calling the class raises TypeError.
    def __init__(self, /, *args: object, **kwargs: object) -> None: ...

    # Text arguments take str (handed over as UTF-8), bytes or bytearray
    # (handed over as they are), or None, which reaches the library as a
    # null pointer.
    @staticmethod
    def initialize(resource_path: str | bytes | bytearray | None) -> None:
        """Initializes the SDK library with the given resource path"""

    @staticmethod
    def release() -> None:
        """Releases all resources used by the library. Should be called when the SDK is no longer needed."""

    @staticmethod
    def release_document_ai_model() -> None:
        """Release the memory by the AI model."""

    @staticmethod
    def set_logger(enable_info: bool, enable_warning: bool) -> None:
        """Enables or disables logging for info and warning messages."""

    @staticmethod
    def get_version() -> str:
        """Gets the version of the SDK library."""

    @staticmethod
    def get_page_count(file_path: str | bytes | bytearray | None, password: str | bytes | bytearray | None) -> int:
        """Returns the number of pages in a document."""

    @staticmethod
    def set_document_ai_model(
        file_path: str | bytes | bytearray | None, gpu_id: typing.SupportsInt | typing.SupportsIndex = -1
    ) -> ErrorCode:
        """Sets the Document AI model for OCR based on the provided file path. gpu_id: Which GPU for ai model, -1 means disable gpu."""

    @staticmethod
    def set_document_ai_model_count(
        layout_model_count: typing.SupportsInt | typing.SupportsIndex,
        table_model_count: typing.SupportsInt | typing.SupportsIndex,
    ) -> None:
        """Sets the number of AI models for layout analysis and table recognition."""

class ConvertCallback:
    """Callback bundle for conversion progress and cancellation. Each instance maintains its own callback state."""

    def __init__(self) -> None:
        """Default constructor"""

    def set_progress(self, progress: collections.abc.Callable[[int, int], object] | None) -> None:
        """Sets a callback function to track the progress of conversion. The callback receives (current_page, total_page)."""

    def set_cancel(self, cancel: collections.abc.Callable[[], bool] | None) -> None:
        """Sets a callback function for cancellation check. Return True to cancel the conversion."""

    def reset(self) -> None:
        """Resets all callbacks to None."""

    def __reduce_ex__(self, protocol: typing.SupportsInt | typing.SupportsIndex) -> tuple[object, ...]:
        """Refuses pickling under every pickle protocol."""

class FOLIConversion:
    """
    FOLIConversion class provides functionalities to convert PDF files into various formats such as Word, Excel, PPT, HTML, etc.
    """

    # No constructor is bound: calling the class raises TypeError.
    def __init__(self, /, *args: object, **kwargs: object) -> None: ...

    # The paths and the password take str (handed over as UTF-8), bytes or
    # bytearray, but not None.
    @staticmethod
    def start_pdf_to_word(
        file_path: str | bytes | bytearray,
        password: str | bytes | bytearray,
        output_path: str | bytes | bytearray,
        options: ConvertOptions,
        callback: ConvertCallback | None = None,
    ) -> ErrorCode:
        """Starts the conversion of a PDF file to a Word document."""

    @staticmethod
    def start_pdf_to_excel(
        file_path: str | bytes | bytearray,
        password: str | bytes | bytearray,
        output_path: str | bytes | bytearray,
        options: ConvertOptions,
        callback: ConvertCallback | None = None,
    ) -> ErrorCode:
        """Starts the conversion of a PDF file to an Excel document."""

    @staticmethod
    def start_pdf_to_ppt(
        file_path: str | bytes | bytearray,
        password: str | bytes | bytearray,
        output_path: str | bytes | bytearray,
        options: ConvertOptions,
        callback: ConvertCallback | None = None,
    ) -> ErrorCode:
        """Starts the conversion of a PDF file to a PowerPoint presentation."""

    @staticmethod
    def start_pdf_to_html(
        file_path: str | bytes | bytearray,
        password: str | bytes | bytearray,
        output_path: str | bytes | bytearray,
        options: ConvertOptions,
        callback: ConvertCallback | None = None,
    ) -> ErrorCode:
        """Starts the conversion of a PDF file to an HTML document."""

    @staticmethod
    def start_pdf_to_image(
        file_path: str | bytes | bytearray,
        password: str | bytes | bytearray,
        output_path: str | bytes | bytearray,
        options: ConvertOptions,
        callback: ConvertCallback | None = None,
    ) -> ErrorCode:
        """Starts the conversion of a PDF file to an image format."""

    @staticmethod
    def start_pdf_to_markdown(
        file_path: str | bytes | bytearray,
        password: str | bytes | bytearray,
        output_path: str | bytes | bytearray,
        options: ConvertOptions,
        callback: ConvertCallback | None = None,
    ) -> ErrorCode:
        """Starts the conversion of a PDF file to a Markdown document."""

    @staticmethod
    def start_pdf_to_rtf(
        file_path: str | bytes | bytearray,
        password: str | bytes | bytearray,
        output_path: str | bytes | bytearray,
        options: ConvertOptions,
        callback: ConvertCallback | None = None,
    ) -> ErrorCode:
        """Starts the conversion of a PDF file to an RTF document."""

    @staticmethod
    def start_pdf_to_txt(
        file_path: str | bytes | bytearray,
        password: str | bytes | bytearray,
        output_path: str | bytes | bytearray,
        options: ConvertOptions,
        callback: ConvertCallback | None = None,
    ) -> ErrorCode:
        """Starts the conversion of a PDF file to a plain text file."""

    @staticmethod
    def start_pdf_to_json(
        file_path: str | bytes | bytearray,
        password: str | bytes | bytearray,
        output_path: str | bytes | bytearray,
        options: ConvertOptions,
        callback: ConvertCallback | None = None,
    ) -> ErrorCode:
        """Starts the conversion of a PDF file to a JSON document."""

    @staticmethod
    def start_pdf_to_searchable_pdf(
        file_path: str | bytes | bytearray,
        password: str | bytes | bytearray,
        output_path: str | bytes | bytearray,
        options: ConvertOptions,
        callback: ConvertCallback | None = None,
    ) -> ErrorCode:
        """Starts the conversion of a PDF file to a searchable PDF document."""

    @staticmethod
    def start_pdf_to_ofd(
        file_path: str | bytes | bytearray,
        password: str | bytes | bytearray,
        output_path: str | bytes | bytearray,
        options: ConvertOptions,
        callback: ConvertCallback | None = None,
    ) -> ErrorCode:
        """Starts the conversion of a PDF file to an OFD document."""

# Every enumeration member is also a module attribute.
UNKNOWN: OCRLanguage
CHINESE: OCRLanguage
CHINESE_TRA: OCRLanguage
ENGLISH: OCRLanguage
KOREAN: OCRLanguage
JAPANESE: OCRLanguage
LATIN: OCRLanguage
DEVANAGARI: OCRLanguage
CYRILLIC: OCRLanguage
ARABIC: OCRLanguage
TAMIL: OCRLanguage
TELUGU: OCRLanguage
KANNADA: OCRLanguage
THAI: OCRLanguage
GREEK: OCRLanguage
ESLAV: OCRLanguage
AUTO: OCRLanguage
SUCCESS: ErrorCode
CANCEL: ErrorCode
FILE_ERROR: ErrorCode
PDF_PASSWORD_ERROR: ErrorCode
PDF_PAGE_ERROR: ErrorCode
PDF_FORMAT_ERROR: ErrorCode
PDF_SECURITY_ERROR: ErrorCode
OUT_OF_MEMORY: ErrorCode
IO_ERROR: ErrorCode
COMPRESS_ERROR: ErrorCode
NO_TABLE_ERROR: ErrorCode
OCR_FAILURE: ErrorCode
CONVERTING_ERROR: ErrorCode
INVALID_ARG: ErrorCode
INVALID_HANDLE: ErrorCode
INVALID_MODEL_FORMAT: ErrorCode
MODEL_FUNCTION_UNSUPPORTED: ErrorCode
MODEL_FORMAT_UNSUPPORTED: ErrorCode
MODEL_SDK_MISMATCH: ErrorCode
IMAGE_DATA_EMPTY: ErrorCode
IMAGE_WIDTH_HEIGHT_ERROR: ErrorCode
IMAGE_FORMAT_UNSUPPORTED: ErrorCode
IMAGE_INVALID: ErrorCode
MISSING_ARG: ErrorCode
INVALID_TABLE: ErrorCode
UNKNOWN_ERROR: ErrorCode
BOX: PageLayoutMode
FLOW: PageLayoutMode
COLOR: ImageColorMode
GRAY: ImageColorMode
BINARY: ImageColorMode
JPG: ImageType
JPEG: ImageType
JPEG2000: ImageType
PNG: ImageType
BMP: ImageType
TIFF: ImageType
TGA: ImageType
GIF: ImageType
WEBP: ImageType
SINGLE_PAGE: HtmlOption
SINGLE_PAGE_WITH_BOOKMARK: HtmlOption
MULTIPLE_PAGE: HtmlOption
MULTIPLE_PAGE_WITH_BOOKMARK: HtmlOption
FOR_TABLE: ExcelWorksheetOption
FOR_PAGE: ExcelWorksheetOption
FOR_DOCUMENT: ExcelWorksheetOption
INVALID_CHARACTER: OCROption
SCAN_PAGE: OCROption
INVALID_CHARACTER_AND_SCAN_PAGE: OCROption
ALL: OCROption
