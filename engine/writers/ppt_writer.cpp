// PowerPoint (.pptx): one slide per page, in order, at the first page's
// size (a presentation has one slide size; a page of another size is
// fitted in and centred). With output_document_per_page each page becomes a
// presentation of its own at its own size, `<stem>_<page>.pptx`.
//
// A slide holds, from the back to the front: the page's remaining art
// (curves, shadings, diagonal lines; everything but text, images and the
// axis-aligned rules and boxes) rendered as one picture; the rules and
// filled rectangles as rectangles; the images as pictures, their embedded
// JPEG bytes kept; the tables as tables; every text block as one editable
// text box at its place, with its fonts, sizes, weights, colours and
// links, its lines kept apart by line breaks. A page of very many rules
// gets them rendered into the picture instead. With enable_ocr the picture
// is there only with contain_page_background_image.
//
// A heading the PDF's outline names for the page becomes the slide's
// title; the document's metadata becomes the presentation's properties.
#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include "core/log.h"
#include "writers/image_export.h"
#include "writers/ppt/ppt_package.h"
#include "writers/ppt/ppt_slide.h"
#include "writers/writer.h"

namespace foli {
namespace {

// 150 dpi, and at most this many pixels for a huge page.
constexpr float kArtZoom = 150.0f / 72.0f;
constexpr double kMaxArtPixels = 16.0 * 1024 * 1024;
// Beyond this many rules and boxes a page is a drawing: they go into the
// picture rather than into thousands of shapes.
constexpr size_t kMaxShapes = 2000;
// Images smaller than this (points) are specks.
constexpr float kMinImageSide = 1.0f;

bool all_white(const fz_pixmap* pixmap) {
    for (int y = 0; y < pixmap->h; ++y) {
        const unsigned char* row = pixmap->samples + static_cast<ptrdiff_t>(y) * pixmap->stride;
        for (int x = 0; x < pixmap->w * pixmap->n; ++x)
            if (row[x] != 0xFF) return false;
    }
    return true;
}

std::string folded(const std::string& text) {
    std::string out;
    bool space = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n') {
            space = !out.empty();
            continue;
        }
        if (space) out += ' ';
        space = false;
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

bool text_kind(BlockKind kind) { return kind != BlockKind::Table && kind != BlockKind::Image; }

class PptWriter : public Writer {
public:
    explicit PptWriter(WriterContext& context) : context_(context), options_(context.options) {
        properties_.title = context.info.title;
        properties_.author = context.info.author;
        properties_.subject = context.info.subject;
        properties_.keywords = context.info.keywords;
    }

    LayoutRequest layout_request() const override {
        LayoutRequest request;
        request.model.images = options_.contain_image;
        request.model.links = true;
        request.model.annotations = options_.contain_annotation;
        request.model.vectors = true;
        request.analysis.detect_tables = true;
        request.analysis.include_images = options_.contain_image;
        return request;
    }

    void write_page(PageSource& page) override {
        const PageLayout& layout = page.layout();
        const PageModel& model = layout.page;
        if (package_ == nullptr) {
            std::string path = per_page() ? context_.files.page_path(page.number(), ".pptx")
                                          : context_.files.output_path();
            package_ = std::make_unique<ppt::PptPackage>(context_.files, path, properties_, model.width, model.height);
        }
        ppt::SlideBuilder slide(*package_, placement(model));
        const Rect whole{0, 0, model.width, model.height};
        const bool shapes = model.vectors.size() <= kMaxShapes;
        if (!options_.enable_ocr || options_.contain_page_background_image) {
            std::string art = page_art(page, shapes);
            if (!art.empty()) slide.picture(art, "png", whole, "Page art");
        }
        if (shapes)
            for (const VectorItem& item : model.vectors)
                if (item.box.intersects(whole)) slide.vector_box(item);
        if (options_.contain_image) add_images(page, slide);
        const Block* title = title_block(page.index(), layout);
        for (const Block& block : layout.blocks) {
            if (block.kind == BlockKind::Table)
                slide.table(block.table);
            else if (text_kind(block.kind))
                slide.text_block(block, &block == title);
        }
        package_->add_slide(slide.shapes(), slide.relationships());
        if (per_page()) close();
    }

