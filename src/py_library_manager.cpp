// LibraryManager: the library's process-wide operations, bound straight to
// its static functions. The interpreter lock stays held for every call.
#include <pybind11/pybind11.h>

#include <string>

#include "folia/common/library_manager.h"

namespace py = pybind11;
using folia::common::LibraryManager;

std::string get_version() {
    // Zeroed so that a library which writes nothing yields an empty text
    // instead of stack garbage; the last byte stays NUL whatever it writes.
    char version[folia::common::kVersionBufferSize] = {};
    LibraryManager::GetVersion(version);
    version[sizeof(version) - 1] = '\0';
    return std::string(version);
}

void init_library_manager(py::module_& m) {
    py::class_<LibraryManager>(
        m, "LibraryManager",
        "LibraryManager is the central hub for managing the lifecycle of the SDK library: it "
        "initializes the library with its resources, installs fonts, sets up logging and progress "
        "callbacks, retrieves version information and counts the pages in documents.")
        .def_static("initialize", &LibraryManager::Initialize, py::arg("resource_path"),
                    "Initializes the SDK library with the given resource path")
        .def_static("release", &LibraryManager::Release,
                    "Releases all resources used by the library. Should be called when the SDK is no "
                    "longer needed.")
        .def_static("release_document_ai_model", &LibraryManager::ReleaseDocumentAIModel,
                    "Release the memory by the AI model.")
        .def_static("set_logger", &LibraryManager::SetLogger, py::arg("enable_info"), py::arg("enable_warning"),
                    "Enables or disables logging for info and warning messages.")
        .def_static("get_version", &get_version, "Gets the version of the SDK library.")
        .def_static("get_page_count", &LibraryManager::GetPageCount, py::arg("file_path"), py::arg("password"),
                    "Returns the number of pages in a document.")
        .def_static("set_document_ai_model", &LibraryManager::SetDocumentAIModel, py::arg("file_path"),
                    py::arg("gpu_id") = -1,
                    "Sets the Document AI model for OCR based on the provided file path. gpu_id: Which "
                    "GPU for ai model, -1 means disable gpu.")
        .def_static("set_document_ai_model_count", &LibraryManager::SetDocumentAIModelCount,
                    py::arg("layout_model_count"), py::arg("table_model_count"),
                    "Sets the number of AI models for layout analysis and table recognition.");
}
