// The option enumerations, ErrorCode and the ConvertOptions record.
#include <pybind11/pybind11.h>
#include <pybind11/typing.h>
#include <pybind11/stl.h>

#include "folia/base/base_types.h"

namespace py = pybind11;
using namespace folia::base;

namespace {

void register_enumerations(py::module_& m) {
    py::enum_<OCRLanguage>(m, "OCRLanguage")
        .value("UNKNOWN", OCRLanguage::UNKNOWN, "Unknown language")
        .value("CHINESE", OCRLanguage::CHINESE, "Chinese (Simplified)")
        .value("CHINESE_TRA", OCRLanguage::CHINESE_TRA, "Chinese (Traditional)")
        .value("ENGLISH", OCRLanguage::ENGLISH, "English")
        .value("KOREAN", OCRLanguage::KOREAN, "Korean")
        .value("JAPANESE", OCRLanguage::JAPANESE, "Japanese")
        .value("LATIN", OCRLanguage::LATIN, "Latin")
        .value("DEVANAGARI", OCRLanguage::DEVANAGARI, "Devanagari")
        .value("CYRILLIC", OCRLanguage::CYRILLIC, "Cyrillic")
        .value("ARABIC", OCRLanguage::ARABIC, "Arabic")
        .value("TAMIL", OCRLanguage::TAMIL, "Tamil")
        .value("TELUGU", OCRLanguage::TELUGU, "Telugu")
        .value("KANNADA", OCRLanguage::KANNADA, "Kannada")
        .value("THAI", OCRLanguage::THAI, "Thai")
        .value("GREEK", OCRLanguage::GREEK, "Greek")
        .value("ESLAV", OCRLanguage::ESLAV, "Eslav")
        .value("AUTO", OCRLanguage::AUTO, "Automatically select language")
        .export_values();

    py::enum_<ErrorCode>(m, "ErrorCode")
        .value("SUCCESS", ErrorCode::SUCCESS, "Success, and no error occurs")
        .value("CANCEL", ErrorCode::CANCEL, "Conversion process was canceled")
        .value("FILE_ERROR", ErrorCode::FILE_ERROR, "File cannot be found or could not be opened")
        .value("PDF_PASSWORD_ERROR", ErrorCode::PDF_PASSWORD_ERROR,
               "Invalid password. Usually, this error may occur when loading a PDF document with "
               "password. When meet this, user should load document again with correct password")
        .value("PDF_PAGE_ERROR", ErrorCode::PDF_PAGE_ERROR, "PDF page failed to load")
        .value("PDF_FORMAT_ERROR", ErrorCode::PDF_FORMAT_ERROR,
               "Format is invalid. For files, this may also mean that file is corrupted")
        .value("PDF_SECURITY_ERROR", ErrorCode::PDF_SECURITY_ERROR,
               "PDF document is encrypted by some unsupported security handler")
        .value("OUT_OF_MEMORY", ErrorCode::OUT_OF_MEMORY, "Out-of-memory error occurs")
        .value("IO_ERROR", ErrorCode::IO_ERROR, "System I/O error")
        .value("COMPRESS_ERROR", ErrorCode::COMPRESS_ERROR, "Folder compression failed")
        .value("NO_TABLE_ERROR", ErrorCode::NO_TABLE_ERROR, "No tables found in the source file")
        .value("OCR_FAILURE", ErrorCode::OCR_FAILURE, "Failed to call OCR recognition")
        .value("CONVERTING_ERROR", ErrorCode::CONVERTING_ERROR, "Currently executing conversion task")
        .value("INVALID_ARG", ErrorCode::INVALID_ARG, "Invalid argument provided")
        .value("INVALID_HANDLE", ErrorCode::INVALID_HANDLE,
               "The handle is invalid, possibly uninitialized or already released")
        .value("INVALID_MODEL_FORMAT", ErrorCode::INVALID_MODEL_FORMAT,
               "The model file format is invalid or corrupted")
        .value("MODEL_FUNCTION_UNSUPPORTED", ErrorCode::MODEL_FUNCTION_UNSUPPORTED,
               "The model does not support the requested function or operation")
        .value("MODEL_FORMAT_UNSUPPORTED", ErrorCode::MODEL_FORMAT_UNSUPPORTED,
               "The model format is not supported by this system or SDK")
        .value("MODEL_SDK_MISMATCH", ErrorCode::MODEL_SDK_MISMATCH,
               "The model is incompatible with the current SDK version")
        .value("IMAGE_DATA_EMPTY", ErrorCode::IMAGE_DATA_EMPTY, "The image data is empty or not provided")
        .value("IMAGE_WIDTH_HEIGHT_ERROR", ErrorCode::IMAGE_WIDTH_HEIGHT_ERROR,
               "The image width or height is invalid (e.g., less than or equal to zero)")
        .value("IMAGE_FORMAT_UNSUPPORTED", ErrorCode::IMAGE_FORMAT_UNSUPPORTED,
               "The image format is not supported (e.g., not RGB, YUV, etc.)")
        .value("IMAGE_INVALID", ErrorCode::IMAGE_INVALID, "The image is invalid or corrupted")
        .value("MISSING_ARG", ErrorCode::MISSING_ARG, "A required argument is missing")
        .value("INVALID_TABLE", ErrorCode::INVALID_TABLE, "The table data is invalid or null")
        .value("UNKNOWN_ERROR", ErrorCode::UNKNOWN_ERROR, "Unknown error")
        .export_values();

    py::enum_<PageLayoutMode>(m, "PageLayoutMode")
        .value("BOX", PageLayoutMode::BOX, "Box mode")
        .value("FLOW", PageLayoutMode::FLOW, "Flowing mode")
        .export_values();

    py::enum_<ImageColorMode>(m, "ImageColorMode")
        .value("COLOR", ImageColorMode::COLOR, "Color mode")
        .value("GRAY", ImageColorMode::GRAY, "Gray mode")
        .value("BINARY", ImageColorMode::BINARY, "Binary mode")
        .export_values();

    py::enum_<ImageType>(m, "ImageType")
        .value("JPG", ImageType::JPG, ".jpg")
        .value("JPEG", ImageType::JPEG, ".jpeg")
        .value("JPEG2000", ImageType::JPEG2000, ".jp2")
        .value("PNG", ImageType::PNG, ".png")
        .value("BMP", ImageType::BMP, ".bmp")
        .value("TIFF", ImageType::TIFF, ".tiff")
        .value("TGA", ImageType::TGA, ".tga")
        .value("GIF", ImageType::GIF, ".gif")
        .value("WEBP", ImageType::WEBP, ".webp")
        .export_values();

    py::enum_<HtmlOption>(m, "HtmlOption")
        .value("SINGLE_PAGE", HtmlOption::SINGLE_PAGE, "Convert the entire PDF file into a single HTML file")
        .value("SINGLE_PAGE_WITH_BOOKMARK", HtmlOption::SINGLE_PAGE_WITH_BOOKMARK,
               "Convert the PDF file into a single HTML file with an outline for navigation at the "
               "beginning of the HTML page")
        .value("MULTIPLE_PAGE", HtmlOption::MULTIPLE_PAGE, "Convert the PDF file into multiple HTML files")
        .value("MULTIPLE_PAGE_WITH_BOOKMARK", HtmlOption::MULTIPLE_PAGE_WITH_BOOKMARK,
               "Convert the PDF file into multiple HTML files. Each HTML file corresponds to a PDF "
               "page, and users can navigate to the next HTML file via a link at the bottom of the "
               "HTML page")
        .export_values();

    py::enum_<ExcelWorksheetOption>(m, "ExcelWorksheetOption")
        .value("FOR_TABLE", ExcelWorksheetOption::FOR_TABLE, "A worksheet to contain only one table")
        .value("FOR_PAGE", ExcelWorksheetOption::FOR_PAGE, "A worksheet to contain table for PDF Page")
        .value("FOR_DOCUMENT", ExcelWorksheetOption::FOR_DOCUMENT,
               "A worksheet to contain table for PDF Document")
        .export_values();

    py::enum_<OCROption>(m, "OCROption")
        .value("INVALID_CHARACTER", OCROption::INVALID_CHARACTER,
               "Recognize illegal characters in PDF documents")
        .value("SCAN_PAGE", OCROption::SCAN_PAGE, "Recognize scanned pages in PDF documents")
        .value("INVALID_CHARACTER_AND_SCAN_PAGE", OCROption::INVALID_CHARACTER_AND_SCAN_PAGE,
               "Recognize illegal characters and scanned pages in PDF documents")
        .value("ALL", OCROption::ALL, "Recognize all characters on all pages")
        .export_values();
}

// Pickle protocols 0 and 1 go through copyreg, which makes pybind11
// allocate an instance of its bare base type; pybind11 throws out of a type
// slot and the process aborts. Under those protocols an enumeration member
// is rebuilt from its number, and any other object is treated as protocol 2
// treats it (refused, for the classes that cannot be pickled).
py::typing::Tuple<py::object, py::ellipsis> reduce_for_any_protocol(py::handle self, int protocol, bool rebuild_from_number) {
    if (protocol < 2 && rebuild_from_number)
        return py::make_tuple(py::type::of(self), py::make_tuple(py::int_(py::reinterpret_borrow<py::object>(self))));
    return py::module_::import("builtins").attr("object").attr("__reduce_ex__")(self, protocol < 2 ? 2 : protocol);
}

void guard_old_pickle_protocols(py::module_& m, const char* class_name, bool rebuild_from_number) {
    py::object cls = m.attr(class_name);
    const char* doc = rebuild_from_number ? "Pickles the member by its number under every pickle protocol."
                                          : "Refuses pickling under every pickle protocol.";
    cls.attr("__reduce_ex__") = py::cpp_function(
        [rebuild_from_number](py::handle self, int protocol) {
            return reduce_for_any_protocol(self, protocol, rebuild_from_number);
        },
        py::name("__reduce_ex__"), py::is_method(cls), py::arg("protocol"), doc);
}

void register_convert_options(py::module_& m) {
    // Enumeration getters hand out copies: a member read earlier must not
    // change when the field is assigned later.
    constexpr auto copy = py::return_value_policy::copy;

    py::class_<ConvertOptions>(m, "ConvertOptions")
        .def(py::init<>(), "Default constructor")
        .def_readwrite("enable_ai_layout", &ConvertOptions::enable_ai_layout,
                       "Whether to enable AI layout analysis during conversion")
        .def_readwrite("contain_image", &ConvertOptions::contain_image,
                       "Whether to contain images when converting, which takes effect only when "
                       "enable_ocr is false")
        .def_readwrite("contain_page_background_image", &ConvertOptions::contain_page_background_image,
                       "Whether to contain page background images when converting,which takes effect "
                       "only when enable_ocr is true.")
        .def_readwrite("json_contain_table", &ConvertOptions::json_contain_table,
                       "Whether to contain table when convert pdf to json")
        .def_readwrite("contain_annotation", &ConvertOptions::contain_annotation,
                       "Whether to contain annotations when converting")
        .def_readwrite("excel_all_content", &ConvertOptions::excel_all_content,
                       "Whether to set contain all pdf content to the xlsx file")
        .def_readwrite("excel_csv_format", &ConvertOptions::excel_csv_format,
                       "Whether to set to save the table in csv format")
        .def_readwrite("enable_ocr", &ConvertOptions::enable_ocr, "Whether to use OCR")
        .def_readwrite("transparent_text", &ConvertOptions::transparent_text,
                       "Whether to make the text transparent in the output document")
        .def_readwrite("txt_table_format", &ConvertOptions::txt_table_format,
                       "Whether format table when convert pdf to txt")
        .def_readwrite("image_path_enhance", &ConvertOptions::image_path_enhance,
                       "Whether to enhance the image path")
        .def_readwrite("formula_to_image", &ConvertOptions::formula_to_image,
                       "Whether to convert formula to image")
        .def_readwrite("auto_create_folder", &ConvertOptions::auto_create_folder,
                       "Whether to automatically create folder when exporting multiple documents")
        .def_readwrite("output_document_per_page", &ConvertOptions::output_document_per_page,
                       "whether to output one document per page")
        .def_readwrite("image_scaling", &ConvertOptions::image_scaling,
                       "Specify the image scaling of the image file")
        .def_readwrite("page_layout_mode", &ConvertOptions::page_layout_mode, "Specify the layout mode", copy)
        .def_readwrite("html_option", &ConvertOptions::html_option, "Specify the HTML option for conversion",
                       copy)
        .def_readwrite("ocr_option", &ConvertOptions::ocr_option, "Specify the OCR option", copy)
        .def_readwrite("excel_worksheet_option", &ConvertOptions::excel_worksheet_option,
                       "Specify the Excel worksheet option for conversion", copy)
        .def_readwrite("image_color_mode", &ConvertOptions::image_color_mode,
                       "Specify the image color mode of the image file", copy)
        .def_readwrite("image_type", &ConvertOptions::image_type, "Specify the image type of the image file",
                       copy)
        .def_readwrite("font_name", &ConvertOptions::font_name,
                       "Specify the fontname to convert, e.g. \"Arial\"")
        .def_readwrite("page_ranges", &ConvertOptions::page_ranges,
                       "Specify the pages to convert, e.g. \"1-3,5,7-9\"")
        .def_readwrite("languages", &ConvertOptions::languages, "Specify the OCR languages")
        .def("__repr__", [](const ConvertOptions&) { return "<foliant.base.ConvertOptions>"; },
             "String representation of ConvertOptions object")
        .def("__str__", [](const ConvertOptions&) { return "<foliant.base.ConvertOptions>"; },
             "String representation of ConvertOptions object");
}

}  // namespace

void init_base_type(py::module_& m) {
    register_enumerations(m);
    register_convert_options(m);
    for (const char* name : {"OCRLanguage", "ErrorCode", "PageLayoutMode", "ImageColorMode", "ImageType", "HtmlOption",
                             "ExcelWorksheetOption", "OCROption"})
        guard_old_pickle_protocols(m, name, true);
    guard_old_pickle_protocols(m, "ConvertOptions", false);
}
