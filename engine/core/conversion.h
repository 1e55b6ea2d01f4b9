// The conversion pipeline shared by every output format.
#pragma once

#include "folia/conversion/foli_conversion_api.h"
#include "writers/writer.h"

namespace foli {

// Runs one conversion to its end and reports its outcome; never throws.
_CSDKErrorCode run_conversion(OutputFormat format, const char* file_path, const char* password,
                              const char* output_path, const _CConvertOption& record,
                              const CConvertCallback* callback) noexcept;

}  // namespace foli
