// The exported conversion functions: one per output format, all through
// the same pipeline.
#include "core/conversion.h"

using foli::OutputFormat;

#define FOLI_DEFINE_CONVERSION(name, format)                                                          \
    extern "C" FOLI_API _CSDKErrorCode name(const char* file_path, const char* password,             \
                                            const char* output_path, _CConvertOption options,        \
                                            CConvertCallback* callback) {                            \
        return foli::run_conversion(format, file_path, password, output_path, options, callback);    \
    }

FOLI_DEFINE_CONVERSION(FOLI_StartPDFToWord, OutputFormat::Word)
FOLI_DEFINE_CONVERSION(FOLI_StartPDFToExcel, OutputFormat::Excel)
FOLI_DEFINE_CONVERSION(FOLI_StartPDFToPpt, OutputFormat::Ppt)
FOLI_DEFINE_CONVERSION(FOLI_StartPDFToHtml, OutputFormat::Html)
FOLI_DEFINE_CONVERSION(FOLI_StartPDFToImage, OutputFormat::Image)
FOLI_DEFINE_CONVERSION(FOLI_StartPDFToMarkdown, OutputFormat::Markdown)
FOLI_DEFINE_CONVERSION(FOLI_StartPDFToRtf, OutputFormat::Rtf)
FOLI_DEFINE_CONVERSION(FOLI_StartPDFToTxt, OutputFormat::Text)
FOLI_DEFINE_CONVERSION(FOLI_StartPDFToJson, OutputFormat::Json)
FOLI_DEFINE_CONVERSION(FOLI_StartPDFToSearchablePDF, OutputFormat::SearchablePdf)
FOLI_DEFINE_CONVERSION(FOLI_StartPDFToOfd, OutputFormat::Ofd)