    void finish() override {
        if (!per_page() && package_ == nullptr)
            package_ = std::make_unique<ppt::PptPackage>(context_.files, context_.files.output_path(), properties_,
                                                         612, 792);
        if (package_ != nullptr) close();
    }

private:
    bool per_page() const { return options_.output_document_per_page; }

    void close() {
        package_->finish();
        package_.reset();
    }

    ppt::SlidePlacement placement(const PageModel& page) const {
        ppt::SlidePlacement place;
        if (!(page.width > 0) || !(page.height > 0)) return place;
        const float width = package_->slide_width(), height = package_->slide_height();
        place.scale = std::min(width / page.width, height / page.height);
        place.x = (width - page.width * place.scale) / 2;
        place.y = (height - page.height * place.scale) / 2;
        return place;
    }

    // The page's art as PNG, or "" when there is none to show.
    std::string page_art(PageSource& page, bool rules_as_shapes) const {
        fz_context* ctx = page.document().ctx();
        const Rect& bounds = page.page().bounds();
        double area = std::max(1.0, static_cast<double>(bounds.width()) * bounds.height());
        float zoom = static_cast<float>(std::min<double>(kArtZoom, std::sqrt(kMaxArtPixels / area)));
        fz_pixmap* pixmap = nullptr;
        foli_mu_status status =
            rules_as_shapes
                ? foli_mu_render_page_art(ctx, page.page().get(), zoom, options_.contain_annotation, &pixmap)
                : foli_mu_render_page_graphics(ctx, page.page().get(), zoom, 0, options_.contain_annotation, &pixmap);
        if (status != FOLI_MU_OK) {
            log_warning("page %d: its art cannot be rendered and is left out", page.number());
            return {};
        }
        PixmapHandle owner(ctx, pixmap);
        if (pixmap == nullptr || all_white(pixmap)) return {};
        return ImageExporter::encode_pixmap_png(pixmap, 72.0f * zoom);
    }

    void add_images(PageSource& page, ppt::SlideBuilder& slide) const {
        fz_context* ctx = page.document().ctx();
        const PageModel& model = page.layout().page;
        for (const ImageItem& image : model.images) {
            Rect box = image.box.intersected({0, 0, model.width, model.height});
            if (box.width() < kMinImageSide || box.height() < kMinImageSide || image.image.get() == nullptr) continue;
            ImageExporter::Encoded encoded = ImageExporter::encode(ctx, image.image.get());
            if (encoded.data.empty()) {
                log_warning("page %d: an image cannot be decoded and is left out", page.number());
                continue;
            }
            slide.picture(encoded.data, encoded.extension, image.box, "Picture");
        }
    }

    // The text block the outline names as the page's title: a heading (or
    // else any text block) whose text is the title of an outline entry
    // pointing at the page.
    const Block* title_block(int page_index, const PageLayout& layout) const {
        std::vector<std::string> titles;
        for (const OutlineEntry& entry : context_.info.outline)
            if (entry.page == page_index) titles.push_back(folded(entry.title));
        if (titles.empty()) return nullptr;
        const Block* found = nullptr;
        for (const Block& block : layout.blocks) {
            if (!text_kind(block.kind) || !in_flow(block)) continue;
            std::string text = folded(ppt::block_slide_text(block));
            if (std::find(titles.begin(), titles.end(), text) == titles.end()) continue;
            if (block.kind == BlockKind::Heading) return &block;
            if (found == nullptr) found = &block;
        }
        return found;
    }

    WriterContext& context_;
    const Options& options_;
    office::DocumentProperties properties_;
    std::unique_ptr<ppt::PptPackage> package_;
};

}  // namespace

std::unique_ptr<Writer> make_ppt_writer(WriterContext& context) { return std::make_unique<PptWriter>(context); }

}  // namespace foli
