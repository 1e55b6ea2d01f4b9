#include "core/options.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "core/errors.h"

namespace foli {
namespace {

std::string bounded_text(const char (&field)[FOLI_OPTION_TEXT_SIZE]) {
    // The record promises a terminator, but a damaged one must not make us
    // read past the field.
    return std::string(field, strnlen(field, FOLI_OPTION_TEXT_SIZE));
}

class RangeParser {
public:
    RangeParser(const std::string& text, int page_count) : text_(text), page_count_(page_count) {}

    std::vector<int> parse() {
        std::vector<int> pages;
        skip_spaces();
        if (at_end()) return all_pages();
        for (;;) {
            int first = number();
            int last = first;
            skip_spaces();
            if (peek() == '-') {
                ++pos_;
                last = number();
                skip_spaces();
            }
            if (last < first) invalid("a page range runs backwards");
            for (int page = first; page <= last; ++page) add(pages, page - 1);
            if (at_end()) break;
            if (peek() != ',') invalid("unexpected character in the page ranges");
            ++pos_;
            skip_spaces();
        }
        return pages;
    }

private:
    // A page named twice is converted once, where it was first named.
    void add(std::vector<int>& pages, int page) {
        if (seen_.empty()) seen_.assign(static_cast<size_t>(page_count_), false);
        if (seen_[static_cast<size_t>(page)]) return;
        seen_[static_cast<size_t>(page)] = true;
        pages.push_back(page);
    }

    std::vector<int> all_pages() const {
        std::vector<int> pages(static_cast<size_t>(page_count_));
        for (int i = 0; i < page_count_; ++i) pages[static_cast<size_t>(i)] = i;
        return pages;
    }

    int number() {
        skip_spaces();
        if (at_end() || !std::isdigit(static_cast<unsigned char>(peek()))) invalid("a page number is missing");
        long value = 0;
        while (!at_end() && std::isdigit(static_cast<unsigned char>(peek()))) {
            value = value * 10 + (text_[pos_++] - '0');
            if (value > INT_MAX) invalid("a page number is too large");
        }
        if (value < 1 || value > page_count_) invalid("a page number is outside the document");
        return static_cast<int>(value);
    }

    void skip_spaces() {
        while (!at_end() && std::isspace(static_cast<unsigned char>(peek()))) ++pos_;
    }
    bool at_end() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }
    [[noreturn]] void invalid(const char* why) const { fail(FOLI_ERR_INVALID_ARG, why); }

    const std::string& text_;
    int page_count_;
    size_t pos_ = 0;
    std::vector<bool> seen_;
};

// Every enumeration field is checked for every format, whether or not the
// format reads it: a value outside its enumeration is INVALID_ARG.
void check_range(int32_t value, int32_t last, const char* what) {
    if (value < 0 || value > last) fail(FOLI_ERR_INVALID_ARG, std::string("unknown ") + what);
}

void check_enumerations(const _CConvertOption& record) {
    check_range(record.page_layout_mode, static_cast<int32_t>(PageLayoutMode::FLOW), "page layout mode");
    check_range(record.excel_worksheet_option, static_cast<int32_t>(ExcelWorksheetOption::FOR_DOCUMENT),
                "worksheet option");
    check_range(record.html_option, static_cast<int32_t>(HtmlOption::MULTIPLE_PAGE_WITH_BOOKMARK), "HTML option");
    check_range(record.ocr_option, static_cast<int32_t>(OCROption::ALL), "OCR option");
    check_range(record.image_color_mode, static_cast<int32_t>(ImageColorMode::BINARY), "image colour mode");
    check_range(record.image_type, static_cast<int32_t>(ImageType::WEBP), "image type");
    for (int i = 0; i < record.language_count; ++i)
        check_range(record.languages[i], static_cast<int32_t>(OCRLanguage::AUTO), "OCR language");
}

}  // namespace

Options decode_options(const _CConvertOption& record) {
    if (record.language_count < 0) fail(FOLI_ERR_INVALID_ARG, "negative language count");
    if (record.language_count > 0 && record.languages == nullptr) fail(FOLI_ERR_INVALID_ARG, "no language array");
    check_enumerations(record);
    Options options;
    options.enable_ai_layout = record.enable_ai_layout;
    options.contain_image = record.contain_image;
    options.contain_page_background_image = record.contain_page_background_image;
    options.json_contain_table = record.json_contain_table;
    options.contain_annotation = record.contain_annotation;
    options.excel_all_content = record.excel_all_content;
    options.excel_csv_format = record.excel_csv_format;
    options.enable_ocr = record.enable_ocr;
    options.transparent_text = record.transparent_text;
    options.txt_table_format = record.txt_table_format;
    options.image_path_enhance = record.image_path_enhance;
    options.formula_to_image = record.formula_to_image;
    options.auto_create_folder = record.auto_create_folder;
    options.output_document_per_page = record.output_document_per_page;
    options.image_scaling = record.image_scaling;
    options.page_layout_mode = static_cast<PageLayoutMode>(record.page_layout_mode);
    options.excel_worksheet_option = static_cast<ExcelWorksheetOption>(record.excel_worksheet_option);
    options.html_option = static_cast<HtmlOption>(record.html_option);
    options.ocr_option = static_cast<OCROption>(record.ocr_option);
    options.image_color_mode = static_cast<ImageColorMode>(record.image_color_mode);
    options.image_type = static_cast<ImageType>(record.image_type);
    options.font_name = bounded_text(record.font_name);
    options.page_ranges = bounded_text(record.page_ranges);

    options.languages.reserve(static_cast<size_t>(record.language_count));
    for (int i = 0; i < record.language_count; ++i)
        options.languages.push_back(static_cast<OCRLanguage>(record.languages[i]));
    return options;
}

std::vector<int> parse_page_ranges(const std::string& ranges, int page_count) {
    return RangeParser(ranges, page_count).parse();
}

}  // namespace foli
