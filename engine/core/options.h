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

// The library reads the same record the module fills, decoded from the
// flat C record.
using Options = folia::base::ConvertOptions;

// Copies the record; reads the language array, which is valid only for
// the length of the call. Throws INVALID_ARG for a negative count, a
// missing array, or any enumeration value (languages included) outside its
// enumeration, whatever the format.
Options decode_options(const _CConvertOption& record);

// Parses "1-3,5,7-9" (1-based, inclusive, spaces allowed) into 0-based page
// indices in the order given, each page once; empty selects every page. Throws INVALID_ARG
// for malformed text, page 0, a page beyond page_count or a reversed range.
std::vector<int> parse_page_ranges(const std::string& ranges, int page_count);

}  // namespace foli
