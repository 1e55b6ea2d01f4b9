// One page's drawing as the recording device saw it (load/mupdf_drawing.h),
// owned: the records and the fonts, images and pixmaps they hold are
// released with it.
#pragma once

#include "load/document.h"
#include "load/mupdf_drawing.h"

namespace foli {

class PageDrawing {
public:
    // Runs the page once; throws ConversionError (PDF_PAGE_ERROR,
    // OUT_OF_MEMORY) when it cannot.
    PageDrawing(const Document& document, const Page& page, bool with_annotations);
    ~PageDrawing();
    PageDrawing(const PageDrawing&) = delete;
    PageDrawing& operator=(const PageDrawing&) = delete;

    fz_context* ctx() const { return ctx_; }
    const foli_drawing& get() const { return drawing_; }

    const foli_draw_item* begin() const { return drawing_.items; }
    const foli_draw_item* end() const { return drawing_.items + drawing_.item_count; }
    fz_font* font(int index) const { return drawing_.fonts[index]; }
    const foli_draw_glyph* glyphs(const foli_draw_item& text) const { return drawing_.glyphs + text.glyph_start; }
    const unsigned char* path_ops(const foli_draw_item& path) const { return drawing_.ops + path.path_start; }
    const float* path_coords(const foli_draw_item& path) const { return drawing_.coords + path.coord_start; }
    const float* dashes(const foli_draw_item& path) const { return drawing_.dashes + path.dash_start; }

private:
    fz_context* ctx_;
    foli_drawing drawing_{};
};

}  // namespace foli
