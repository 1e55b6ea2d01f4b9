// Option and result types shared between the Python module and the
// conversion library. Every number here crosses the library boundary
// unchanged, so none of them may be renumbered.
#pragma once

#include <string>
#include <vector>

namespace folia::base {

enum class OCRLanguage : int {
    UNKNOWN = 0,
    CHINESE = 1,
    CHINESE_TRA = 2,
    ENGLISH = 3,
    KOREAN = 4,
    JAPANESE = 5,
    LATIN = 6,
    DEVANAGARI = 7,
    CYRILLIC = 8,
    ARABIC = 9,
    TAMIL = 10,
    TELUGU = 11,
    KANNADA = 12,
    THAI = 13,
    GREEK = 14,
    ESLAV = 15,
    AUTO = 16,
};

enum class ErrorCode : int {
    SUCCESS = 0,
    CANCEL = 1,
    FILE_ERROR = 2,
    PDF_PASSWORD_ERROR = 3,
    PDF_PAGE_ERROR = 4,
    PDF_FORMAT_ERROR = 5,
    PDF_SECURITY_ERROR = 6,
    OUT_OF_MEMORY = 7,
    IO_ERROR = 8,
    COMPRESS_ERROR = 9,
    NO_TABLE_ERROR = 40,
    OCR_FAILURE = 41,
    CONVERTING_ERROR = 60,
    INVALID_ARG = 80,
    INVALID_HANDLE = 81,
    INVALID_MODEL_FORMAT = 82,
    MODEL_FUNCTION_UNSUPPORTED = 83,
    MODEL_FORMAT_UNSUPPORTED = 84,
    MODEL_SDK_MISMATCH = 85,
    IMAGE_DATA_EMPTY = 86,
    IMAGE_WIDTH_HEIGHT_ERROR = 87,
    IMAGE_FORMAT_UNSUPPORTED = 88,
    IMAGE_INVALID = 89,
    MISSING_ARG = 91,
    INVALID_TABLE = 94,
    UNKNOWN_ERROR = 100,
};

enum class PageLayoutMode : int {
    BOX = 0,
    FLOW = 1,
};

enum class ImageColorMode : int {
    COLOR = 0,
    GRAY = 1,
    BINARY = 2,
};

enum class ImageType : int {
    JPG = 0,
    JPEG = 1,
    JPEG2000 = 2,
    PNG = 3,
    BMP = 4,
    TIFF = 5,
    TGA = 6,
    GIF = 7,
    WEBP = 8,
};

enum class HtmlOption : int {
    SINGLE_PAGE = 0,
    SINGLE_PAGE_WITH_BOOKMARK = 1,
    MULTIPLE_PAGE = 2,
    MULTIPLE_PAGE_WITH_BOOKMARK = 3,
};

enum class ExcelWorksheetOption : int {
    FOR_TABLE = 0,
    FOR_PAGE = 1,
    FOR_DOCUMENT = 2,
};

enum class OCROption : int {
    INVALID_CHARACTER = 0,
    SCAN_PAGE = 1,
    INVALID_CHARACTER_AND_SCAN_PAGE = 2,
    ALL = 3,
};

// One record for every output format; the fields stand in the order in
// which they are copied into the flat option record of the C interface.
struct ConvertOptions {
    bool enable_ai_layout = true;
    bool contain_image = true;
    bool contain_page_background_image = true;
    bool json_contain_table = true;
    bool contain_annotation = true;
    bool excel_all_content = false;
    bool excel_csv_format = false;
    bool enable_ocr = false;
    bool transparent_text = false;
    bool txt_table_format = true;
    bool image_path_enhance = false;
    bool formula_to_image = false;
    bool auto_create_folder = true;
    bool output_document_per_page = false;
    float image_scaling = 1.0f;
    PageLayoutMode page_layout_mode = PageLayoutMode::FLOW;
    ExcelWorksheetOption excel_worksheet_option = ExcelWorksheetOption::FOR_TABLE;
    HtmlOption html_option = HtmlOption::SINGLE_PAGE;
    OCROption ocr_option = OCROption::ALL;
    ImageColorMode image_color_mode = ImageColorMode::COLOR;
    ImageType image_type = ImageType::JPG;
    std::string font_name;
    std::string page_ranges;
    std::vector<OCRLanguage> languages;
};

}  // namespace folia::base
