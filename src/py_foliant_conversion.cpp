// Conversions: the option marshalling into the library's flat record, the
// callback bundle with its bridge from context-free C callbacks to Python,
// and the FOLIConversion entry points.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/typing.h>
#include <pybind11/stl.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "folia/base/base_types.h"
#include "folia/conversion/foli_conversion_api.h"

namespace py = pybind11;
using folia::base::ConvertOptions;
using folia::base::ErrorCode;

namespace folia::conversion {
// Groups the static entry points; never instantiated.
class FOLIConversion {};
}  // namespace folia::conversion

static const std::string class_doc_string =
    "\n    FOLIConversion class provides functionalities to convert PDF files into various formats "
    "such as Word, Excel, PPT, HTML, etc.\n";

class PyConvertCallback;

namespace {

// State of the conversion running on this thread, seen by the callback
// wrappers. An exception raised by a Python callable is parked here instead
// of unwinding through the library's frames; from then on the cancel
// wrapper answers true so that the library stops early, and the entry point
// re-raises the exception once the library has returned.
struct ActiveConversion {
    std::exception_ptr callback_error;
    // The bundle whose record the library holds for this conversion, or null.
    PyConvertCallback* callback;
    // Set when a cancel function was lent to a record that had none.
    bool cancel_lent = false;
    ActiveConversion* previous;

    static thread_local ActiveConversion* current;

    explicit ActiveConversion(PyConvertCallback* handed_callback) : callback(handed_callback), previous(current) {
        current = this;
    }
    ~ActiveConversion();
    ActiveConversion(const ActiveConversion&) = delete;
    ActiveConversion& operator=(const ActiveConversion&) = delete;

    static bool failed() { return current != nullptr && current->callback_error != nullptr; }

    // After a callback error the library must be asked to stop even when the
    // caller set only a progress callable: the library reads the record's
    // fields at every call, so lending it a cancel function for the rest of
    // this conversion makes its next poll end the conversion, and nothing
    // is committed. The record gets its null field back when the
    // conversion ends.
    static void ask_to_stop();
};

thread_local ActiveConversion* ActiveConversion::current = nullptr;

// Runs a Python call for a callback wrapper with the interpreter lock held
// and keeps any exception from leaving the wrapper.
template <typename Call>
void call_python_guarded(Call&& call) {
    try {
        call();
    } catch (...) {
        if (ActiveConversion::current != nullptr) {
            if (!ActiveConversion::current->callback_error)
                ActiveConversion::current->callback_error = std::current_exception();
            return;
        }
        // Called outside any conversion of this thread: nobody can receive
        // the error, so report it the way Python reports lost exceptions.
        try {
            throw;
        } catch (py::error_already_set& error) {
            error.discard_as_unraisable("ConvertCallback");
        } catch (const std::exception& error) {
            PyErr_SetString(PyExc_RuntimeError, error.what());
            PyErr_WriteUnraisable(nullptr);
        } catch (...) {
            PyErr_SetString(PyExc_RuntimeError, "unknown error in a conversion callback");
            PyErr_WriteUnraisable(nullptr);
        }
    }
}

}  // namespace

class PyConvertCallback {
public:
    std::function<void(int, int)> progress_callback;
    std::function<bool()> cancel_callback;
    CConvertCallback c_callback{};

    static thread_local PyConvertCallback* s_current_instance;

    PyConvertCallback() = default;
    PyConvertCallback(const PyConvertCallback&) = delete;
    PyConvertCallback& operator=(const PyConvertCallback&) = delete;

    ~PyConvertCallback() {
        if (s_current_instance == this) s_current_instance = nullptr;
    }

    void set_progress(std::function<void(int, int)> progress) {
        // Swap first, destroy after: the old callable may be the one that
        // is running right now and must not die while it runs.
        std::swap(progress_callback, progress);
        c_callback.progress_func = &static_progress_wrapper;
    }

    void set_cancel(std::function<bool()> cancel) {
        std::swap(cancel_callback, cancel);
        c_callback.cancel_func = &static_cancel_wrapper;
    }

    void reset() {
        std::function<void(int, int)> old_progress;
        std::function<bool()> old_cancel;
        std::swap(progress_callback, old_progress);
        std::swap(cancel_callback, old_cancel);
        c_callback = CConvertCallback{};
        if (s_current_instance == this) s_current_instance = nullptr;
    }

    bool armed() const { return progress_callback || cancel_callback; }

