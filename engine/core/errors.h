// Failures inside the library travel as ConversionError up to the C entry
// points, which turn them into result numbers. They never cross MuPDF
// frames: everything that calls MuPDF goes through the C shim.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "folia/conversion/foli_conversion_api.h"
#include "load/mupdf_shim.h"

namespace foli {

class ConversionError : public std::exception {
public:
    ConversionError(_CSDKErrorCode code, std::string message) : code_(code), message_(std::move(message)) {}
    _CSDKErrorCode code() const noexcept { return code_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    _CSDKErrorCode code_;
    std::string message_;
};

[[noreturn]] inline void fail(_CSDKErrorCode code, std::string message) {
    throw ConversionError(code, std::move(message));
}

inline _CSDKErrorCode result_from_status(foli_mu_status status) {
    switch (status) {
    case FOLI_MU_OK: return FOLI_ERR_SUCCESS;
    case FOLI_MU_FILE: return FOLI_ERR_FILE;
    case FOLI_MU_PASSWORD: return FOLI_ERR_PDF_PASSWORD;
    case FOLI_MU_FORMAT: return FOLI_ERR_PDF_FORMAT;
    case FOLI_MU_SECURITY: return FOLI_ERR_PDF_SECURITY;
    case FOLI_MU_MEMORY: return FOLI_ERR_OUT_OF_MEMORY;
    case FOLI_MU_PAGE: return FOLI_ERR_PDF_PAGE;
    case FOLI_MU_IO: return FOLI_ERR_IO;
    case FOLI_MU_CANCELLED: return FOLI_ERR_CANCEL;
    case FOLI_MU_FAILED: break;
    }
    return FOLI_ERR_UNKNOWN;
}

// Throws for anything but FOLI_MU_OK.
inline void check(foli_mu_status status, const char* what) {
    if (status != FOLI_MU_OK) fail(result_from_status(status), what);
}

}  // namespace foli
