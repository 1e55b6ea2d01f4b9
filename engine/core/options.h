// The option record as the library reads it, decoded from the flat C
// record once at the start of a conversion.
#pragma once

#include <string>
#include <vector>

#include "folia/base/base_types.h"
#include "folia/conversion/foli_conversion_api.h"

namespace foli {

using folia::base::ExcelWorksheetOption;
using folia::base::HtmlOption;
using folia::base::ImageColorMode;
using folia::base::ImageType;
using folia::base::OCRLanguage;
using folia::base::OCROption;
using folia::base::PageLayoutMode;

struct Options {
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

// Copies the record; reads the language array, which is valid only for
// the length of the call. Throws INVALID_ARG for a negative count or a
// missing array.
Options decode_options(const _CConvertOption& record);

// Parses "1-3,5,7-9" (1-based, inclusive, spaces allowed) into 0-based page
// indices in the order given, each page once; empty selects every page. Throws INVALID_ARG
// for malformed text, page 0, a page beyond page_count or a reversed range.
std::vector<int> parse_page_ranges(const std::string& ranges, int page_count);

}  // namespace foli
