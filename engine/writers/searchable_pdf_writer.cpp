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
        for (const PageText& page : pages_) characters.add(page.read);
        LayerFonts fonts;
        fonts.visible = !context_.options.transparent_text;
        std::vector<PdfObjectHandle> font_objects = add_fonts(ctx, doc, characters, fonts);
        std::vector<pdf_obj*> font_list;
        for (const PdfObjectHandle& font : font_objects) font_list.push_back(font.get());

        for (const PageText& page : pages_) {
            char prefix[64];
            check(foli_pdf_free_font_name(ctx, doc, page.index, kFontName, prefix, sizeof prefix), "cannot read a page");
            fonts.prefix = prefix;
            fz_matrix page_to_user;
            check(foli_pdf_page_to_user(ctx, doc, page.index, &page_to_user), "cannot read a page");
            ocr::Affine frame_to_user = page.read.frame_to_page.then(to_affine(page_to_user));
            std::string content = text_layer_content(page.read, frame_to_user, characters, fonts);
            std::vector<std::string> names;
            std::vector<const char*> name_list;
            for (size_t i = 0; i < font_list.size(); ++i) names.push_back(layer_font_name(fonts, static_cast<int>(i)));
            for (const std::string& name : names) name_list.push_back(name.c_str());
            check(foli_pdf_add_page_layer(ctx, doc, page.index, name_list.data(), font_list.data(),
                                          static_cast<int>(font_list.size()), content.data(), content.size()),
                  "cannot add the text layer to a page");
        }

        // MuPDF writes the file itself, by name: the stream only reserves
        // the temporary file that the commit renames into place.
        OutputStream& stream = context_.files.create(output);
        stream.close();
        bool incremental = foli_pdf_can_update_incrementally(ctx, doc);
        if (!incremental) log_info("the input was repaired on loading, so the searchable PDF is written whole");
        check(foli_pdf_save(ctx, doc, stream.temp_path().c_str(), incremental), "cannot write the searchable PDF");
    }

private:
    // The glyph-less font for an invisible layer; the characters' outline
    // fonts for a layer that is shown (their advances go into `fonts`).
    std::vector<PdfObjectHandle> add_fonts(fz_context* ctx, fz_document* doc, const LayerCharacters& characters,
                                           LayerFonts& fonts) {
        std::vector<PdfObjectHandle> handles;
        if (fonts.visible) {
            std::vector<int> unicodes(characters.characters().begin(), characters.characters().end());
            int count = static_cast<int>(unicodes.size());
            std::vector<pdf_obj*> made(static_cast<size_t>((count + kOutlineFontSize - 1) / kOutlineFontSize), nullptr);
            fonts.advances.assign(unicodes.size(), 0);
            check(foli_pdf_add_outline_fonts(ctx, doc, unicodes.data(), count, made.data(), fonts.advances.data()),
                  "cannot add the text layer's fonts");
            for (pdf_obj* font : made) handles.emplace_back(ctx, font);
            return handles;
        }
        std::vector<unsigned char> program = glyphless_font_program();
        std::string cmap = characters.to_unicode_cmap();
        foli_layer_font description{program.data(), program.size(), cmap.data(), cmap.size(),
                                    characters.count(), kLayerAdvance, kLayerAscent, kLayerDescent};
        pdf_obj* font = nullptr;
        check(foli_pdf_add_layer_font(ctx, doc, &description, &font), "cannot add the text layer's font");
        handles.emplace_back(ctx, font);
        return handles;
    }

    void copy_input(const std::string& output) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> input(std::fopen(context_.info.source_path.c_str(), "rb"),
                                                               std::fclose);
        if (!input) fail(FOLI_ERR_FILE, "cannot read the input again");
        OutputStream& stream = context_.files.create(output);
        char chunk[1 << 16];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, input.get())) > 0) stream.write(chunk, got);
        if (std::ferror(input.get())) fail(FOLI_ERR_IO, "cannot copy the input");
    }

    WriterContext& context_;
    std::vector<PageText> pages_;
};

}  // namespace

std::unique_ptr<Writer> make_searchable_pdf_writer(WriterContext& context) {
    return std::make_unique<SearchablePdfWriter>(context);
}

}  // namespace foli
