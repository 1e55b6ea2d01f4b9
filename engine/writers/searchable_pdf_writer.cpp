// The searchable PDF: the input document with an invisible text layer of
// the recognised words over the pages that were read. Nothing of the
// original is rewritten: the layer is added as new objects and the file is
// written as the original bytes followed by an incremental update (a
// document MuPDF had to repair is written whole instead). When no page
// gets any text, the output is a byte-for-byte copy of the input.
#include <cstdio>

#include "core/errors.h"
#include "core/log.h"
#include "load/mupdf_pdf_update.h"
#include "writers/text_layer.h"
#include "writers/writer.h"

namespace foli {
namespace {

constexpr const char* kFontName = "FoliOCR";

ocr::Affine to_affine(const fz_matrix& m) { return {m.a, m.b, m.c, m.d, m.e, m.f}; }

struct PageText {
    int index;
    ocr::OcrPage read;
};

using PdfObjectHandle = MuHandle<pdf_obj, pdf_drop_obj>;

class SearchablePdfWriter : public Writer {
public:
    explicit SearchablePdfWriter(WriterContext& context) : context_(context) {}

    LayoutRequest layout_request() const override {
        LayoutRequest request;
        request.recognise = true;
        request.survey = false;
        request.model.annotations = context_.options.contain_annotation;
        request.model.images = true;
        request.model.vectors = false;
        request.model.links = false;
        return request;
    }

    void write_page(PageSource& page) override {
        const ocr::OcrPage* read = page.recognised();
        if (read != nullptr && !read->empty()) pages_.push_back({page.index(), *read});
    }

    void finish() override {
        const std::string& output = context_.files.output_path();
        if (pages_.empty()) {
            log_info("no page needed a text layer; the output is a copy of the input");
            copy_input(output);
            return;
        }
        fz_context* ctx = context_.document.ctx();
        fz_document* doc = context_.document.get();
        LayerCharacters characters;
        std::vector<std::pair<std::string, std::string>> layers;  // font name, content
        for (const PageText& page : pages_) {
            char name[64];
            check(foli_pdf_free_font_name(ctx, doc, page.index, kFontName, name, sizeof name), "cannot read a page");
            fz_matrix page_to_user;
            check(foli_pdf_page_to_user(ctx, doc, page.index, &page_to_user), "cannot read a page");
            ocr::Affine frame_to_user = page.read.frame_to_page.then(to_affine(page_to_user));
            layers.emplace_back(name, text_layer_content(page.read, frame_to_user, name,
                                                         !context_.options.transparent_text, characters));
        }
        PdfObjectHandle font = add_font(ctx, doc, characters);
        for (size_t i = 0; i < pages_.size(); ++i)
            check(foli_pdf_add_page_layer(ctx, doc, pages_[i].index, layers[i].first.c_str(), font.get(),
                                          layers[i].second.data(), layers[i].second.size()),
                  "cannot add the text layer to a page");

        // MuPDF writes the file itself, by name: the stream only reserves
        // the temporary file that the commit renames into place.
        OutputStream& stream = context_.files.create(output);
        stream.close();
        bool incremental = foli_pdf_can_update_incrementally(ctx, doc);
        if (!incremental) log_info("the input was repaired on loading, so the searchable PDF is written whole");
        check(foli_pdf_save(ctx, doc, stream.temp_path().c_str(), incremental), "cannot write the searchable PDF");
    }

private:
    PdfObjectHandle add_font(fz_context* ctx, fz_document* doc, const LayerCharacters& characters) {
        std::vector<unsigned char> program = glyphless_font_program();
        std::string cmap = characters.to_unicode_cmap();
        foli_layer_font description{program.data(), program.size(), cmap.data(), cmap.size(),
                                    characters.count(), kLayerAdvance, kLayerAscent, kLayerDescent};
        pdf_obj* font = nullptr;
        check(foli_pdf_add_layer_font(ctx, doc, &description, &font), "cannot add the text layer's font");
        return PdfObjectHandle(ctx, font);
    }

    void copy_input(const std::string& output) {
        std::FILE* input = std::fopen(context_.info.source_path.c_str(), "rb");
        if (input == nullptr) fail(FOLI_ERR_FILE, "cannot read the input again");
        OutputStream& stream = context_.files.create(output);
        char chunk[1 << 16];
        size_t got = 0;
        bool failed = false;
        while ((got = std::fread(chunk, 1, sizeof chunk, input)) > 0) {
            try {
                stream.write(chunk, got);
            } catch (...) {
                failed = true;
                break;
            }
        }
        failed = failed || std::ferror(input);
        std::fclose(input);
        if (failed) fail(FOLI_ERR_IO, "cannot copy the input");
    }

    WriterContext& context_;
    std::vector<PageText> pages_;
};

}  // namespace

std::unique_ptr<Writer> make_searchable_pdf_writer(WriterContext& context) {
    return std::make_unique<SearchablePdfWriter>(context);
}

}  // namespace foli
