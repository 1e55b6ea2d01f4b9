#include "core/conversion.h"

#include <new>
#include <optional>

#include "core/errors.h"
#include "core/library_state.h"
#include "core/log.h"
#include "core/progress.h"
#include "core/worker.h"
#include "ocr/ocr_stage.h"

namespace foli {
namespace {

const char* format_name(OutputFormat format) {
    switch (format) {
    case OutputFormat::Word: return "Word";
    case OutputFormat::Excel: return "Excel";
    case OutputFormat::Ppt: return "PowerPoint";
    case OutputFormat::Html: return "HTML";
    case OutputFormat::Image: return "image";
    case OutputFormat::Markdown: return "Markdown";
    case OutputFormat::Rtf: return "RTF";
    case OutputFormat::Text: return "text";
    case OutputFormat::Json: return "JSON";
    case OutputFormat::SearchablePdf: return "searchable PDF";
    case OutputFormat::Ofd: return "OFD";
    }
    return "unknown";
}

// Makes the context's page runs ask `progress` whether to stop, for as
// long as it lives.
class RunWatch {
public:
    RunWatch(Context& context, Progress& progress)
        : ctx_(context.get()), watch_{&Progress::cancel_requested_hook, &progress} {
        foli_mu_set_run_watch(ctx_, &watch_);
    }
    ~RunWatch() { foli_mu_set_run_watch(ctx_, nullptr); }
    RunWatch(const RunWatch&) = delete;
    RunWatch& operator=(const RunWatch&) = delete;

private:
    fz_context* ctx_;
    foli_run_watch watch_;
};

void convert(OutputFormat format, const char* file_path, const char* password, const char* output_path,
             const _CConvertOption& record, CallerBridge* bridge) {
    if (file_path == nullptr || output_path == nullptr) fail(FOLI_ERR_MISSING_ARG, "a path is missing");
    Options options = decode_options(record);

    Context context(LibraryState::acquire());
    Document document(context, file_path, password);
    std::vector<int> pages = parse_page_ranges(options.page_ranges, document.page_count());
    DocumentInfo info = document.info(file_path);
    OutputFiles files(output_path, options.auto_create_folder, file_path);

    Progress progress(bridge, static_cast<int>(pages.size()));
    RunWatch watch(context, progress);
    WriterContext writer_context{options, files, info, document, pages, &progress};
    std::unique_ptr<Writer> writer = make_writer(format, writer_context);
    LayoutRequest request = writer->layout_request();
    log_info("converting %s (%zu of %d pages) to %s", file_path, pages.size(), document.page_count(),
             format_name(format));

    DocumentAnalysis analysis = survey_document(document, pages, request, info);
    std::unique_ptr<ocr::OcrStage> ocr;
    if (options.enable_ocr || request.recognise)
        ocr = std::make_unique<ocr::OcrStage>(document, pages, options, request.model, progress,
                                              context.state().resource_path());
    writer->begin();
    for (size_t i = 0; i < pages.size(); ++i) {
        if (progress.cancel_requested()) fail(FOLI_ERR_CANCEL, "cancelled");
        PageSource page(document, pages[i], request, &analysis, ocr.get());
        writer->write_page(page);
        progress.pages_done(static_cast<int>(i + 1));
    }
    // A last poll after the last page: a caller who stops us from its final
    // progress report must not find the output committed.
    if (progress.cancel_requested()) fail(FOLI_ERR_CANCEL, "cancelled");
    writer->finish();
    files.commit();
}

}  // namespace

std::unique_ptr<Writer> make_writer(OutputFormat format, WriterContext& context) {
    switch (format) {
    case OutputFormat::Text: return make_text_writer(context);
    case OutputFormat::Markdown: return make_markdown_writer(context);
    case OutputFormat::Html: return make_html_writer(context);
    case OutputFormat::Json: return make_json_writer(context);
    case OutputFormat::Image: return make_image_writer(context);
    case OutputFormat::Word: return make_word_writer(context);
    case OutputFormat::Rtf: return make_rtf_writer(context);
    case OutputFormat::Ofd: return make_ofd_writer(context);
    case OutputFormat::SearchablePdf: return make_searchable_pdf_writer(context);
    case OutputFormat::Excel: return make_excel_writer(context);
    case OutputFormat::Ppt: return make_ppt_writer(context);
    default: break;
    }
    fail(FOLI_ERR_UNKNOWN, "this build cannot write this format yet");
}

namespace {

_CSDKErrorCode convert_reporting(OutputFormat format, const char* file_path, const char* password,
                                 const char* output_path, const _CConvertOption& record,
                                 CallerBridge* bridge) noexcept {
    try {
        convert(format, file_path, password, output_path, record, bridge);
        return FOLI_ERR_SUCCESS;
    } catch (const ConversionError& error) {
        log_info("conversion to %s ended: %s (%d)", format_name(format), error.what(), error.code());
        return error.code();
    } catch (const std::bad_alloc&) {
        log_warning("conversion to %s ran out of memory", format_name(format));
        return FOLI_ERR_OUT_OF_MEMORY;
    } catch (const std::exception& error) {
        log_warning("conversion to %s failed: %s", format_name(format), error.what());
        return FOLI_ERR_UNKNOWN;
    } catch (...) {
        return FOLI_ERR_UNKNOWN;
    }
}

}  // namespace

_CSDKErrorCode run_conversion(OutputFormat format, const char* file_path, const char* password,
                              const char* output_path, const _CConvertOption& record,
                              const CConvertCallback* callback) noexcept {
    try {
        // The caller's callbacks run on this thread, the work on the worker.
        std::optional<CallerBridge> bridge;
        if (callback != nullptr) bridge.emplace(callback);
        CallerBridge* served = bridge ? &*bridge : nullptr;
        _CSDKErrorCode result = FOLI_ERR_UNKNOWN;
        run_on_worker([&] { result = convert_reporting(format, file_path, password, output_path, record, served); },
                      served);
        return result;
    } catch (const std::bad_alloc&) {
        return FOLI_ERR_OUT_OF_MEMORY;
    } catch (...) {
        return FOLI_ERR_UNKNOWN;
    }
}

}  // namespace foli
