// The OFD writer: one package for the whole selection, or one per page.
#include "writers/ofd/ofd_document.h"

namespace foli {
namespace {

class OfdWriter final : public Writer {
public:
    explicit OfdWriter(WriterContext& context) : context_(context) {}

    LayoutRequest layout_request() const override {
        LayoutRequest request;
        request.drawing = true;
        request.survey = false;  // the layout is never read
        request.model.annotations = context_.options.contain_annotation;
        return request;
    }

    void begin() override {
        if (!per_page())
            document_ = std::make_unique<ofd::OfdDocument>(context_, context_.files.output_path(), context_.pages, true);
    }

    void write_page(PageSource& page) override {
        if (!per_page()) {
            document_->add_page(page);
            return;
        }
        ofd::OfdDocument single(context_, context_.files.page_path(page.number(), ".ofd"), {page.index()}, false);
        single.add_page(page);
        single.finish();
    }

    void finish() override {
        if (document_) document_->finish();
    }

private:
    bool per_page() const { return context_.options.output_document_per_page; }

    WriterContext& context_;
    std::unique_ptr<ofd::OfdDocument> document_;
};

}  // namespace

std::unique_ptr<Writer> make_ofd_writer(WriterContext& context) { return std::make_unique<OfdWriter>(context); }

}  // namespace foli
