// Page images: one image file per selected page, also when a single page
// is selected, named by the page-file rule of OutputFiles:
//   <folder>/<stem>_<page><ext>
// where <ext> is the extension of the image type (.jpg .jpeg .jp2 .png
// .bmp .tiff .tga .gif .webp) and <page> the 1-based page number.
//
// Each page is rendered once at zoom image_scaling (1.0 = 72 dpi): in RGB
// for COLOR, straight in gray for GRAY and BINARY. BINARY then thresholds
// at the fixed mid-level 128: darker samples become black, the rest white.
// A fixed level treats every page alike; a per-page level (Otsu) would turn
// the palest tint of a page without any black into black. Black-and-white
// pages are stored at 1 bit per pixel in PNG, TIFF, BMP and GIF and as
// 8-bit black and white elsewhere. The encoders read the pixmap's rows
// directly and the pixmap is released before the next page is rendered.
// Annotations are drawn unless contain_annotation is off.
//
// The writer never needs the page model, so it never asks for the layout.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/errors.h"
#include "writers/image_encoders.h"
#include "writers/writer.h"

namespace foli {
namespace {

// Beyond this a single page would need gigabytes of memory to render.
constexpr int64_t kMaxPagePixels = int64_t{1} << 30;
constexpr unsigned char kBinaryThreshold = 128;

struct PixelSize {
    int64_t width;
    int64_t height;
};

// The pixmap size MuPDF will render, found with the same rounding it uses.
PixelSize rendered_size(const Rect& bounds, float zoom) {
    fz_rect page = fz_make_rect(bounds.x0, bounds.y0, bounds.x1, bounds.y1);
    fz_irect box = fz_round_rect(fz_transform_rect(page, fz_scale(zoom, zoom)));
    return {int64_t{box.x1} - box.x0, int64_t{box.y1} - box.y0};
}

void check_options(const Options& options) {
    image_extension(options.image_type);  // throws for an unknown type
    switch (options.image_color_mode) {
    case ImageColorMode::COLOR:
    case ImageColorMode::GRAY:
    case ImageColorMode::BINARY: break;
    default: fail(FOLI_ERR_INVALID_ARG, "unknown image colour mode");
    }
    float zoom = options.image_scaling;
    if (!std::isfinite(zoom) || zoom <= 0) fail(FOLI_ERR_INVALID_ARG, "the image scaling must be a positive number");
}

// Turns a gray pixmap into pure black and white.
void threshold_in_place(const PixmapHandle& pixmap) {
    fz_context* ctx = pixmap.context();
    int width = fz_pixmap_width(ctx, pixmap.get());
    int height = fz_pixmap_height(ctx, pixmap.get());
    ptrdiff_t stride = fz_pixmap_stride(ctx, pixmap.get());
    unsigned char* samples = fz_pixmap_samples(ctx, pixmap.get());
    for (int y = 0; y < height; ++y) {
        unsigned char* row = samples + y * stride;
        for (int x = 0; x < width; ++x) row[x] = row[x] < kBinaryThreshold ? 0 : 255;
    }
}

class ImageWriter : public Writer {
public:
    explicit ImageWriter(WriterContext& context)
        : context_(context),
          type_(context.options.image_type),
          mode_(context.options.image_color_mode),
          zoom_(context.options.image_scaling),
          extension_(image_extension(type_)) {}

    LayoutRequest layout_request() const override {
        LayoutRequest request;
        request.model.annotations = false;
        request.model.images = false;
        request.model.vectors = false;
        request.model.links = false;
        request.analysis.detect_tables = false;
        request.analysis.include_images = false;
        request.survey = false;
        return request;
    }

    void write_page(PageSource& source) override {
        const Page& page = source.page();
        check_size(rendered_size(page.bounds(), zoom_));
        PixmapHandle pixmap = page.render(zoom_, mode_ != ImageColorMode::COLOR, context_.options.contain_annotation);
        if (mode_ == ImageColorMode::BINARY) threshold_in_place(pixmap);
        OutputStream& out = context_.files.create(context_.files.page_path(source.number(), extension_));
        encode_image(type_, raster_of(pixmap), out);
        out.close();  // keeps one open file at a time however many pages there are
    }

private:
    void check_size(PixelSize size) const {
        if (size.width <= 0 || size.height <= 0) fail(FOLI_ERR_INVALID_ARG, "the scaled page has no pixels");
        if (size.width * size.height > kMaxPagePixels) fail(FOLI_ERR_INVALID_ARG, "the scaled page is too large");
        if (!image_size_fits(type_, static_cast<long>(size.width), static_cast<long>(size.height)))
            fail(FOLI_ERR_INVALID_ARG, "the scaled page is too large for the image format");
    }

    foli_raster raster_of(const PixmapHandle& pixmap) const {
        fz_context* ctx = pixmap.context();
        foli_raster raster{};
        raster.width = fz_pixmap_width(ctx, pixmap.get());
        raster.height = fz_pixmap_height(ctx, pixmap.get());
        raster.channels = fz_pixmap_components(ctx, pixmap.get());
        raster.stride = fz_pixmap_stride(ctx, pixmap.get());
        raster.samples = fz_pixmap_samples(ctx, pixmap.get());
        raster.bilevel = mode_ == ImageColorMode::BINARY;
        raster.dpi = 72.0f * zoom_;
        return raster;
    }

    WriterContext& context_;
    ImageType type_;
    ImageColorMode mode_;
    float zoom_;
    std::string_view extension_;
};

}  // namespace

std::unique_ptr<Writer> make_image_writer(WriterContext& context) {
    check_options(context.options);
    return std::make_unique<ImageWriter>(context);
}

}  // namespace foli