    static void static_progress_wrapper(int current_page, int total_page) {
        const PyConvertCallback* instance = s_current_instance;
        if (instance == nullptr || !instance->progress_callback || ActiveConversion::failed()) return;
        py::gil_scoped_acquire gil;
        instance = s_current_instance;
        if (instance == nullptr || !instance->progress_callback) return;
        // The copy holds its own reference to the Python callable, so the
        // callable survives a reset() or set_progress() made from inside it.
        std::function<void(int, int)> progress = instance->progress_callback;
        call_python_guarded([&] { progress(current_page, total_page); });
        ActiveConversion::ask_to_stop();
    }

    static bool static_cancel_wrapper() {
        if (ActiveConversion::failed()) return true;
        const PyConvertCallback* instance = s_current_instance;
        if (instance == nullptr || !instance->cancel_callback) return false;
        py::gil_scoped_acquire gil;
        instance = s_current_instance;
        if (instance == nullptr || !instance->cancel_callback) return false;
        std::function<bool()> cancel = instance->cancel_callback;
        bool answer = false;
        call_python_guarded([&] { answer = cancel(); });
        return answer || ActiveConversion::failed();
    }
};

thread_local PyConvertCallback* PyConvertCallback::s_current_instance = nullptr;

namespace {

ActiveConversion::~ActiveConversion() {
    // A cancel callable set while the conversion ran keeps its field.
    if (cancel_lent && !callback->cancel_callback) callback->c_callback.cancel_func = nullptr;
    current = previous;
}

void ActiveConversion::ask_to_stop() {
    if (!failed() || current->callback == nullptr) return;
    CConvertCallback& record = current->callback->c_callback;
    if (record.cancel_func != nullptr) return;
    record.cancel_func = &PyConvertCallback::static_cancel_wrapper;
    current->cancel_lent = true;
}

}  // namespace

