// The interface between the conversion pipeline and the per-format writers.
// The pipeline opens the document, picks the pages and drives the writer
// one page at a time; the writer reads the page's analysed layout (or
// renders it) and writes through OutputFiles.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "analysis/layout.h"
#include "core/options.h"
#include "core/output_files.h"
#include "load/document.h"
#include "model/page_builder.h"

namespace foli {

enum class OutputFormat { Word, Excel, Ppt, Html, Image, Markdown, Rtf, Text, Json, SearchablePdf, Ofd };

// What a writer needs built for each page.
struct LayoutRequest {
    ModelRequest model;
    AnalysisOptions analysis;
};

// One page as a writer sees it. The layout is built on first use, so a
// writer that only renders never pays for text extraction.
class PageSource {
public:
    PageSource(const Document& document, int index, const LayoutRequest& request, DocumentStyle* style = nullptr)
        : document_(document), page_(document, index), request_(request), style_(style) {}

    int index() const { return page_.index(); }     // 0-based in the document
    int number() const { return page_.index() + 1; }  // 1-based, as printed
    const Page& page() const { return page_; }
    const Document& document() const { return document_; }

    const PageLayout& layout() {
        if (!layout_)
            layout_ = analyze_page(build_page_model(document_, page_, request_.model), request_.analysis, style_);
        return *layout_;
    }

private:
    const Document& document_;
    Page page_;
    const LayoutRequest& request_;
    DocumentStyle* style_;
    std::optional<PageLayout> layout_;
};

struct WriterContext {
    const Options& options;
    OutputFiles& files;
    const DocumentInfo& info;
    const Document& document;
    const std::vector<int>& pages;  // selected 0-based pages, in output order
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

}  // namespace foli
