// The interface between the conversion pipeline and the per-format writers.
// The pipeline opens the document, picks the pages and drives the writer
// one page at a time; the writer reads the page's analysed layout (or
// renders it) and writes through OutputFiles.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/layout.h"
#include "core/errors.h"
#include "core/options.h"
#include "core/progress.h"
#include "core/output_files.h"
#include "load/document.h"
#include "load/page_drawing.h"
#include "model/page_builder.h"

namespace foli {

namespace ocr {
class OcrStage;
struct OcrPage;
struct PreparedPage;
}  // namespace ocr

enum class OutputFormat { Word, Excel, Ppt, Html, Image, Markdown, Rtf, Text, Json, SearchablePdf, Ofd };

// What a writer needs built for each page.
struct LayoutRequest {
    ModelRequest model;
    AnalysisOptions analysis;
    bool survey = true;  // the writer reads the layout: survey the document before the first page
    // The page's drawing as it is painted (glyphs, paths, clips, images),
    // for fixed-layout writers; annotations as model.annotations says.
    bool drawing = false;
    // Recognise text even without enable_ocr (the searchable PDF).
    bool recognise = false;
};

// The document-level side of the analysis: the style learned from a
// survey of sample pages and from every page analysed so far, and the page
// models the survey built, kept until their page is written so that no
// page is read twice.
struct DocumentAnalysis {
    DocumentStyle style;
    std::map<int, PageModel> surveyed;  // by 0-based page
};

// Builds the page models of up to a dozen pages spread over the selection
// (all of a short one) and learns the document's style from them and from
// its outline. A page that cannot be read is left out of the survey; it
// fails again, and is reported, when the writer reaches it.
DocumentAnalysis survey_document(const Document& document, const std::vector<int>& pages,
                                 const LayoutRequest& request, const DocumentInfo& info);

// One page as a writer sees it. The layout and the drawing are built on
// first use, so a writer that only renders never pays for text extraction,
// and only writers that request the drawing record it. With an OCR stage,
// the page model comes from it, recognised text included.
class PageSource {
public:
    PageSource(const Document& document, int index, const LayoutRequest& request,
               DocumentAnalysis* analysis = nullptr, ocr::OcrStage* ocr = nullptr);
    ~PageSource();

    int index() const { return page_.index(); }     // 0-based in the document
    int number() const { return page_.index() + 1; }  // 1-based, as printed
    const Page& page() const { return page_; }
    const Document& document() const { return document_; }

    const PageLayout& layout();
    // The words recognition added to this page (after merging them with
    // the page's own text), or null when no OCR ran on it.
    const ocr::OcrPage* recognised();

    const PageDrawing& drawing() {
        if (!request_.drawing) fail(FOLI_ERR_UNKNOWN, "the writer did not request the page drawing");
        if (!drawing_) drawing_.emplace(document_, page_, request_.model.annotations);
        return *drawing_;
    }

private:
    PageModel take_model();
    void prepare_recognition();

    const Document& document_;
    Page page_;
    const LayoutRequest& request_;
    DocumentAnalysis* analysis_;
    ocr::OcrStage* ocr_;
    std::unique_ptr<ocr::PreparedPage> prepared_;
    std::optional<PageLayout> layout_;
    std::optional<PageDrawing> drawing_;
};

struct WriterContext {
    const Options& options;
    OutputFiles& files;
    const DocumentInfo& info;
    const Document& document;
    const std::vector<int>& pages;  // selected 0-based pages, in output order
    // Progress reports and cancel polls for work the pipeline cannot see
    // (a long OCR run, say); never null in a conversion.
    const Progress* progress = nullptr;
};

class Writer {
public:
    virtual ~Writer() = default;
    virtual LayoutRequest layout_request() const { return {}; }
    virtual void begin() {}
    virtual void write_page(PageSource& page) = 0;
    virtual void finish() {}
};

// Throws INVALID_ARG for options the format cannot honour, and
// UNKNOWN_ERROR for a format this build cannot write.
std::unique_ptr<Writer> make_writer(OutputFormat format, WriterContext& context);

// One factory per format, each in its own source.
std::unique_ptr<Writer> make_text_writer(WriterContext& context);
std::unique_ptr<Writer> make_markdown_writer(WriterContext& context);
std::unique_ptr<Writer> make_html_writer(WriterContext& context);
std::unique_ptr<Writer> make_json_writer(WriterContext& context);
std::unique_ptr<Writer> make_image_writer(WriterContext& context);
std::unique_ptr<Writer> make_word_writer(WriterContext& context);
std::unique_ptr<Writer> make_rtf_writer(WriterContext& context);
std::unique_ptr<Writer> make_ofd_writer(WriterContext& context);
std::unique_ptr<Writer> make_searchable_pdf_writer(WriterContext& context);
std::unique_ptr<Writer> make_excel_writer(WriterContext& context);
std::unique_ptr<Writer> make_ppt_writer(WriterContext& context);

}  // namespace foli