namespace {

template <typename Function>
ErrorCode CallConversionCApi(Function function, const std::string& file_path, const std::string& password,
                             const std::string& output_path, const ConvertOptions& options,
                             CConvertCallback* callback) {
    _CConvertOption record;
    std::memset(&record, 0, sizeof record);

    record.enable_ai_layout = options.enable_ai_layout;
    record.contain_image = options.contain_image;
    record.contain_page_background_image = options.contain_page_background_image;
    record.json_contain_table = options.json_contain_table;
    record.contain_annotation = options.contain_annotation;
    record.excel_all_content = options.excel_all_content;
    record.excel_csv_format = options.excel_csv_format;
    record.enable_ocr = options.enable_ocr;
    record.transparent_text = options.transparent_text;
    record.txt_table_format = options.txt_table_format;
    record.image_path_enhance = options.image_path_enhance;
    record.formula_to_image = options.formula_to_image;
    record.auto_create_folder = options.auto_create_folder;
    record.output_document_per_page = options.output_document_per_page;

    record.image_scaling = options.image_scaling;
    record.page_layout_mode = static_cast<int32_t>(options.page_layout_mode);
    record.excel_worksheet_option = static_cast<int32_t>(options.excel_worksheet_option);
    record.html_option = static_cast<int32_t>(options.html_option);
    record.ocr_option = static_cast<int32_t>(options.ocr_option);
    record.image_color_mode = static_cast<int32_t>(options.image_color_mode);
    record.image_type = static_cast<int32_t>(options.image_type);

    // Bounded copies: at most 255 bytes, cut at an embedded NUL, always
    // terminated. The cut counts bytes, not characters.
    std::snprintf(record.font_name, sizeof record.font_name, "%s", options.font_name.c_str());
    std::snprintf(record.page_ranges, sizeof record.page_ranges, "%s", options.page_ranges.c_str());

    std::vector<_COCRLanguage> languages;
    languages.reserve(options.languages.size());
    for (folia::base::OCRLanguage language : options.languages)
        languages.push_back(static_cast<_COCRLanguage>(language));
    record.language_count = static_cast<int32_t>(languages.size());
    record.languages = languages.empty() ? nullptr : languages.data();

    _CSDKErrorCode result;
    {
        py::gil_scoped_release release;
        result = function(file_path.c_str(), password.c_str(), output_path.c_str(), record, callback);
    }
    return static_cast<ErrorCode>(result);
}

// Makes an armed bundle this thread's current instance and returns the
// record to hand over; an absent or unarmed bundle gives a null record.
CConvertCallback* install_callback(PyConvertCallback* callback) {
    if (callback == nullptr || !callback->armed()) return nullptr;
    PyConvertCallback::s_current_instance = callback;
    return &callback->c_callback;
}

// The library takes the strings as C strings, which end at the first NUL:
// "victim.conf\0.txt" would name victim.conf. Such text is refused here.
bool holds_nul(const std::string& text) { return text.find('\0') != std::string::npos; }

ErrorCode start_conversion(FOLI_ConversionFunction function, const std::string& file_path,
                           const std::string& password, const std::string& output_path,
                           const ConvertOptions& options, const std::shared_ptr<PyConvertCallback>& callback) {
    if (holds_nul(file_path) || holds_nul(password) || holds_nul(output_path)) return ErrorCode::INVALID_ARG;
    CConvertCallback* record = install_callback(callback.get());
    ActiveConversion conversion(record != nullptr ? callback.get() : nullptr);
    ErrorCode result = CallConversionCApi(function, file_path, password, output_path, options, record);
    if (conversion.callback_error) std::rethrow_exception(conversion.callback_error);
    return result;
}

struct EntryPoint {
    const char* name;
    FOLI_ConversionFunction function;
    const char* doc;
};

const EntryPoint kEntryPoints[] = {
    {"start_pdf_to_word", &FOLI_StartPDFToWord, "Starts the conversion of a PDF file to a Word document."},
    {"start_pdf_to_excel", &FOLI_StartPDFToExcel, "Starts the conversion of a PDF file to an Excel document."},
    {"start_pdf_to_ppt", &FOLI_StartPDFToPpt,
     "Starts the conversion of a PDF file to a PowerPoint presentation."},
    {"start_pdf_to_html", &FOLI_StartPDFToHtml, "Starts the conversion of a PDF file to an HTML document."},
    {"start_pdf_to_image", &FOLI_StartPDFToImage, "Starts the conversion of a PDF file to an image format."},
    {"start_pdf_to_markdown", &FOLI_StartPDFToMarkdown,
     "Starts the conversion of a PDF file to a Markdown document."},
    {"start_pdf_to_rtf", &FOLI_StartPDFToRtf, "Starts the conversion of a PDF file to an RTF document."},
    {"start_pdf_to_txt", &FOLI_StartPDFToTxt, "Starts the conversion of a PDF file to a plain text file."},
    {"start_pdf_to_json", &FOLI_StartPDFToJson, "Starts the conversion of a PDF file to a JSON document."},
    {"start_pdf_to_searchable_pdf", &FOLI_StartPDFToSearchablePDF,
     "Starts the conversion of a PDF file to a searchable PDF document."},
    {"start_pdf_to_ofd", &FOLI_StartPDFToOfd, "Starts the conversion of a PDF file to an OFD document."},
};

void register_convert_callback(py::module_& m) {
    py::class_<PyConvertCallback, std::shared_ptr<PyConvertCallback>>(
        m, "ConvertCallback",
        "Callback bundle for conversion progress and cancellation. Each instance maintains its own "
        "callback state.")
        .def(py::init<>(), "Default constructor")
        .def("set_progress", &PyConvertCallback::set_progress, py::arg("progress"),
             "Sets a callback function to track the progress of conversion. The callback receives "
             "(current_page, total_page).")
        .def("set_cancel", &PyConvertCallback::set_cancel, py::arg("cancel"),
             "Sets a callback function for cancellation check. Return True to cancel the conversion.")
        .def("reset", &PyConvertCallback::reset, "Resets all callbacks to None.")
        // Pickle protocols 0 and 1 would make pybind11 abort the process
        // (see the enumerations); refuse them as protocol 2 does.
        .def("__reduce_ex__", [](py::handle self, int protocol) -> py::typing::Tuple<py::object, py::ellipsis> {
            return py::module_::import("builtins").attr("object").attr("__reduce_ex__")(self, protocol < 2 ? 2 : protocol);
        }, py::arg("protocol"), "Refuses pickling under every pickle protocol.");
}

void register_foli_conversion(py::module_& m) {
    py::class_<folia::conversion::FOLIConversion> conversion(m, "FOLIConversion", class_doc_string.c_str());
    for (const EntryPoint& entry : kEntryPoints) {
        FOLI_ConversionFunction function = entry.function;
        conversion.def_static(
            entry.name,
            [function](const std::string& file_path, const std::string& password, const std::string& output_path,
                       const ConvertOptions& options, std::shared_ptr<PyConvertCallback> callback) {
                return start_conversion(function, file_path, password, output_path, options, callback);
            },
            py::arg("file_path"), py::arg("password"), py::arg("output_path"), py::arg("options"),
            py::arg("callback") = py::none(), entry.doc);
    }
}

}  // namespace

void init_foli_conversion(py::module_& m) {
    register_convert_callback(m);
    register_foli_conversion(m);
}
