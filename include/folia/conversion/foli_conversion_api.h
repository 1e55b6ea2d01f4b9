/* Flat C interface of libfoliconversionsdk: the option record, the callback
 * record, the result numbers and one conversion function per output format.
 * The layouts below are a binary contract; the asserts at the end pin them. */
#ifndef FOLI_CONVERSION_API_H
#define FOLI_CONVERSION_API_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#include "folia/common/foli_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The record carries any 32-bit number in these fields, also one that no
 * member names: in C++ the enumerations get a 32-bit underlying type, so
 * that such a value is a value of the type (C's enumerations are int). */
#ifdef __cplusplus
#define FOLI_ENUM_BASE : int32_t
#else
#define FOLI_ENUM_BASE
#endif

/* Numbered as folia::base::ErrorCode. */
typedef enum _CSDKErrorCode FOLI_ENUM_BASE {
    FOLI_ERR_SUCCESS = 0,
    FOLI_ERR_CANCEL = 1,
    FOLI_ERR_FILE = 2,
    FOLI_ERR_PDF_PASSWORD = 3,
    FOLI_ERR_PDF_PAGE = 4,
    FOLI_ERR_PDF_FORMAT = 5,
    FOLI_ERR_PDF_SECURITY = 6,
    FOLI_ERR_OUT_OF_MEMORY = 7,
    FOLI_ERR_IO = 8,
    FOLI_ERR_COMPRESS = 9,
    FOLI_ERR_NO_TABLE = 40,
    FOLI_ERR_OCR_FAILURE = 41,
    FOLI_ERR_CONVERTING = 60,
    FOLI_ERR_INVALID_ARG = 80,
    FOLI_ERR_INVALID_HANDLE = 81,
    FOLI_ERR_INVALID_MODEL_FORMAT = 82,
    FOLI_ERR_MODEL_FUNCTION_UNSUPPORTED = 83,
    FOLI_ERR_MODEL_FORMAT_UNSUPPORTED = 84,
    FOLI_ERR_MODEL_SDK_MISMATCH = 85,
    FOLI_ERR_IMAGE_DATA_EMPTY = 86,
    FOLI_ERR_IMAGE_WIDTH_HEIGHT = 87,
    FOLI_ERR_IMAGE_FORMAT_UNSUPPORTED = 88,
    FOLI_ERR_IMAGE_INVALID = 89,
    FOLI_ERR_MISSING_ARG = 91,
    FOLI_ERR_INVALID_TABLE = 94,
    FOLI_ERR_UNKNOWN = 100
} _CSDKErrorCode;

/* Numbered as folia::base::OCRLanguage. */
typedef enum _COCRLanguage FOLI_ENUM_BASE {
    FOLI_OCR_UNKNOWN = 0,
    FOLI_OCR_CHINESE = 1,
    FOLI_OCR_CHINESE_TRA = 2,
    FOLI_OCR_ENGLISH = 3,
    FOLI_OCR_KOREAN = 4,
    FOLI_OCR_JAPANESE = 5,
    FOLI_OCR_LATIN = 6,
    FOLI_OCR_DEVANAGARI = 7,
    FOLI_OCR_CYRILLIC = 8,
    FOLI_OCR_ARABIC = 9,
    FOLI_OCR_TAMIL = 10,
    FOLI_OCR_TELUGU = 11,
    FOLI_OCR_KANNADA = 12,
    FOLI_OCR_THAI = 13,
    FOLI_OCR_GREEK = 14,
    FOLI_OCR_ESLAV = 15,
    FOLI_OCR_AUTO = 16
} _COCRLanguage;

#define FOLI_OPTION_TEXT_SIZE 256

/* 568 bytes, passed by value. The enumeration fields carry the numbers of
 * the folia::base enumerations of the same names. */
typedef struct _CConvertOption {
    bool enable_ai_layout;
    bool contain_image;
    bool contain_page_background_image;
    bool json_contain_table;
    bool contain_annotation;
    bool excel_all_content;
    bool excel_csv_format;
    bool enable_ocr;
    bool transparent_text;
    bool txt_table_format;
    bool image_path_enhance;
    bool formula_to_image;
    bool auto_create_folder;
    bool output_document_per_page;
    uint8_t padding[2]; /* named so that copies keep it zero */
    int32_t language_count;
    float image_scaling;
    int32_t page_layout_mode;
    int32_t excel_worksheet_option;
    int32_t html_option;
    int32_t ocr_option;
    int32_t image_color_mode;
    int32_t image_type;
    char font_name[FOLI_OPTION_TEXT_SIZE];
    char page_ranges[FOLI_OPTION_TEXT_SIZE];
    const _COCRLanguage* languages;
} _CConvertOption;

/* 24 bytes. A null function means "not provided". The functions carry no
 * context argument; a true answer of cancel_func asks to stop. */
typedef struct CConvertCallback {
    uint64_t reserved;
    bool (*cancel_func)(void);
    void (*progress_func)(int current_page, int total_pages);
} CConvertCallback;

typedef _CSDKErrorCode (*FOLI_ConversionFunction)(const char* file_path, const char* password,
                                                  const char* output_path, _CConvertOption options,
                                                  CConvertCallback* callback);

#define FOLI_DECLARE_CONVERSION(name)                                                     \
    FOLI_API _CSDKErrorCode name(const char* file_path, const char* password,             \
                                 const char* output_path, _CConvertOption options,        \
                                 CConvertCallback* callback)

FOLI_DECLARE_CONVERSION(FOLI_StartPDFToWord);
FOLI_DECLARE_CONVERSION(FOLI_StartPDFToExcel);
FOLI_DECLARE_CONVERSION(FOLI_StartPDFToPpt);
FOLI_DECLARE_CONVERSION(FOLI_StartPDFToHtml);
FOLI_DECLARE_CONVERSION(FOLI_StartPDFToImage);
FOLI_DECLARE_CONVERSION(FOLI_StartPDFToMarkdown);
FOLI_DECLARE_CONVERSION(FOLI_StartPDFToRtf);
FOLI_DECLARE_CONVERSION(FOLI_StartPDFToTxt);
FOLI_DECLARE_CONVERSION(FOLI_StartPDFToJson);
FOLI_DECLARE_CONVERSION(FOLI_StartPDFToSearchablePDF);
FOLI_DECLARE_CONVERSION(FOLI_StartPDFToOfd);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(_CConvertOption) == 568, "option record size");
static_assert(alignof(_CConvertOption) == 8, "option record alignment");
static_assert(offsetof(_CConvertOption, enable_ai_layout) == 0, "option record layout");
static_assert(offsetof(_CConvertOption, contain_image) == 1, "option record layout");
static_assert(offsetof(_CConvertOption, contain_page_background_image) == 2, "option record layout");
static_assert(offsetof(_CConvertOption, json_contain_table) == 3, "option record layout");
static_assert(offsetof(_CConvertOption, contain_annotation) == 4, "option record layout");
static_assert(offsetof(_CConvertOption, excel_all_content) == 5, "option record layout");
static_assert(offsetof(_CConvertOption, excel_csv_format) == 6, "option record layout");
static_assert(offsetof(_CConvertOption, enable_ocr) == 7, "option record layout");
static_assert(offsetof(_CConvertOption, transparent_text) == 8, "option record layout");
static_assert(offsetof(_CConvertOption, txt_table_format) == 9, "option record layout");
static_assert(offsetof(_CConvertOption, image_path_enhance) == 10, "option record layout");
static_assert(offsetof(_CConvertOption, formula_to_image) == 11, "option record layout");
static_assert(offsetof(_CConvertOption, auto_create_folder) == 12, "option record layout");
static_assert(offsetof(_CConvertOption, output_document_per_page) == 13, "option record layout");
static_assert(offsetof(_CConvertOption, language_count) == 16, "option record layout");
static_assert(offsetof(_CConvertOption, image_scaling) == 20, "option record layout");
static_assert(offsetof(_CConvertOption, page_layout_mode) == 24, "option record layout");
static_assert(offsetof(_CConvertOption, excel_worksheet_option) == 28, "option record layout");
static_assert(offsetof(_CConvertOption, html_option) == 32, "option record layout");
static_assert(offsetof(_CConvertOption, ocr_option) == 36, "option record layout");
static_assert(offsetof(_CConvertOption, image_color_mode) == 40, "option record layout");
static_assert(offsetof(_CConvertOption, image_type) == 44, "option record layout");
static_assert(offsetof(_CConvertOption, font_name) == 48, "option record layout");
static_assert(offsetof(_CConvertOption, page_ranges) == 304, "option record layout");
static_assert(offsetof(_CConvertOption, languages) == 560, "option record layout");
static_assert(sizeof(bool) == 1, "flags are single bytes");
static_assert(sizeof(_COCRLanguage) == 4, "language codes are 32-bit");
static_assert(sizeof(_CSDKErrorCode) == 4, "result codes are 32-bit");

static_assert(sizeof(CConvertCallback) == 24, "callback record size");
static_assert(alignof(CConvertCallback) == 8, "callback record alignment");
static_assert(offsetof(CConvertCallback, reserved) == 0, "callback record layout");
static_assert(offsetof(CConvertCallback, cancel_func) == 8, "callback record layout");
static_assert(offsetof(CConvertCallback, progress_func) == 16, "callback record layout");
#endif

#endif /* FOLI_CONVERSION_API_H */
