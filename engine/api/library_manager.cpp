// LibraryManager: lifecycle, logging, version, page count and the
// document-AI model entry points.
#include "folia/common/library_manager.h"

#include <cstring>
#include <new>

#include "core/errors.h"
#include "core/library_state.h"
#include "core/log.h"
#include "core/worker.h"
#include "load/document.h"
#include "ocr/ocr_library.h"

#ifndef FOLI_VERSION_TEXT
#error "FOLI_VERSION_TEXT must be defined by the build"
#endif

namespace folia::common {

using folia::base::ErrorCode;

static_assert(sizeof(FOLI_VERSION_TEXT) <= static_cast<size_t>(kVersionBufferSize),
              "the version text must fit the caller's buffer");

void LibraryManager::Initialize(const char* resource_path) {
    try {
        foli::LibraryState::initialize(resource_path);
    } catch (const std::exception& error) {
        foli::log_warning("initialize failed: %s", error.what());
    }
}

void LibraryManager::Release() {
    foli::ocr::release_models();
    foli::LibraryState::release();
    foli::set_logging(false, false);
}

void LibraryManager::ReleaseDocumentAIModel() { foli::ocr::release_models(); }

void LibraryManager::SetLogger(bool enable_info, bool enable_warning) { foli::set_logging(enable_info, enable_warning); }

void LibraryManager::GetVersion(char* version) {
    if (version != nullptr) std::memcpy(version, FOLI_VERSION_TEXT, sizeof(FOLI_VERSION_TEXT));
}

namespace {

int count_pages(const char* file_path, const char* password) noexcept {
    try {
        if (file_path == nullptr) return -static_cast<int>(FOLI_ERR_MISSING_ARG);
        foli::Context context(foli::LibraryState::acquire());
        foli::Document document(context, file_path, password);
        return document.page_count();
    } catch (const foli::ConversionError& error) {
        return -static_cast<int>(error.code());
    } catch (const std::bad_alloc&) {
        return -static_cast<int>(FOLI_ERR_OUT_OF_MEMORY);
    } catch (...) {
        return -static_cast<int>(FOLI_ERR_UNKNOWN);
    }
}

}  // namespace

int LibraryManager::GetPageCount(const char* file_path, const char* password) {
    // Opening a damaged file descends into what it nests, as a conversion
    // does: on a worker's large stack too.
    int count = -static_cast<int>(FOLI_ERR_UNKNOWN);
    try {
        foli::run_on_worker([&] { count = count_pages(file_path, password); }, nullptr);
    } catch (...) {
        return -static_cast<int>(FOLI_ERR_OUT_OF_MEMORY);
    }
    return count;
}

ErrorCode LibraryManager::SetDocumentAIModel(const char* file_path, int gpu_id) {
    return static_cast<ErrorCode>(foli::ocr::load_model_package(file_path, gpu_id));
}

void LibraryManager::SetDocumentAIModelCount(int layout_model_count, int table_model_count) {
    foli::ocr::set_engine_counts(layout_model_count, table_model_count);
}

}  // namespace folia::common
