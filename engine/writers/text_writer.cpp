// Plain text: UTF-8 in reading order, paragraphs separated by blank lines,
// pages by a form feed.
#include "core/errors.h"
#include "writers/writer.h"

namespace foli {
namespace {

class TextWriter : public Writer {
public:
    explicit TextWriter(WriterContext& context)
        : context_(context), out_(context.files.create(context.files.output_path())) {}

    LayoutRequest layout_request() const override {
        LayoutRequest request;
        request.model.images = false;
        request.model.links = false;
        request.model.annotations = context_.options.contain_annotation;
        request.model.vectors = context_.options.txt_table_format;
        request.analysis.detect_tables = context_.options.txt_table_format;
        request.analysis.include_images = false;
        return request;
    }

    void write_page(PageSource& page) override {
        if (pages_written_++ > 0) out_ << "\f";
        const PageLayout& layout = page.layout();
        bool first = true;
        for (const Block& block : layout.blocks) {
            if (block.kind == BlockKind::Image) continue;
            if (!first) out_ << "\n";
            first = false;
            out_ << paragraph_text(block.lines) << "\n";
        }
    }

private:
    WriterContext& context_;
    OutputStream& out_;
    int pages_written_ = 0;
};

}  // namespace

std::unique_ptr<Writer> make_text_writer(WriterContext& context) { return std::make_unique<TextWriter>(context); }

}  // namespace foli
