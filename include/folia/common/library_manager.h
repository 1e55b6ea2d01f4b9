// Process-wide operations of libfoliconversionsdk: lifecycle, logging,
// version, page count and the document-AI models.
#pragma once

#include "folia/base/base_types.h"
#include "folia/common/foli_export.h"

namespace folia::common {

// Capacity of the buffer handed to GetVersion, terminating NUL included.
// The library never writes more than this.
inline constexpr int kVersionBufferSize = 32;

class FOLI_API LibraryManager {
public:
    LibraryManager() = delete;

    // Remembers the resource folder; null selects the built-in defaults.
    static void Initialize(const char* resource_path);
    // Frees everything the library holds; a later call starts afresh.
    static void Release();
    static void ReleaseDocumentAIModel();
    static void SetLogger(bool enable_info, bool enable_warning);
    // Writes a NUL-terminated text of at most kVersionBufferSize bytes.
    static void GetVersion(char* version);
    // The page count, or minus the ErrorCode number on failure.
    static int GetPageCount(const char* file_path, const char* password);
    static folia::base::ErrorCode SetDocumentAIModel(const char* file_path, int gpu_id);
    static void SetDocumentAIModelCount(int layout_model_count, int table_model_count);
};

}  // namespace folia::common
